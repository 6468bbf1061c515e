#include "support/object_list.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <new>

#include "support/exceptions.h"
#include "support/format.h"

namespace support {

namespace {

// Significant length of a registered class name (it is stored behind a length
// byte in streams).
constexpr size_t kClassNameLength = 63;

std::string RegistryKey(const std::string& name) {
  std::string key = name.substr(0, kClassNameLength);
  for (char& c : key) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return key;
}

std::map<std::string, std::unique_ptr<tRegisterRec>>& Registry() {
  static std::map<std::string, std::unique_ptr<tRegisterRec>> registry;
  return registry;
}

uint8_t ReadByte(TStream& stream) {
  uint8_t b = 0;
  stream.ReadBuffer(&b, 1);
  return b;
}

int32_t ReadInt32(TStream& stream) {
  uint8_t b[4];
  stream.ReadBuffer(b, 4);
  return static_cast<int32_t>(static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                              (static_cast<uint32_t>(b[2]) << 16) |
                              (static_cast<uint32_t>(b[3]) << 24));
}

void WriteByte(TStream& stream, uint8_t b) { stream.WriteBuffer(&b, 1); }

void WriteInt32(TStream& stream, int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  const uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                        static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
  stream.WriteBuffer(b, 4);
}

}  // namespace

// ---------------------------------------------------------------- TObjectList

TObjectList::TObjectList() = default;

TObjectList::~TObjectList() {
  // Calls within a destructor reach this class's own FreeItem and Clear.
  FreeAll();
  Clear();
}

void TObjectList::Error() { throw EListError("ListIndexError"); }

void TObjectList::Grow() {
  int delta = 4;
  if (capacity_ > 8) {
    delta = 16;
  } else if (capacity_ > 4) {
    delta = 8;
  }
  SetCapacity(capacity_ + delta);
}

void TObjectList::Put(int index, TObject* item) {
  if (index < 0 || index >= count_) Error();
  items_[index] = item;
}

void TObjectList::FreeItem(TObject* item) {
  if (ownsItems_) delete item;
}

int TObjectList::Add(TObject* item) {
  if (count_ == capacity_) Grow();
  items_[count_] = item;
  return count_++;
}

void TObjectList::Clear() {
  count_ = 0;
  SetCapacity(0);
}

int TObjectList::IndexOf(TObject* item) {
  for (int i = 0; i < count_; ++i) {
    if (items_[i] == item) return i;
  }
  return -1;
}

void TObjectList::Insert(int index, TObject* item) {
  if (index < 0 || index > count_) Error();
  if (count_ == capacity_) Grow();
  std::memmove(items_ + index + 1, items_ + index,
               static_cast<size_t>(count_ - index) * sizeof(TObject*));
  items_[index] = item;
  ++count_;
}

TObject* TObjectList::First() {
  if (count_ == 0) Error();
  return items_[0];
}

TObject* TObjectList::Last() {
  if (count_ == 0) Error();
  return items_[count_ - 1];
}

TObject* TObjectList::Neighbour(TObject* item, bool forward) {
  if (item == nullptr) return forward ? First() : Last();
  const int index = IndexOf(item);
  if (index < 0) throw EListError(Format("tObject %s not in item list", {item->ClassName()}));
  const int next = forward ? index + 1 : index - 1;
  return (next >= 0 && next < count_) ? items_[next] : nullptr;
}

TObject* TObjectList::Get(int index) const {
  if (index < 0 || index >= count_) const_cast<TObjectList*>(this)->Error();
  return items_[index];
}

void TObjectList::SetCapacity(int n) {
  if (n == capacity_) return;
  if (n < count_ || n > kMaxListCapacity) Error();
  TObject** block = nullptr;
  if (n > 0) {
    block = new (std::nothrow) TObject*[static_cast<size_t>(n)];
    if (block == nullptr) throw EOutOfMemory("Out of memory");
    if (count_ > 0) std::memcpy(block, items_, static_cast<size_t>(count_) * sizeof(TObject*));
  }
  delete[] items_;
  items_ = block;
  capacity_ = n;
}

void TObjectList::SetCount(int n) {
  if (n < 0 || n > kMaxListCapacity) Error();
  if (n > capacity_) SetCapacity(n);
  for (int i = count_; i < n; ++i) items_[i] = nullptr;
  count_ = n;
}

void TObjectList::FreeAll() {
  for (int i = 0; i < count_; ++i) FreeItem(items_[i]);
  Clear();
}

void TObjectList::WriteData(TStream& stream) {
  // Check every item first, so that a failure writes nothing.
  for (int i = 0; i < count_; ++i) {
    if (items_[i] == nullptr) throw EClassNotFound("Nil Source Class!");
    const std::string name = items_[i]->ClassName();
    if (FindObjectClass(name) == nullptr) {
      throw EClassNotFound(Format("Source Class <%s> not registered", {name}));
    }
  }
  WriteByte(stream, ownsItems_ ? 1 : 0);
  WriteInt32(stream, count_);
  for (int i = 0; i < count_; ++i) {
    TObject* item = items_[i];
    const std::string name = item->ClassName().substr(0, kClassNameLength);
    WriteByte(stream, static_cast<uint8_t>(name.size()));
    stream.WriteBuffer(name.data(), static_cast<int32_t>(name.size()));
    const tRegisterRec* rec = FindObjectClass(name);
    if (rec->Writer) rec->Writer(item, stream);
  }
}

void TObjectList::ReadData(TStream& stream) {
  ownsItems_ = ReadByte(stream) != 0;
  const int32_t n = ReadInt32(stream);
  if (static_cast<int64_t>(capacity_) - count_ < n) {
    const int64_t wanted = static_cast<int64_t>(count_) + n;
    if (wanted > kMaxListCapacity) Error();
    SetCapacity(static_cast<int>(wanted));
  }
  for (int32_t i = 0; i < n; ++i) {
    const uint8_t length = ReadByte(stream);
    std::string name(length, '\0');
    stream.ReadBuffer(name.data(), length);
    const tRegisterRec* rec = FindObjectClass(name);
    if (rec == nullptr || !rec->ClassRef) {
      throw EClassNotFound(Format("Class <%s> not registered", {name}));
    }
    std::unique_ptr<TObject> object(rec->ClassRef());
    if (rec->Reader) rec->Reader(object.get(), stream);
    // A sorted list may drop the object (duplicates ignored); it is ours then.
    if (Add(object.get()) >= 0) object.release();
  }
}

// ---------------------------------------------------------------- TSortedObjectList

TSortedObjectList::TSortedObjectList(uint8_t duplicates) : duplicates_(duplicates) {}

void TSortedObjectList::Put(int, TObject*) {
  throw EListError("Cannot <Put> an Object in a sorted list!");
}

const void* TSortedObjectList::KeyOf(TObject* item) { return item; }

bool TSortedObjectList::Search(const void* key, int& index) {
  int lo = 0;
  int hi = Count() - 1;
  bool found = false;
  while (lo <= hi) {
    const int mid = (lo + hi) / 2;
    const int c = Compare(KeyOf(Get(mid)), key);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) {
        found = true;
        if (duplicates_ != dupAccept) lo = mid;
      }
    }
  }
  index = lo;
  return found;
}

int TSortedObjectList::IndexOf(TObject* item) {
  int index = 0;
  return Search(KeyOf(item), index) ? index : -1;
}

int TSortedObjectList::InsertSorted(TObject* item) {
  int index = 0;
  if (Search(KeyOf(item), index)) {
    if (duplicates_ == dupIgnore) return -1;
    if (duplicates_ == dupError) throw EListError("Duplicate Object index");
  }
  TObjectList::Insert(index, item);
  return index;
}

void TSortedObjectList::Insert(int, TObject* item) { InsertSorted(item); }

int TSortedObjectList::Add(TObject* item) { return InsertSorted(item); }

void TSortedObjectList::WriteData(TStream& stream) {
  WriteByte(stream, duplicates_);
  TObjectList::WriteData(stream);
}

void TSortedObjectList::ReadData(TStream& stream) {
  duplicates_ = ReadByte(stream);
  TObjectList::ReadData(stream);
}

// ---------------------------------------------------------------- class registry

void RegisterObjectClass(const std::string& name, TObjectFactory classRef, TObjectReader reader,
                         TObjectWriter writer) {
  auto& registry = Registry();
  const std::string key = RegistryKey(name);
  if (registry.count(key) != 0) return;
  auto rec = std::make_unique<tRegisterRec>();
  rec->Name = name.substr(0, kClassNameLength);
  rec->ClassRef = std::move(classRef);
  rec->Reader = std::move(reader);
  rec->Writer = std::move(writer);
  registry.emplace(key, std::move(rec));
}

const tRegisterRec* FindObjectClass(const std::string& name) {
  auto& registry = Registry();
  const auto it = registry.find(RegistryKey(name));
  return it == registry.end() ? nullptr : it->second.get();
}

}  // namespace support
