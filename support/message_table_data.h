// The bytes of the "S_Stream" message table, for builds whose executables
// carry no Windows resources (the posix platform serves them instead).
#pragma once

#include <cstdint>

extern const uint8_t kSStreamTable[];
extern const uint32_t kSStreamTableSize;
