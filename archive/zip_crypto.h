// Traditional PKWARE encryption (APPNOTE "Traditional PKWARE Decryption"):
// three 32-bit keys initialised from the password, updated with every
// decrypted byte. The key update's CRC step uses the CRC-32 table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/zip_stream.h"

namespace archive {

class ZipCrypto {
 public:
  // Keys from the password bytes as they are (no code-page conversion); an
  // empty password leaves the initial keys.
  void InitKeys(const std::string& password);
  void UpdateKeys(uint8_t plain);
  // The next key-stream byte (does not advance the keys).
  uint8_t DecryptByte() const { return KeyStreamByte(key2_); }
  uint8_t Decrypt(uint8_t cipher) {
    uint8_t plain = uint8_t(cipher ^ DecryptByte());
    UpdateKeys(plain);
    return plain;
  }
  // Decrypts in place; the same result as Decrypt on each byte in turn, so a
  // stream may be decrypted in pieces of any size.
  void DecryptBuffer(uint8_t* data, size_t length);
  // Decrypts two independent buffers, each with its own keys, with the same
  // result as DecryptBuffer on each. The two chains of dependent steps are
  // interleaved, so that a processor runs them side by side: about twice
  // the bytes per second of one chain.
  static void DecryptTwo(ZipCrypto& a, uint8_t* dataA, size_t lengthA, ZipCrypto& b, uint8_t* dataB,
                         size_t lengthB);
  // Reads the 12-byte encryption header from the stream, initialises the keys
  // with the password, decrypts the header and returns its 12th byte (the
  // check byte). Bytes missing at the end of the stream count as 0.
  uint8_t ReadHeader(const std::string& password, ZipStream& stream);

  uint32_t key0_ = 0, key1_ = 0, key2_ = 0;

 private:
  static uint8_t KeyStreamByte(uint32_t key2) {
    uint32_t t = (key2 & 0xFFFF) | 2;
    return uint8_t((t * (t ^ 1)) >> 8);
  }
};

}  // namespace archive
