#include "archive/huffman.h"

#include <cstdlib>

#include "platform/platform.h"

namespace archive {

namespace {

void* DefaultAllocator(size_t bytes) { return std::malloc(bytes); }

THuffAllocator gAllocator = DefaultAllocator;

thread_local TOutOfTableMemoryReport* tReport = nullptr;

// The table of a code set whose lengths are all 0: one invalid slot.
const THuffEntry kEmptyTable[1] = {{kOpInvalid, 0, 0, nullptr}};

unsigned Reverse(unsigned code, unsigned length) {
  unsigned r = 0;
  for (unsigned i = 0; i < length; ++i, code >>= 1) r = (r << 1) | (code & 1);
  return r;
}

// Allocates a block of size entries (plus the hidden one), all invalid, and
// chains it behind the newest block. Returns its first visible entry.
THuffEntry* NewBlock(THuffEntry*& first, THuffEntry*& last, unsigned size) {
  auto* block = static_cast<THuffEntry*>(gAllocator(sizeof(THuffEntry) * (size + 1)));
  if (block == nullptr) return nullptr;
  block[0] = {0, 0, 0, nullptr};
  for (unsigned i = 1; i <= size; ++i) block[i] = {kOpInvalid, 0, 0, nullptr};
  if (last != nullptr) {
    last->link = block;
  } else {
    first = block;
  }
  last = block;
  return block + 1;
}

void FreeChain(THuffEntry* first) {
  while (first != nullptr) {
    THuffEntry* next = first->link;
    std::free(first);
    first = next;
  }
}

}  // namespace

THuffAllocator SetHuffAllocator(THuffAllocator allocator) {
  THuffAllocator previous = gAllocator;
  gAllocator = allocator ? allocator : DefaultAllocator;
  return previous;
}

TOutOfTableMemoryReport::TOutOfTableMemoryReport(THandler handler)
    : handler_(std::move(handler)), previous_(tReport) {
  tReport = this;
}

TOutOfTableMemoryReport::~TOutOfTableMemoryReport() { tReport = previous_; }

const THuffEntry* THuffTable::Root() const { return first_ ? first_ + 1 : kEmptyTable; }

void THuffTable::Release() {
  FreeChain(first_);
  first_ = last_ = nullptr;
  lookupBits_ = 0;
}

THuffStatus BuildHuffTable(const uint8_t* lengths, unsigned n, unsigned s, const uint16_t* base,
                           const uint8_t* extra, unsigned lookupBits, THuffTable& table) {
  table.Release();

  unsigned count[kMaxCodeBits + 1] = {};
  for (unsigned i = 0; i < n; ++i) {
    if (lengths[i] > kMaxCodeBits) return THuffStatus::Invalid;
    ++count[lengths[i]];
  }
  if (count[0] == n) return THuffStatus::Complete;  // no codes: empty table

  unsigned minLen = 1, maxLen = kMaxCodeBits;
  while (count[minLen] == 0) ++minLen;
  while (count[maxLen] == 0) --maxLen;
  unsigned bl = lookupBits < minLen ? minLen : lookupBits > maxLen ? maxLen : lookupBits;

  // Over-subscription check; whatever code space is left makes it incomplete.
  int32_t left = 1;
  for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
    left = (left << 1) - static_cast<int32_t>(count[len]);
    if (left < 0) return THuffStatus::Invalid;
  }

  // Value indexes sorted by length, then by index: canonical code order.
  unsigned offset[kMaxCodeBits + 2] = {};
  for (unsigned len = 1; len <= kMaxCodeBits; ++len) offset[len + 1] = offset[len] + count[len];
  if (n > kMaxSymbols) return THuffStatus::Invalid;
  uint16_t sorted[kMaxSymbols];
  for (unsigned i = 0; i < n; ++i)
    if (lengths[i] != 0) sorted[offset[lengths[i]]++] = static_cast<uint16_t>(i);
  const unsigned total = n - count[0];

  THuffEntry* first = nullptr;
  THuffEntry* last = nullptr;
  auto fail = [&]() {
    FreeChain(first);
    platform::MessageBoxRequest box;
    box.kind = platform::MessageKind::Custom;
    box.caption = "Error";
    box.text = "*** inflate out of memory ***";
    box.buttons = platform::kButtonOk;
    if (tReport)
      tReport->handler_(box);
    else
      platform::ui().MessageBox(box);
    return THuffStatus::OutOfMemory;
  };

  THuffEntry* root = NewBlock(first, last, 1u << bl);
  if (root == nullptr) return fail();

  auto entryFor = [&](unsigned index, unsigned bits) {
    THuffEntry e{0, static_cast<uint8_t>(bits), 0, nullptr};
    if (index < s) {
      e.op = index < 256 ? kOpLiteral : kOpEndOfBlock;
      e.value = static_cast<uint16_t>(index);
    } else {
      e.op = extra[index - s];
      e.value = base[index - s];
    }
    return e;
  };

  unsigned code = 0;  // canonical code of sorted[k], MSB first
  unsigned prevLen = lengths[sorted[0]];
  THuffEntry* sub = nullptr;  // sub-table of the current long-code prefix
  unsigned subPrefix = ~0u, subBits = 0;
  for (unsigned k = 0; k < total; ++k) {
    unsigned sym = sorted[k];
    unsigned len = lengths[sym];
    code <<= (len - prevLen);
    prevLen = len;
    unsigned rev = Reverse(code, len);  // the code as it arrives in the bit buffer
    if (len <= bl) {
      THuffEntry e = entryFor(sym, len);
      for (unsigned slot = rev; slot < (1u << bl); slot += 1u << len) root[slot] = e;
    } else {
      unsigned prefix = rev & ((1u << bl) - 1);
      if (prefix != subPrefix) {
        // Codes sharing a prefix are consecutive; the longest of them sets
        // the sub-table width.
        unsigned c = code, pl = len, longest = len;
        for (unsigned j = k; j < total; ++j) {
          unsigned lj = lengths[sorted[j]];
          c <<= (lj - pl);
          pl = lj;
          if ((Reverse(c, lj) & ((1u << bl) - 1)) != prefix) break;
          longest = lj;
          ++c;
        }
        subBits = longest - bl;
        sub = NewBlock(first, last, 1u << subBits);
        if (sub == nullptr) return fail();
        root[prefix] = {static_cast<uint8_t>(kOpLiteral + subBits), static_cast<uint8_t>(bl), 0,
                        sub};
        subPrefix = prefix;
      }
      THuffEntry e = entryFor(sym, len - bl);
      for (unsigned slot = rev >> bl; slot < (1u << subBits); slot += 1u << (len - bl))
        sub[slot] = e;
    }
    ++code;
  }

  table.first_ = first;
  table.last_ = last;
  table.lookupBits_ = bl;
  if (left > 0 && maxLen != 1) return THuffStatus::Incomplete;
  return THuffStatus::Complete;
}

}  // namespace archive
