// CRC-32 by carry-less multiplication (PCLMULQDQ), for processors that have
// it. The buffer is read as 128-bit blocks in message bit order: register bit
// j is the coefficient of x^(127-j). Four accumulators fold 64 bytes per
// round: an accumulator X = h*x^64 + l moved forward by D bits is congruent
// (mod the CRC polynomial) to h*(x^(D+64) mod P) + l*(x^D mod P), two
// products of at most 96 bits. The accumulators are then folded into one,
// which is itself a 16-byte message with the same CRC remainder; the table
// finishes it and the tail. The functions carry their own target attributes,
// so the rest of the program still runs on processors without SSE2.
#include "archive/crc32.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>

#include <cstring>

namespace archive {

namespace {

// x^n mod P, P = x^32 + 04C11DB7 (bit d is the coefficient of x^d).
constexpr uint32_t PowerModP(int n) {
  uint32_t r = 1;
  for (int i = 0; i < n; ++i) r = (r << 1) ^ ((r & 0x80000000u) ? 0x04C11DB7u : 0u);
  return r;
}

// A polynomial of degree below 32 as the multiplier of a reflected 64-bit
// lane: the coefficient of x^d at bit 63 - d.
constexpr uint64_t Reflected(uint32_t poly) {
  uint64_t r = 0;
  for (int d = 0; d < 32; ++d)
    if (poly & (1u << d)) r |= uint64_t{1} << (63 - d);
  return r;
}

// The product of two reflected lanes lands one bit lower than the message
// order needs (bit t holds x^(126-t)), so each constant carries one factor of
// x less: x^(D+63) for the high half and x^(D-1) for the low half.
struct TFold {
  uint64_t high, low;
};
constexpr TFold FoldBy(int bits) {
  return {Reflected(PowerModP(bits + 63)), Reflected(PowerModP(bits - 1))};
}
constexpr TFold kFold128 = FoldBy(128);
constexpr TFold kFold512 = FoldBy(512);

#if defined(__i386__)
// 32-bit Windows guarantees only 4-byte stack alignment on entry.
#define CRC_FOLD_TARGET __attribute__((target("pclmul,sse2"), force_align_arg_pointer))
#else
#define CRC_FOLD_TARGET __attribute__((target("pclmul,sse2")))
#endif

CRC_FOLD_TARGET inline __m128i Constants(const TFold& k) {
  return _mm_set_epi32(int(uint32_t(k.low >> 32)), int(uint32_t(k.low)),
                       int(uint32_t(k.high >> 32)), int(uint32_t(k.high)));
}

// x moved forward by the constants' distance, plus the next block.
CRC_FOLD_TARGET inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  return _mm_xor_si128(
      _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

CRC_FOLD_TARGET inline __m128i Load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

}  // namespace

bool Crc32HasFolding() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  return (c & bit_PCLMUL) != 0 && (d & bit_SSE2) != 0;
}

CRC_FOLD_TARGET uint32_t Crc32UpdateFolded(uint32_t crc, const uint8_t* data, size_t length) {
  if (length < 64) return Crc32UpdatePortable(crc, data, length);
  const __m128i k512 = Constants(kFold512);
  const __m128i k128 = Constants(kFold128);
  // The running CRC enters as the first 32 message bits.
  __m128i x0 = _mm_xor_si128(Load(data), _mm_cvtsi32_si128(int(crc)));
  __m128i x1 = Load(data + 16), x2 = Load(data + 32), x3 = Load(data + 48);
  data += 64;
  length -= 64;
  while (length >= 64) {
    x0 = Fold(x0, k512, Load(data));
    x1 = Fold(x1, k512, Load(data + 16));
    x2 = Fold(x2, k512, Load(data + 32));
    x3 = Fold(x3, k512, Load(data + 48));
    data += 64;
    length -= 64;
  }
  __m128i x = Fold(Fold(Fold(x0, k128, x1), k128, x2), k128, x3);
  while (length >= 16) {
    x = Fold(x, k128, Load(data));
    data += 16;
    length -= 16;
  }
  uint8_t rest[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(rest), x);
  return Crc32UpdatePortable(Crc32UpdatePortable(0, rest, 16), data, length);
}

}  // namespace archive

#else

namespace archive {

bool Crc32HasFolding() { return false; }

uint32_t Crc32UpdateFolded(uint32_t crc, const uint8_t* data, size_t length) {
  return Crc32UpdatePortable(crc, data, length);
}

}  // namespace archive

#endif
