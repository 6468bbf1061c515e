#include "archive/decoders.h"

namespace archive {

void Inflate(TDecoderIO& io) { io.FlushOutput(); }

}  // namespace archive
