// CRC-32 by slicing-by-16: table k holds the CRC of a byte followed by k zero
// bytes, so sixteen input bytes advance the CRC with sixteen independent
// lookups instead of a chain of sixteen dependent ones.
#include "archive/crc32.h"

#include <array>
#include <bit>
#include <cstring>

namespace archive {

namespace {

using TSliceTables = std::array<std::array<uint32_t, 256>, 16>;

constexpr TSliceTables MakeTables() {
  TSliceTables t{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][n] = c;
  }
  for (uint32_t n = 0; n < 256; ++n)
    for (int k = 1; k < 16; ++k) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
  return t;
}

static_assert(std::endian::native == std::endian::little, "words are loaded little-endian");

constexpr TSliceTables kSlices = MakeTables();
static_assert(kSlices[0][1] == 0x77073096u && kSlices[0][255] == 0x2D02EF8Du);

}  // namespace

const uint32_t kCrcTable[256] = {
#define ROW(i) kSlices[0][i], kSlices[0][i + 1], kSlices[0][i + 2], kSlices[0][i + 3]
    ROW(0),   ROW(4),   ROW(8),   ROW(12),  ROW(16),  ROW(20),  ROW(24),  ROW(28),
    ROW(32),  ROW(36),  ROW(40),  ROW(44),  ROW(48),  ROW(52),  ROW(56),  ROW(60),
    ROW(64),  ROW(68),  ROW(72),  ROW(76),  ROW(80),  ROW(84),  ROW(88),  ROW(92),
    ROW(96),  ROW(100), ROW(104), ROW(108), ROW(112), ROW(116), ROW(120), ROW(124),
    ROW(128), ROW(132), ROW(136), ROW(140), ROW(144), ROW(148), ROW(152), ROW(156),
    ROW(160), ROW(164), ROW(168), ROW(172), ROW(176), ROW(180), ROW(184), ROW(188),
    ROW(192), ROW(196), ROW(200), ROW(204), ROW(208), ROW(212), ROW(216), ROW(220),
    ROW(224), ROW(228), ROW(232), ROW(236), ROW(240), ROW(244), ROW(248), ROW(252),
#undef ROW
};

uint32_t Crc32Update(uint32_t crc, const uint8_t* data, size_t length) {
  // Short buffers are not worth the set-up of the folding loop.
  static const bool folding = Crc32HasFolding();
  if (folding && length >= 256) return Crc32UpdateFolded(crc, data, length);
  return Crc32UpdatePortable(crc, data, length);
}

uint32_t Crc32UpdatePortable(uint32_t crc, const uint8_t* data, size_t length) {
  // Bytes up to an 8-byte boundary one at a time, then sixteen at a time.
  while (length > 0 && (reinterpret_cast<uintptr_t>(data) & 7) != 0) {
    crc = Crc32Byte(crc, *data++);
    --length;
  }
  const auto& t = kSlices;
  while (length >= 16) {
    uint32_t w[4];
    std::memcpy(w, data, 16);
    w[0] ^= crc;
    crc = t[15][w[0] & 0xFF] ^ t[14][(w[0] >> 8) & 0xFF] ^ t[13][(w[0] >> 16) & 0xFF] ^
          t[12][w[0] >> 24] ^ t[11][w[1] & 0xFF] ^ t[10][(w[1] >> 8) & 0xFF] ^
          t[9][(w[1] >> 16) & 0xFF] ^ t[8][w[1] >> 24] ^ t[7][w[2] & 0xFF] ^
          t[6][(w[2] >> 8) & 0xFF] ^ t[5][(w[2] >> 16) & 0xFF] ^ t[4][w[2] >> 24] ^
          t[3][w[3] & 0xFF] ^ t[2][(w[3] >> 8) & 0xFF] ^ t[1][(w[3] >> 16) & 0xFF] ^
          t[0][w[3] >> 24];
    data += 16;
    length -= 16;
  }
  while (length-- > 0) crc = Crc32Byte(crc, *data++);
  return crc;
}

}  // namespace archive
