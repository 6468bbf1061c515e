// Object containers: TObjectList, an indexed list of object references that
// owns its items (destroys them on FreeAll and on destruction while the
// owns-items flag is set), and TSortedObjectList, which keeps its items in
// ascending key order and finds them by binary search; descendants supply the
// key comparison.
//
// Capacity grows by 4, 8 or 16 entries at a time, never beyond 65534. Every
// index or capacity violation raises EListError "ListIndexError" and leaves the
// container unchanged.
//
// Both containers can write their items to a stream and read them back through
// a class registry that maps class names to a factory, a reader and a writer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "support/object.h"
#include "support/stream.h"

namespace support {

// Largest capacity of a container.
constexpr int kMaxListCapacity = 65534;

class TObjectList : public TObject {
 public:
  // Name of the one stream property of a container; it holds data only when
  // the container has items.
  static constexpr const char* kStreamProperty = "ObjectContainer";

  TObjectList();
  // Destroys the items while the owns-items flag is set, then the storage.
  ~TObjectList() override;
  TObjectList(const TObjectList&) = delete;
  TObjectList& operator=(const TObjectList&) = delete;

  std::string ClassName() const override { return "TObjectList"; }

  // Raises EListError "ListIndexError".
  [[noreturn]] virtual void Error();
  // Capacity + 16 above 8, + 8 above 4, else + 4.
  virtual void Grow();
  // Replaces the item at a valid index; the old item is not released.
  virtual void Put(int index, TObject* item);
  // Destroys the item when the owns-items flag is set.
  virtual void FreeItem(TObject* item);
  // Appends; returns the new item's index.
  virtual int Add(TObject* item);
  // Forgets all items without releasing them and frees the storage.
  virtual void Clear();
  // First index holding this very reference, -1 if none.
  virtual int IndexOf(TObject* item);
  // Inserts at 0..Count(), moving the following items up.
  virtual void Insert(int index, TObject* item);
  virtual void ReadData(TStream& stream);
  virtual void WriteData(TStream& stream);
  virtual TObject* First();
  virtual TObject* Last();
  // The item after (forward) or before the given one; nullptr past either end.
  // With no item: First going forward, Last going backward. Raises EListError
  // "tObject <class> not in item list" for an item that is not in the list.
  virtual TObject* Neighbour(TObject* item, bool forward);

  TObject* Get(int index) const;
  TObject* operator[](int index) const { return Get(index); }
  void SetCapacity(int n);
  // Grows or shrinks the count; new entries are nullptr, surplus items are
  // not released.
  void SetCount(int n);
  // Releases every item (FreeItem), then Clear.
  void FreeAll();

  int Count() const { return count_; }
  int Capacity() const { return capacity_; }
  bool OwnsItems() const { return ownsItems_; }
  void SetOwnsItems(bool owns) { ownsItems_ = owns; }
  // Whether the stream property has anything to write.
  bool HasStreamData() const { return count_ > 0; }

 private:
  bool ownsItems_ = true;
  TObject** items_ = nullptr;
  int count_ = 0;
  int capacity_ = 0;
};

// What an insert into a sorted list does with an item whose key is present.
constexpr uint8_t dupIgnore = 0;  // drop the new item (not stored, not released)
constexpr uint8_t dupAccept = 1;  // store it in front of the equal ones
constexpr uint8_t dupError = 2;   // raise EListError "Duplicate Object index"

class TSortedObjectList : public TObjectList {
 public:
  explicit TSortedObjectList(uint8_t duplicates);

  std::string ClassName() const override { return "TSortedObjectList"; }

  // Always raises EListError "Cannot <Put> an Object in a sorted list!".
  void Put(int index, TObject* item) override;
  // Sorted insert. Returns the item's index, or -1 when the duplicates mode
  // dropped it (the caller still owns it then).
  int Add(TObject* item) override;
  // Index of an item whose key equals the item's key (not necessarily the
  // same object), -1 if none.
  int IndexOf(TObject* item) override;
  // Sorted insert; the index argument is ignored.
  void Insert(int index, TObject* item) override;
  void ReadData(TStream& stream) override;
  void WriteData(TStream& stream) override;

  // The key of an item: by default the item itself.
  virtual const void* KeyOf(TObject* item);
  // Negative, 0 or positive as key1 orders before, with or after key2.
  virtual int Compare(const void* key1, const void* key2) = 0;
  // Binary search. True when an item with an equal key exists; index is where
  // the key belongs (with dupAccept: in front of all equal items).
  virtual bool Search(const void* key, int& index);

  uint8_t Duplicates() const { return duplicates_; }

 private:
  int InsertSorted(TObject* item);
  uint8_t duplicates_;
};

// ---------------------------------------------------------------- class registry

using TObjectFactory = std::function<TObject*()>;
using TObjectReader = std::function<void(TObject* object, TStream& stream)>;
using TObjectWriter = std::function<void(TObject* object, TStream& stream)>;

// A registry entry: how to create, read and write objects of one class.
class tRegisterRec : public TObject {
 public:
  std::string ClassName() const override { return "tRegisterRec"; }
  std::string Name;
  TObjectFactory ClassRef;
  TObjectReader Reader;
  TObjectWriter Writer;
};

// Registers a class under its name (letter case ignored, first 63 characters
// significant). A second registration of a name already present is ignored.
void RegisterObjectClass(const std::string& name, TObjectFactory classRef, TObjectReader reader,
                         TObjectWriter writer);
// The entry for a class name, or nullptr.
const tRegisterRec* FindObjectClass(const std::string& name);

}  // namespace support
