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

// Every byte depends on the keys left by the one before, so the loop is one
// long chain of dependent steps. The keys are kept in locals: written through
// the byte pointer, members would have to be stored and reloaded on every
// byte, since a byte store may alias them.
void ZipCrypto::DecryptBuffer(uint8_t* data, size_t length) {
  uint32_t k0 = key0_, k1 = key1_, k2 = key2_;
  for (uint8_t* end = data + length; data != end; ++data) {
    uint8_t plain = uint8_t(*data ^ KeyStreamByte(k2));
    *data = plain;
    k0 = Crc32Byte(k0, plain);
    k1 = (k1 + (k0 & 0xFF)) * kKey1Multiplier + 1;
    k2 = Crc32Byte(k2, uint8_t(k1 >> 24));
  }
  key0_ = k0;
  key1_ = k1;
  key2_ = k2;
}

void ZipCrypto::DecryptTwo(ZipCrypto& a, uint8_t* dataA, size_t lengthA, ZipCrypto& b,
                           uint8_t* dataB, size_t lengthB) {
  const size_t both = lengthA < lengthB ? lengthA : lengthB;
  uint32_t a0 = a.key0_, a1 = a.key1_, a2 = a.key2_;
  uint32_t b0 = b.key0_, b1 = b.key1_, b2 = b.key2_;
  for (size_t i = 0; i < both; ++i) {
    const uint8_t p = uint8_t(dataA[i] ^ KeyStreamByte(a2));
    const uint8_t q = uint8_t(dataB[i] ^ KeyStreamByte(b2));
    dataA[i] = p;
    dataB[i] = q;
    a0 = Crc32Byte(a0, p);
    b0 = Crc32Byte(b0, q);
    a1 = (a1 + (a0 & 0xFF)) * kKey1Multiplier + 1;
    b1 = (b1 + (b0 & 0xFF)) * kKey1Multiplier + 1;
    a2 = Crc32Byte(a2, uint8_t(a1 >> 24));
    b2 = Crc32Byte(b2, uint8_t(b1 >> 24));
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
