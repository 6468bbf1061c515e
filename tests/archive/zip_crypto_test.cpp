// Traditional PKWARE decryption: a member encrypted by Info-ZIP zip decrypts
// to its text, and a buffer decrypts to the same bytes and keys whether it is
// taken in one call, byte by byte or in pieces of any size.
#include "archive/zip_crypto.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/archive/zip_test_util.h"

namespace {

using archive::ZipCrypto;

const std::string kFox = "The quick brown fox jumps over the lazy dog";

// The data of fox.txt (kFox) stored by Info-ZIP zip 3.0 with the password
// "secret": the 12-byte encryption header, then the encrypted text. The member
// has a data descriptor, so the header's check byte is the high byte of its
// MS-DOS time (0x528F).
const std::vector<uint8_t> kFoxEncrypted = {
    0x78, 0x2B, 0xB0, 0xB2, 0xB4, 0xCE, 0xF3, 0x18, 0x3B, 0xAE, 0x78, 0xF1, 0x27, 0xA8,
    0xCF, 0x74, 0xBE, 0x46, 0xCE, 0xDE, 0x89, 0x95, 0x00, 0xBA, 0x08, 0xF8, 0x14, 0xCC,
    0xD5, 0x2B, 0xA6, 0xAD, 0xA5, 0x42, 0xFF, 0xEF, 0x8B, 0x3E, 0x19, 0xAA, 0xF5, 0xD2,
    0x5D, 0x14, 0xB1, 0xDB, 0xDF, 0xE3, 0xEB, 0x00, 0x9C, 0x11, 0x8D, 0x31, 0x57};
constexpr uint8_t kFoxCheckByte = 0x52;

std::string AsString(const std::vector<uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

void ExpectSameKeys(const ZipCrypto& a, const ZipCrypto& b) {
  EXPECT_EQ(a.key0_, b.key0_);
  EXPECT_EQ(a.key1_, b.key1_);
  EXPECT_EQ(a.key2_, b.key2_);
}

TEST(ZipCrypto, DecryptsAMemberEncryptedByInfoZip) {
  archive_test::MemoryStream stream(AsString(kFoxEncrypted));
  ZipCrypto crypto;
  EXPECT_EQ(crypto.ReadHeader("secret", stream), kFoxCheckByte);
  EXPECT_EQ(stream.Position(), 12);

  std::vector<uint8_t> text(kFoxEncrypted.begin() + 12, kFoxEncrypted.end());
  crypto.DecryptBuffer(text.data(), text.size());
  EXPECT_EQ(AsString(text), kFox);

  // Passwords are taken byte for byte: a change of case fails the check.
  archive_test::MemoryStream again(AsString(kFoxEncrypted));
  EXPECT_NE(crypto.ReadHeader("Secret", again), kFoxCheckByte);
}

TEST(ZipCrypto, ShortHeaderCountsMissingBytesAsZero) {
  std::vector<uint8_t> padded(kFoxEncrypted.begin(), kFoxEncrypted.begin() + 5);
  archive_test::MemoryStream stream(AsString(padded));
  padded.resize(12, 0);
  ZipCrypto fromStream, reference;
  uint8_t check = fromStream.ReadHeader("secret", stream);
  reference.InitKeys("secret");
  for (uint8_t& b : padded) b = reference.Decrypt(b);
  EXPECT_EQ(check, padded[11]);
  ExpectSameKeys(fromStream, reference);
}

TEST(ZipCrypto, BufferDecryptsAlikeInOneCallByteByByteAndInAnyPieces) {
  std::mt19937 rng(20261208);
  std::vector<uint8_t> plain(50000);
  for (uint8_t& b : plain) b = uint8_t(rng());

  // Encrypt after a header, the way a member is written.
  ZipCrypto start;
  std::vector<uint8_t> header(kFoxEncrypted.begin(), kFoxEncrypted.begin() + 12);
  start.InitKeys("secret");
  start.DecryptBuffer(header.data(), header.size());
  ZipCrypto writer = start;
  std::vector<uint8_t> cipher(plain.size());
  for (size_t i = 0; i < plain.size(); ++i) {
    cipher[i] = uint8_t(plain[i] ^ writer.DecryptByte());
    writer.UpdateKeys(plain[i]);
  }

  ZipCrypto byByte = start;
  std::vector<uint8_t> out = cipher;
  for (uint8_t& b : out) b = byByte.Decrypt(b);
  ASSERT_EQ(out, plain);
  ExpectSameKeys(byByte, writer);

  ZipCrypto whole = start;
  out = cipher;
  whole.DecryptBuffer(out.data(), out.size());
  EXPECT_EQ(out, plain);
  ExpectSameKeys(whole, writer);

  // Input chunks of the extraction, and random pieces including empty ones.
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE(round);
    ZipCrypto pieces = start;
    out = cipher;
    for (size_t at = 0; at < out.size();) {
      size_t n = round == 0 ? 16000 : std::uniform_int_distribution<size_t>(0, 5000)(rng);
      n = std::min(n, out.size() - at);
      pieces.DecryptBuffer(out.data() + at, n);
      at += n;
    }
    EXPECT_EQ(out, plain);
    ExpectSameKeys(pieces, writer);
  }

  // Two streams side by side: the second one of another length (shorter,
  // empty, longer) and with other keys, each as if decrypted alone.
  ZipCrypto other;
  other.InitKeys("other");
  for (size_t second : {size_t(0), size_t(1), size_t(17), plain.size() - 1, plain.size() + 999}) {
    SCOPED_TRACE(second);
    std::vector<uint8_t> otherPlain(second);
    for (uint8_t& b : otherPlain) b = uint8_t(rng());
    ZipCrypto otherWriter = other;
    std::vector<uint8_t> otherOut(second);
    for (size_t i = 0; i < second; ++i) {
      otherOut[i] = uint8_t(otherPlain[i] ^ otherWriter.DecryptByte());
      otherWriter.UpdateKeys(otherPlain[i]);
    }
    ZipCrypto a = start, b = other;
    out = cipher;
    ZipCrypto::DecryptTwo(a, out.data(), out.size(), b, otherOut.data(), otherOut.size());
    EXPECT_EQ(out, plain);
    EXPECT_EQ(otherOut, otherPlain);
    ExpectSameKeys(a, writer);
    ExpectSameKeys(b, otherWriter);
  }
}

}  // namespace
