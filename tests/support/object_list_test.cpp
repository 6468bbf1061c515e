// Object containers: growth and limits, index errors, ownership, sorted
// inserts with the three duplicates modes, lookups and streaming.
#include "support/object_list.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/exceptions.h"
#include "support/memory_stream.h"

namespace {

using support::EClassNotFound;
using support::EListError;
using support::TObject;
using support::TObjectList;
using support::TSortedObjectList;

int gDestroyed = 0;

class TItem : public TObject {
 public:
  explicit TItem(int key = 0) : key(key) {}
  ~TItem() override { ++gDestroyed; }
  std::string ClassName() const override { return "TItem"; }
  int key;
};

class TOther : public TObject {
 public:
  std::string ClassName() const override { return "TOtherItem"; }
};

class TItemList : public TSortedObjectList {
 public:
  using TSortedObjectList::TSortedObjectList;
  int Compare(const void* a, const void* b) override {
    return static_cast<const TItem*>(a)->key - static_cast<const TItem*>(b)->key;
  }
};

template <typename F>
std::string ListErrorOf(F&& f) {
  try {
    f();
  } catch (const EListError& e) {
    return e.Message();
  }
  return "(no EListError)";
}

TEST(ObjectList, CapacityGrowsBy4Then8Then16AndStopsAt65520) {
  TObjectList list;
  list.SetOwnsItems(false);
  std::vector<int> steps;
  TObject dummy;
  for (int i = 0; i < 65520; ++i) {
    const int before = list.Capacity();
    list.Add(&dummy);
    if (list.Capacity() != before) steps.push_back(list.Capacity());
  }
  ASSERT_GE(steps.size(), 6u);
  EXPECT_EQ(std::vector<int>(steps.begin(), steps.begin() + 6),
            (std::vector<int>{4, 8, 16, 32, 48, 64}));
  EXPECT_EQ(steps.back(), 65520);
  EXPECT_EQ(ListErrorOf([&] { list.Add(&dummy); }), "ListIndexError");
  EXPECT_EQ(list.Count(), 65520);
  EXPECT_EQ(list.Capacity(), 65520);
}

TEST(ObjectList, PresetCapacityTakes65534Items) {
  TObjectList list;
  list.SetOwnsItems(false);
  TObject dummy;
  list.SetCapacity(65534);
  for (int i = 0; i < 65534; ++i) list.Add(&dummy);
  EXPECT_EQ(list.Count(), 65534);
  EXPECT_EQ(ListErrorOf([&] { list.Add(&dummy); }), "ListIndexError");
  EXPECT_EQ(ListErrorOf([&] { list.SetCapacity(65535); }), "ListIndexError");
}

TEST(ObjectList, IndexAndCapacityViolationsLeaveTheListUnchanged) {
  TObjectList list;
  TObject* a = new TItem(1);
  TObject* b = new TItem(2);
  list.Add(a);
  list.Add(b);
  const std::vector<std::pair<const char*, std::function<void()>>> bad = {
      {"Get(-1)", [&] { list.Get(-1); }},
      {"Get(count)", [&] { list.Get(2); }},
      {"Put(count)", [&] { list.Put(2, a); }},
      {"Insert(count+1)", [&] { list.Insert(3, a); }},
      {"Insert(-1)", [&] { list.Insert(-1, a); }},
      {"SetCapacity(below count)", [&] { list.SetCapacity(1); }},
      {"SetCount(-1)", [&] { list.SetCount(-1); }},
      {"SetCount(65535)", [&] { list.SetCount(65535); }},
  };
  for (const auto& [name, op] : bad) {
    EXPECT_EQ(ListErrorOf(op), "ListIndexError") << name;
    EXPECT_EQ(list.Count(), 2) << name;
    EXPECT_EQ(list.Get(0), a) << name;
    EXPECT_EQ(list.Get(1), b) << name;
  }
  TObjectList empty;
  EXPECT_EQ(ListErrorOf([&] { empty.First(); }), "ListIndexError");
  EXPECT_EQ(ListErrorOf([&] { empty.Last(); }), "ListIndexError");
}

TEST(ObjectList, InsertPutSetCountAndIndexOf) {
  TObjectList list;
  list.SetOwnsItems(false);
  TItem a(1), b(2), c(3), d(4);
  list.Add(&a);
  list.Add(&c);
  list.Insert(1, &b);
  list.Insert(0, &d);
  EXPECT_EQ(list.IndexOf(&d), 0);
  EXPECT_EQ(list.IndexOf(&b), 2);
  EXPECT_EQ(list.IndexOf(&c), 3);
  list.Put(0, &a);
  EXPECT_EQ(list.IndexOf(&a), 0);  // the first index holding it
  EXPECT_EQ(list.IndexOf(&d), -1);
  list.SetCount(6);
  EXPECT_EQ(list.Get(4), nullptr);
  EXPECT_EQ(list.Get(5), nullptr);
  EXPECT_EQ(list.Last(), nullptr);
  list.SetCount(2);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Last(), &a);
}

TEST(ObjectList, ClearForgetsAndDestructionFrees) {
  gDestroyed = 0;
  auto keep = std::make_unique<TItem>(1);
  {
    TObjectList list;
    list.Add(keep.get());
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Capacity(), 0);
    EXPECT_EQ(gDestroyed, 0);
    list.Add(new TItem(2));
    list.Add(new TItem(3));
  }
  EXPECT_EQ(gDestroyed, 2);
  {
    TObjectList notOwning;
    notOwning.SetOwnsItems(false);
    notOwning.Add(keep.get());
    notOwning.FreeAll();
    EXPECT_EQ(notOwning.Count(), 0);
  }
  EXPECT_EQ(gDestroyed, 2);
}

TEST(ObjectList, Neighbour) {
  TObjectList list;
  TItem* a = new TItem(1);
  TItem* b = new TItem(2);
  list.Add(a);
  list.Add(b);
  EXPECT_EQ(list.Neighbour(nullptr, true), a);
  EXPECT_EQ(list.Neighbour(nullptr, false), b);
  EXPECT_EQ(list.Neighbour(a, true), b);
  EXPECT_EQ(list.Neighbour(b, true), nullptr);
  EXPECT_EQ(list.Neighbour(a, false), nullptr);
  EXPECT_EQ(list.Neighbour(b, false), a);
  TOther stranger;
  EXPECT_EQ(ListErrorOf([&] { list.Neighbour(&stranger, true); }),
            "tObject TOtherItem not in item list");
}

TEST(SortedObjectList, DuplicatesModes) {
  struct Case {
    uint8_t mode;
    std::string error;       // expected error for the duplicate, or empty
    int duplicateIndex;      // Add's result for the duplicate
    std::vector<int> order;  // keys afterwards, by position of objects
  };
  const Case cases[] = {
      {support::dupIgnore, "", -1, {1, 5, 9}},
      {support::dupAccept, "", 1, {1, 5, 5, 9}},
      {support::dupError, "Duplicate Object index", 0, {1, 5, 9}},
  };
  for (const Case& c : cases) {
    gDestroyed = 0;
    TItemList list(c.mode);
    for (int key : {9, 1, 5}) list.Add(new TItem(key));
    auto dup = std::make_unique<TItem>(5);
    if (c.error.empty()) {
      EXPECT_EQ(list.Add(dup.get()), c.duplicateIndex) << int{c.mode};
      if (c.duplicateIndex >= 0) {
        EXPECT_EQ(list.Get(c.duplicateIndex), dup.get());  // before the equal one
        dup.release();
      }
    } else {
      EXPECT_EQ(ListErrorOf([&] { list.Add(dup.get()); }), c.error);
    }
    std::vector<int> keys;
    for (int i = 0; i < list.Count(); ++i) keys.push_back(static_cast<TItem*>(list.Get(i))->key);
    EXPECT_EQ(keys, c.order) << int{c.mode};
    EXPECT_EQ(gDestroyed, 0) << "a dropped or refused item must not be destroyed";
  }
}

TEST(SortedObjectList, LookupsByKey) {
  TItemList list(support::dupAccept);
  for (int key : {4, 2, 8, 2, 6}) list.Add(new TItem(key));
  TItem probe(2);
  int index = -1;
  EXPECT_TRUE(list.Search(&probe, index));
  EXPECT_EQ(index, 0);                 // the first equal item
  EXPECT_EQ(list.IndexOf(&probe), 0);  // another object with an equal key
  TItem absent(5);
  EXPECT_FALSE(list.Search(&absent, index));
  EXPECT_EQ(index, 3);  // where it would go
  EXPECT_EQ(list.IndexOf(&absent), -1);
  EXPECT_EQ(ListErrorOf([&] { list.Put(0, &probe); }), "Cannot <Put> an Object in a sorted list!");
  EXPECT_EQ(ListErrorOf([&] { list.Neighbour(&absent, true); }), "tObject TItem not in item list");
  TItem six(6);
  EXPECT_EQ(static_cast<TItem*>(list.Neighbour(&six, true))->key, 8);
  list.Insert(99, new TItem(7));  // the index is ignored
  EXPECT_EQ(static_cast<TItem*>(list.Get(4))->key, 7);
}

void ReadItem(TObject* object, support::TStream& stream) {
  uint8_t b;
  stream.ReadBuffer(&b, 1);
  static_cast<TItem*>(object)->key = b;
}
void WriteItem(TObject* object, support::TStream& stream) {
  const auto b = static_cast<uint8_t>(static_cast<TItem*>(object)->key);
  stream.WriteBuffer(&b, 1);
}

TEST(ObjectListStreaming, UnregisteredAndMissingItems) {
  support::TMemoryStream stream;
  TObjectList list;
  list.Add(new TOther);
  try {
    list.WriteData(stream);
    FAIL();
  } catch (const EClassNotFound& e) {
    EXPECT_EQ(e.Message(), "Source Class <TOtherItem> not registered");
  }
  TObjectList holes;
  holes.SetCount(1);
  try {
    holes.WriteData(stream);
    FAIL();
  } catch (const EClassNotFound& e) {
    EXPECT_EQ(e.Message(), "Nil Source Class!");
  }
  EXPECT_EQ(stream.Data(), "");  // nothing written by a failing write
  support::TMemoryStream in(std::string("\x01\x01\x00\x00\x00\x07TNobody", 13));
  try {
    list.ReadData(in);
    FAIL();
  } catch (const EClassNotFound& e) {
    EXPECT_EQ(e.Message(), "Class <TNobody> not registered");
  }
}

TEST(ObjectListStreaming, RoundTripThroughTheRegistry) {
  support::RegisterObjectClass(
      "titem", [] { return new TItem; }, ReadItem, WriteItem);
  // A second registration of the same name is ignored.
  support::RegisterObjectClass(
      "TITEM", [] { return nullptr; }, nullptr, nullptr);
  TItemList list(support::dupIgnore);
  for (int key : {3, 1, 2}) list.Add(new TItem(key));
  support::TMemoryStream stream;
  list.WriteData(stream);
  const std::string expected(
      "\x00\x01\x03\x00\x00\x00"
      "\x05TItem\x01\x05TItem\x02\x05TItem\x03",
      6 + 3 * 7);
  EXPECT_EQ(stream.Data(), expected);

  TItemList copy(support::dupAccept);
  copy.Add(new TItem(2));  // read items join what is there; the dropped one is freed
  stream.Seek(0, support::soFromBeginning);
  copy.ReadData(stream);
  EXPECT_EQ(copy.Duplicates(), support::dupIgnore);
  ASSERT_EQ(copy.Count(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(static_cast<TItem*>(copy.Get(i))->key, i + 1);
}

}  // namespace
