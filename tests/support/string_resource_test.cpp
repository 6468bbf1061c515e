// The "S_Stream" message table as the executable carries it, and the reader:
// lookups, the per-name cache, missing tables and malformed tables.
#include "support/string_resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/exceptions.h"
#include "support/format.h"
#include "tests/common/forwarding_shell.h"

namespace {

using support::GetResourceString;
using support::TS_StringResource;

// Forwards to the installed shell, counts resource lookups and can serve
// extra tables of its own.
class CountingShell : public testing_support::ForwardingShell {
 public:
  using ForwardingShell::ForwardingShell;
  platform::ResourceStatus FindResource(const std::string& type, const std::string& name,
                                        const uint8_t*& data, uint32_t& size) override {
    ++lookups;
    lastName = name;
    if (name == "TEST_TABLE") {
      if (status != platform::ResourceStatus::Ok) return status;
      data = table.data();
      size = static_cast<uint32_t>(table.size());
      return platform::ResourceStatus::Ok;
    }
    return real_.FindResource(type, name, data, size);
  }

  int lookups = 0;
  std::string lastName;
  std::vector<uint8_t> table;
  platform::ResourceStatus status = platform::ResourceStatus::Ok;
};

// Installs a CountingShell for one test.
class MessageTable : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = platform::Current().shell;
    shell_ = std::make_unique<CountingShell>(*saved_);
    platform::Current().shell = shell_.get();
  }
  void TearDown() override { platform::Current().shell = saved_; }
  CountingShell& shell() { return *shell_; }

 private:
  platform::Shell* saved_ = nullptr;
  std::unique_ptr<CountingShell> shell_;
};

const std::vector<std::pair<int, std::string>> kStreamMessages = {
    {1, "Seek error"},
    {2, "Invalid seek origin (%d)"},
    {3, "Putback overflow"},
    {4, "Cannot find resource"},
    {5, "Cannot access resource"},
    {6, "Seek past end of resource stream"},
    {7, "Cannot write to a resource stream"},
};

TEST_F(MessageTable, ExecutableCarriesTheExactTable) {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  ASSERT_EQ(platform::shell().FindResource("S_STRINGTABLE", "S_STREAM", data, size),
            platform::ResourceStatus::Ok);
  ASSERT_EQ(size, 180u);
  std::vector<uint8_t> expected;
  for (const auto& [number, text] : kStreamMessages) {
    expected.push_back(static_cast<uint8_t>(number));
    expected.push_back(0);
    expected.push_back(static_cast<uint8_t>(text.size()));
    expected.insert(expected.end(), text.begin(), text.end());
  }
  expected.push_back(0);
  expected.push_back(0);
  EXPECT_EQ(std::vector<uint8_t>(data, data + size), expected);
  // Names and type are found without regard to letter case.
  EXPECT_EQ(platform::shell().FindResource("s_stringtable", "s_stream", data, size),
            platform::ResourceStatus::Ok);
}

TEST_F(MessageTable, EveryMessageAndAbsentNumbers) {
  for (const auto& [number, text] : kStreamMessages) {
    EXPECT_EQ(GetResourceString("S_Stream", number), text) << number;
  }
  for (int number : {0, 8, -1, 65536 + 1, 32767}) {
    EXPECT_EQ(GetResourceString("S_Stream", number), "") << number;
  }
  EXPECT_EQ(support::Format(GetResourceString("S_Stream", 2), {7}), "Invalid seek origin (7)");
}

TEST_F(MessageTable, NamesInOtherLetterCaseReuseTheOpenTable) {
  GetResourceString("S_Stream", 1);  // opened by now, whatever ran before
  const int before = shell().lookups;
  EXPECT_EQ(GetResourceString("s_stream", 3), "Putback overflow");
  EXPECT_EQ(GetResourceString("S_STREAM", 1), "Seek error");
  EXPECT_EQ(shell().lookups, before);
}

TEST_F(MessageTable, MissingTableRaisesAndIsTriedAgain) {
  for (int attempt = 1; attempt <= 2; ++attempt) {
    try {
      GetResourceString("No_Such_Table", 1);
      FAIL() << "no exception";
    } catch (const support::Exception& e) {
      EXPECT_EQ(e.Message(), "No such string resource: No_Such_Table");
    }
    EXPECT_EQ(shell().lookups, attempt);
  }
}

TEST_F(MessageTable, LoadAndLockFailuresAreOutOfResources) {
  shell().status = platform::ResourceStatus::LoadFailed;
  try {
    TS_StringResource table("TEST_TABLE");
    FAIL() << "loaded";
  } catch (const support::EOutOfResources& e) {
    EXPECT_EQ(e.Message(), "Cannot load string resource");
  }
  shell().status = platform::ResourceStatus::LockFailed;
  TS_StringResource table("TEST_TABLE");
  EXPECT_TRUE(table.IsOpen());
  try {
    table.GetString(1);
    FAIL() << "locked";
  } catch (const support::EOutOfResources& e) {
    EXPECT_EQ(e.Message(), "Cannot lock string resource");
  }
  EXPECT_FALSE(table.IsLocked());
}

TEST_F(MessageTable, WalkAndUnlockAroundEachLookup) {
  shell().table = {1, 0, 2, 'h', 'i', 0xFF, 0x7F, 0, 2, 0, 1, 'x', 0, 0, 9, 0, 1, 'z'};
  TS_StringResource table("TEST_TABLE");
  EXPECT_EQ(table.GetString(1), "hi");
  EXPECT_EQ(table.GetString(32767), "");  // empty text, but present
  EXPECT_EQ(table.GetString(2), "x");
  EXPECT_EQ(table.GetString(9), "");  // after the end record
  EXPECT_FALSE(table.IsLocked());
  table.Lock();
  TS_StringResource::Record r = table.FindEntry(1);
  ASSERT_NE(r, nullptr);
  r = table.NextEntry(r);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(TS_StringResource::RecordNumber(r), 32767);
  r = table.NextEntry(table.NextEntry(r));
  EXPECT_EQ(r, nullptr);  // the end record is not an entry
  table.Close();
  EXPECT_FALSE(table.IsLocked());
  EXPECT_FALSE(table.IsOpen());
}

TEST_F(MessageTable, MalformedTablesNeverReadPastTheResource) {
  // Each table is held in a vector of exactly its size, so a read past it is
  // caught by the address sanitizer in native builds.
  const std::vector<std::vector<uint8_t>> tables = {
      {5},                              // half a number
      {5, 0},                           // number without length
      {5, 0, 10, 'a', 'b'},             // text longer than the rest
      {1, 0, 1, 'a', 5, 0, 200, 'b'},   // second record overruns
      {1, 0, 1, 'a', 5, 0, 1, 'b'},     // no end record
      {1, 0, 1, 'a', 5, 0, 1, 'b', 0},  // end record cut short
  };
  for (size_t i = 0; i < tables.size(); ++i) {
    shell().table = tables[i];
    TS_StringResource table("TEST_TABLE");
    EXPECT_EQ(table.GetString(5), i == 4 || i == 5 ? "b" : "") << i;
    EXPECT_EQ(table.GetString(7), "") << i;
  }
}

}  // namespace
