#include "archive/decoders.h"

namespace archive {

void Unshrink(TDecoderIO& io) { io.FlushOutput(); }

}  // namespace archive
