#include "archive/zip_crypto.h"

#include "archive/crc32.h"
#include "archive/zip_constants.h"

namespace archive {

namespace {

constexpr uint32_t kKey1Multiplier = 134775813u;

}  // namespace

void ZipCrypto::InitKeys(const std::string& password) {
  key0_ = 0x12345678;
  key1_ = 0x23456789;
  key2_ = 0x34567890;
  for (char c : password) UpdateKeys(uint8_t(c));
}

void ZipCrypto::UpdateKeys(uint8_t plain) {
  key0_ = Crc32Byte(key0_, plain);
  key1_ = (key1_ + (key0_ & 0xFF)) * kKey1Multiplier + 1;
  key2_ = Crc32Byte(key2_, uint8_t(key1_ >> 24));
}

namespace {

// Decrypts one byte and advances the keys. Every byte depends on the keys
// left by the one before, so a buffer is one long chain of dependent steps,
// and the step is written to keep that chain short. A table step is linear
// (T[a ^ b] = T[a] ^ T[b]), so Crc32Byte(k, p) = ((k >> 8) ^ T[k & FF]) ^
// T[p]: the part in brackets, and k1 * multiplier + 1 of the key1 step, are
// worked out from the keys before while the key-stream byte is still being
// made, which leaves one table load each for key0 and key2 and one multiply
// for key1 on the chain. The empty asm keeps the compiler from folding those
// parts back into the chain.
inline void DecryptStep(uint32_t& k0, uint32_t& k1, uint32_t& k2, uint8_t& byte) {
  const uint32_t t = k2 | 2;
  const uint8_t plain = uint8_t(byte ^ uint8_t((t * (t ^ 1)) >> 8));
  byte = plain;
  uint32_t s0 = (k0 >> 8) ^ kCrcTable[k0 & 0xFF];
  uint32_t s2 = (k2 >> 8) ^ kCrcTable[k2 & 0xFF];
  uint32_t r1 = k1 * kKey1Multiplier + 1;
#if defined(__GNUC__)
  asm("" : "+r"(s0), "+r"(s2), "+r"(r1));
#endif
  k0 = s0 ^ kCrcTable[plain];
  k1 = r1 + (k0 & 0xFF) * kKey1Multiplier;
  k2 = s2 ^ kCrcTable[k1 >> 24];
}

}  // namespace

// The keys are kept in locals: written through the byte pointer, members
// would have to be stored and reloaded on every byte, since a byte store may
// alias them.
void ZipCrypto::DecryptBuffer(uint8_t* data, size_t length) {
  uint32_t k0 = key0_, k1 = key1_, k2 = key2_;
  for (uint8_t* end = data + length; data != end; ++data) DecryptStep(k0, k1, k2, *data);
  key0_ = k0;
  key1_ = k1;
  key2_ = k2;
}

// The two chains are independent; the processor runs the steps of one beside
// those of the other.
void ZipCrypto::DecryptTwo(ZipCrypto& a, uint8_t* dataA, size_t lengthA, ZipCrypto& b,
                           uint8_t* dataB, size_t lengthB) {
  const size_t both = lengthA < lengthB ? lengthA : lengthB;
  uint32_t a0 = a.key0_, a1 = a.key1_, a2 = a.key2_;
  uint32_t b0 = b.key0_, b1 = b.key1_, b2 = b.key2_;
  for (size_t i = 0; i < both; ++i) {
    DecryptStep(a0, a1, a2, dataA[i]);
    DecryptStep(b0, b1, b2, dataB[i]);
  }
  a.key0_ = a0, a.key1_ = a1, a.key2_ = a2;
  b.key0_ = b0, b.key1_ = b1, b.key2_ = b2;
  a.DecryptBuffer(dataA + both, lengthA - both);
  b.DecryptBuffer(dataB + both, lengthB - both);
}

uint8_t ZipCrypto::ReadHeader(const std::string& password, ZipStream& stream) {
  uint8_t header[zip::kEncryptionHeaderSize] = {};
  stream.Read(header, zip::kEncryptionHeaderSize);
  InitKeys(password);
  DecryptBuffer(header, zip::kEncryptionHeaderSize);
  return header[zip::kEncryptionHeaderSize - 1];
}

}  // namespace archive
