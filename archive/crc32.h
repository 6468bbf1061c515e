// CRC-32 of the ZIP format: reflected polynomial EDB88320, used for member
// data and, one byte at a time, for the traditional decryption keys.
#pragma once

#include <cstddef>
#include <cstdint>

namespace archive {

// The byte-at-a-time table; entry n is the CRC of the single byte n.
extern const uint32_t kCrcTable[256];

// One table step: the running (not complemented) CRC advanced by one byte.
inline uint32_t Crc32Byte(uint32_t crc, uint8_t b) {
  return kCrcTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
}

// Advances a running CRC (start FFFFFFFF, complement at the end) over a buffer,
// by carry-less multiplication where the processor has it, else by tables.
uint32_t Crc32Update(uint32_t crc, const uint8_t* data, size_t length);

// The two ways, each on its own: slicing-by-16 runs everywhere; the folding
// one needs Crc32HasFolding() (PCLMULQDQ and SSE2, asked of the processor).
uint32_t Crc32UpdatePortable(uint32_t crc, const uint8_t* data, size_t length);
uint32_t Crc32UpdateFolded(uint32_t crc, const uint8_t* data, size_t length);
bool Crc32HasFolding();

}  // namespace archive
