#include "tests/archive/hostile_zip.h"

#include "archive/zip_constants.h"

namespace archive_test {

void Patch16(std::string& bytes, size_t at, uint16_t value) {
  bytes[at] = char(value & 0xFF);
  bytes[at + 1] = char(value >> 8);
}

void Patch32(std::string& bytes, size_t at, uint32_t value) {
  Patch16(bytes, at, uint16_t(value));
  Patch16(bytes, at + 2, uint16_t(value >> 16));
}

ZipLayout Layout(const std::string& bytes) {
  ZipLayout layout;
  layout.endRecord = bytes.rfind(std::string("PK\x05\x06", 4));
  auto p = reinterpret_cast<const uint8_t*>(bytes.data()) + layout.endRecord;
  layout.centralOffset = archive::zip::Get32(p + archive::zip::kEndCentralOffset);
  return layout;
}

size_t ZipLayout::centralHeader(const std::string& bytes, int index) const {
  size_t at = centralOffset;
  for (int i = 0; i < index; ++i) {
    auto p = reinterpret_cast<const uint8_t*>(bytes.data()) + at;
    at += archive::zip::kCentralHeaderSize + archive::zip::Get16(p + archive::zip::kCenNameLength) +
          archive::zip::Get16(p + archive::zip::kCenExtraLength) +
          archive::zip::Get16(p + archive::zip::kCenCommentLength);
  }
  return at;
}

namespace {

// Bits go out least significant first; Huffman codes most significant first.
class BitWriter {
 public:
  void Bits(uint32_t value, int count) {
    for (int i = 0; i < count; ++i) Bit((value >> i) & 1);
  }
  void Code(uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) Bit((code >> i) & 1);
  }
  std::string Done() {
    if (used_) out_ += char(current_);
    return out_;
  }

 private:
  void Bit(uint32_t b) {
    current_ |= uint8_t(b << used_);
    if (++used_ == 8) {
      out_ += char(current_);
      current_ = 0;
      used_ = 0;
    }
  }
  std::string out_;
  uint8_t current_ = 0;
  int used_ = 0;
};

}  // namespace

std::string DeflateRunOfA(int matches) {
  BitWriter w;
  w.Bits(1, 1);           // last block
  w.Bits(1, 2);           // fixed Huffman codes
  w.Code(0x30 + 'A', 8);  // literals 0-143: 8-bit codes from 00110000
  for (int i = 0; i < matches; ++i) {
    w.Code(0xC0 + (285 - 280), 8);  // length 258: codes 280-287 from 11000000
    w.Code(0, 5);                   // distance 1
  }
  w.Code(0, 7);  // end of block (256)
  return w.Done();
}

}  // namespace archive_test
