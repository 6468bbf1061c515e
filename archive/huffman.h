// Huffman decoding tables shared by the Deflate and Implode decoders.
//
// A table is a first-level block of 2^lookupBits entries indexed by the low
// lookupBits bits of the bit buffer (Deflate) or of its complement (Implode),
// plus one sub-table block per first-level slot whose codes are longer. Each
// block is a separate allocation of (size + 1) entries: the hidden entry in
// front of the block links to the block allocated after it, so that releasing
// the table walks this chain from the first-level block.
//
// Entry operations:
//   0..14   a length or distance code with this many extra bits, base in value
//   15      end of block
//   16      literal, value is the byte (or the code index)
//   17..32  link: the next (op - 16) bits index the sub-table at link
//   99      invalid code (no code of non-zero length reaches this slot)
// bits is the number of code bits to drop for the entry (for a link: the bits
// of the level it sits in).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/platform.h"

namespace archive {

constexpr uint8_t kOpEndOfBlock = 15;
constexpr uint8_t kOpLiteral = 16;
constexpr uint8_t kOpInvalid = 99;
constexpr unsigned kMaxCodeBits = 16;  // longest code any table accepts
constexpr unsigned kMaxSymbols = 288;  // largest code set: Deflate's fixed literal/length codes

// kBitMask[n] = 2^n - 1: every extraction of n bits masks with it.
inline constexpr uint32_t kBitMask[kMaxCodeBits + 1] = {
    0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F, 0x003F, 0x007F, 0x00FF,
    0x01FF, 0x03FF, 0x07FF, 0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF, 0xFFFF};

struct THuffEntry {
  uint8_t op;
  uint8_t bits;
  uint16_t value;
  THuffEntry* link;  // sub-table of a link entry; next block in a hidden entry
};

// Result of the table builder.
enum class THuffStatus {
  Complete = 0,
  Incomplete = 1,   // some bit patterns reach no code
  Invalid = 2,      // over-subscribed, or a length beyond kMaxCodeBits
  OutOfMemory = 3,  // a block could not be allocated (the user has been told)
};

// Owns the blocks of one table. An empty table (every length 0) has lookup
// bits 0 and a single invalid entry, so decoding from it stops at once.
class THuffTable {
 public:
  THuffTable() = default;
  ~THuffTable() { Release(); }
  THuffTable(const THuffTable&) = delete;
  THuffTable& operator=(const THuffTable&) = delete;

  const THuffEntry* Root() const;
  unsigned LookupBits() const { return lookupBits_; }
  bool Empty() const { return first_ == nullptr; }
  void Release();

 private:
  friend THuffStatus BuildHuffTable(const uint8_t*, unsigned, unsigned, const uint16_t*,
                                    const uint8_t*, unsigned, THuffTable&);
  THuffEntry* first_ = nullptr;  // hidden entry of the first-level block
  THuffEntry* last_ = nullptr;   // hidden entry of the newest block
  unsigned lookupBits_ = 0;
};

// Builds a table from n <= kMaxSymbols code lengths (0 = unused). Value indexes below s are
// literals (op 16, value = index) when below 256, else the end of block;
// index i >= s takes op extra[i - s] and value base[i - s]. lookupBits is
// clamped to the range of the non-zero lengths and stored in the table. On
// any status but Complete or Incomplete the table is left empty.
THuffStatus BuildHuffTable(const uint8_t* lengths, unsigned n, unsigned s, const uint16_t* base,
                           const uint8_t* extra, unsigned lookupBits, THuffTable& table);

// Allocation of table blocks goes through this function; tests replace it to
// run out of memory on purpose. It returns the previous allocator.
using THuffAllocator = void* (*)(size_t bytes);
THuffAllocator SetHuffAllocator(THuffAllocator allocator);

// While one exists on a thread, the "out of memory" message box of the table
// builder on that thread goes to its handler instead of the user interface
// (a decoding worker hands it to the caller's thread, which shows it).
class TOutOfTableMemoryReport {
 public:
  using THandler = std::function<void(const platform::MessageBoxRequest&)>;
  explicit TOutOfTableMemoryReport(THandler handler);
  ~TOutOfTableMemoryReport();
  TOutOfTableMemoryReport(const TOutOfTableMemoryReport&) = delete;
  TOutOfTableMemoryReport& operator=(const TOutOfTableMemoryReport&) = delete;

 private:
  THandler handler_;
  TOutOfTableMemoryReport* previous_;
  friend THuffStatus BuildHuffTable(const uint8_t*, unsigned, unsigned, const uint16_t*,
                                    const uint8_t*, unsigned, THuffTable&);
};

}  // namespace archive
