#include "archive/crc32.h"

#include <array>

namespace archive {

namespace {

constexpr std::array<uint32_t, 256> MakeTable() {
  std::array<uint32_t, 256> t{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[n] = c;
  }
  return t;
}

constexpr auto kTable = MakeTable();
static_assert(kTable[1] == 0x77073096u && kTable[255] == 0x2D02EF8Du);

}  // namespace

const uint32_t kCrcTable[256] = {
#define ROW(i) kTable[i], kTable[i + 1], kTable[i + 2], kTable[i + 3]
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
  for (size_t i = 0; i < length; ++i) crc = Crc32Byte(crc, data[i]);
  return crc;
}

}  // namespace archive
