// Shrink decoder (compression method 1): LZW with codes of 9 to 13 bits and a
// partial clear.
//
// Tables live in the window: `prefix` (8193 signed 16-bit entries at offset
// 0; -1 marks a free code), `suffix` (8193 bytes at offset 16390) and the
// decode stack (8192 bytes at offset 24585, filled from the top down). Code
// 256 is a control code: 256 1 widens the codes by one bit, 256 2 frees every
// code that is not the prefix of another (partial clear), anything else is
// ignored. A code that is not defined yet stands for the previous string plus
// that string's first character.
//
// Decoding ends when the input does, not at the declared size. Invalid data
// is bounded: a code size beyond 13 bits or a string longer than the decode
// stack (a cycle through undefined codes) ends decoding, so no table is
// indexed out of range.
#include <bitset>
#include <cstring>

#include "archive/decoders.h"
#include "archive/inflate_bits.h"

namespace archive {

namespace {

constexpr unsigned kTableSize = 8193;
constexpr unsigned kSuffixOffset = 16390;
constexpr unsigned kStackOffset = 24585;
constexpr unsigned kStackSize = 8192;
constexpr unsigned kControlCode = 256;
constexpr unsigned kFirstFree = 257;
constexpr unsigned kCodeLimit = 8192;  // codes are below this
constexpr unsigned kMinCodeSize = 9;
constexpr unsigned kMaxCodeSize = 13;
constexpr int16_t kFree = -1;

static_assert(kStackOffset + kStackSize <= kWindowSize);
static_assert(kSuffixOffset + kTableSize <= kStackOffset);
static_assert(2 * kTableSize <= kSuffixOffset);

class TUnshrinker {
 public:
  explicit TUnshrinker(TDecoderIO& io)
      : io_(io), br_(io), suffix_(io.window + kSuffixOffset), stack_(io.window + kStackOffset) {}
  TDecodeStatus Run();

 private:
  int16_t Prefix(unsigned code) const {
    int16_t v;
    std::memcpy(&v, io_.window + 2 * code, sizeof v);
    return v;
  }
  void SetPrefix(unsigned code, int16_t v) { std::memcpy(io_.window + 2 * code, &v, sizeof v); }
  void PartialClear();
  bool NextCode(unsigned& code);
  bool Emit(unsigned code);
  unsigned NextFreeFrom(unsigned code) const {
    while (code < kCodeLimit && Prefix(code) != kFree) ++code;
    return code;
  }

  TDecoderIO& io_;
  TBitReaderB br_;
  uint8_t* suffix_;
  uint8_t* stack_;
  unsigned nextFree_ = kFirstFree;
  unsigned codeSize_ = kMinCodeSize;
  unsigned prev_ = 0;  // the code before
  uint8_t first_ = 0;  // first character of the string written last
  TDecodeStatus status_ = TDecodeStatus::Done;
};

void TUnshrinker::PartialClear() {
  std::bitset<kTableSize> marked;
  for (unsigned c = kFirstFree; c < nextFree_; ++c) marked.set(c);
  for (unsigned c = kFirstFree; c < nextFree_; ++c) {
    int16_t p = Prefix(c);
    if (p > static_cast<int16_t>(kControlCode)) marked.reset(static_cast<unsigned>(p));
  }
  for (unsigned c = kFirstFree; c < nextFree_; ++c)
    if (marked.test(c)) SetPrefix(c, kFree);
  nextFree_ = NextFreeFrom(kFirstFree);
}

TDecodeStatus TUnshrinker::Run() {
  for (unsigned c = 0; c < kTableSize; ++c) SetPrefix(c, c < 256 ? 0 : kFree);
  std::memset(suffix_, 0, kTableSize);
  for (unsigned c = 0; c < 256; ++c) suffix_[c] = static_cast<uint8_t>(c);

  unsigned code = br_.Read(codeSize_);
  if (!br_.ended) {
    prev_ = code;
    first_ = static_cast<uint8_t>(code);
    WindowFlush(io_, &first_, 1);
    while (NextCode(code) && Emit(code)) {
    }
  }
  io_.FlushOutput();
  return status_;
}

// Reads the next data code, acting on the control codes before it. False at
// the end of the input or when a control code is invalid.
bool TUnshrinker::NextCode(unsigned& code) {
  code = br_.Read(codeSize_);
  while (!br_.ended && code == kControlCode) {
    unsigned control = br_.Read(codeSize_);
    if (br_.ended) return false;
    if (control == 1) {
      if (codeSize_ == kMaxCodeSize) {
        status_ = TDecodeStatus::InvalidCode;  // wider codes would index past the tables
        return false;
      }
      ++codeSize_;
    } else if (control == 2) {
      PartialClear();
    }
    code = br_.Read(codeSize_);
  }
  return !br_.ended;
}

// Writes the string of a code and defines the next free code as the previous
// string plus this one's first character. False for a string longer than the
// stack.
bool TUnshrinker::Emit(unsigned code) {
  const unsigned incoming = code;
  unsigned sp = kStackSize;
  if (Prefix(code) == kFree) {
    stack_[--sp] = first_;
    code = prev_;
  }
  while (code >= kFirstFree && sp > 0) {
    int16_t p = Prefix(code);
    if (p == kFree) {
      stack_[--sp] = first_;
      code = prev_;
    } else {
      stack_[--sp] = suffix_[code];
      code = static_cast<unsigned>(p);
    }
  }
  if (sp == 0) {  // longer than any valid string: a cycle of undefined codes
    status_ = TDecodeStatus::InvalidCode;
    return false;
  }
  first_ = suffix_[code];
  stack_[--sp] = first_;
  WindowFlush(io_, stack_ + sp, kStackSize - sp);

  if (nextFree_ < kCodeLimit) {
    SetPrefix(nextFree_, static_cast<int16_t>(prev_));
    suffix_[nextFree_] = first_;
    nextFree_ = NextFreeFrom(nextFree_ + 1);
  }
  prev_ = incoming;
  return true;
}

}  // namespace

TDecodeStatus Unshrink(TDecoderIO& io) {
  TUnshrinker decoder(io);
  return decoder.Run();
}

}  // namespace archive
