#include "archive/zip_crypto.h"

#include "archive/crc32.h"
#include "archive/zip_constants.h"

namespace archive {

void ZipCrypto::InitKeys(const std::string& password) {
  key0_ = 0x12345678;
  key1_ = 0x23456789;
  key2_ = 0x34567890;
  for (char c : password) UpdateKeys(uint8_t(c));
}

void ZipCrypto::UpdateKeys(uint8_t plain) {
  key0_ = Crc32Byte(key0_, plain);
  key1_ = (key1_ + (key0_ & 0xFF)) * 134775813u + 1;
  key2_ = Crc32Byte(key2_, uint8_t(key1_ >> 24));
}

uint8_t ZipCrypto::ReadHeader(const std::string& password, ZipStream& stream) {
  uint8_t header[zip::kEncryptionHeaderSize] = {};
  stream.Read(header, zip::kEncryptionHeaderSize);
  InitKeys(password);
  DecryptBuffer(header, zip::kEncryptionHeaderSize);
  return header[zip::kEncryptionHeaderSize - 1];
}

}  // namespace archive
