// Paths for tests that work alike in the native build (posix platform) and in
// the Win32 build under Wine.
#pragma once

#include <string>

namespace testing_support {

// The two sets of archives made by other tools, each with its MANIFEST.tsv:
// the project's own copies of those whose licences allow it (tests/data), and
// the shared folder beside the project (../shared/testdata), which CI has and
// a fresh clone does not.
enum class TestData { Project, Shared };

// A path in one of the sets, as the platform of this build understands it.
// rel uses "/" separators.
std::string TestDataPath(const std::string& rel, TestData set = TestData::Shared);
// Host (Linux) path of a set's folder.
std::string TestDataFolder(TestData set);
bool TestDataPresent(TestData set);
// "Project" or "Shared", for the names of parameterised tests.
inline const char* Name(TestData set) { return set == TestData::Project ? "Project" : "Shared"; }

// Skips the running test when the set is absent, with the reason.
#define SKIP_WITHOUT_TEST_DATA(set)                    \
  if (!testing_support::TestDataPresent(set))          \
  GTEST_SKIP() << testing_support::TestDataFolder(set) \
               << " is absent (the shared test data sits beside the project in CI)"

// A host path (Linux, absolute) as the platform of this build understands it:
// unchanged for posix, "Z:\..." under Wine.
std::string HostPath(const std::string& linuxPath);

// A fresh, empty folder for one test, removed with everything in it when the
// object goes away. Path() has no trailing "\".
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& Path() const { return path_; }
  // Path() + "\" + name.
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// Removes a folder and everything in it through the platform (read-only
// attributes are cleared first).
void RemoveTree(const std::string& path);

// Whole-file helpers through the platform.
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool ReadFileBytes(const std::string& path, std::string& bytes);

}  // namespace testing_support
