#include "archive/decoders.h"

namespace archive {

void Explode(TDecoderIO& io) { io.FlushOutput(); }

}  // namespace archive
