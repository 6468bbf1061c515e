// zipx.exe as a Windows program: listing and extracting an archive of another tool
// with an encrypted member, and the exit statuses.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "tests/common/test_paths.h"

namespace {

int RunZipx(const std::string& args, const std::string& outputFile) {
  std::string exe = testing_support::HostPath(std::string(SETUP_BINARY_DIR) + "/bin/zipx.exe");
  std::string command = "\"\"" + exe + "\" " + args + " > \"" + outputFile + "\" 2>&1\"";
  return std::system(command.c_str());
}

TEST(ZipxWin32, ListsAndExtractsEncryptedArchive) {
  testing_support::TempFolder temp;
  std::string archive = testing_support::TestDataPath("thirdparty/sharpcompress/zipcrypto.zip",
                                                      testing_support::TestData::Project);
  std::string listing;
  ASSERT_EQ(RunZipx("list \"" + archive + "\"", temp / "list.txt"), 0);
  ASSERT_TRUE(testing_support::ReadFileBytes(temp / "list.txt", listing));
  EXPECT_NE(listing.find("0\t0\t1\t18\t6\t5EBC8AEA\t2021-04-25 14:44:50\tbrown.txt"),
            std::string::npos)
      << listing;

  EXPECT_EQ(RunZipx("extract -P wrong -d \"" + (temp / "bad") + "\" \"" + archive + "\"",
                    temp / "bad.txt"),
            1);
  EXPECT_FALSE(platform::files().FileExists(temp / "bad\\brown.txt"));

  ASSERT_EQ(RunZipx("extract -P test -d \"" + (temp / "out") + "\" \"" + archive + "\"",
                    temp / "out.txt"),
            0);
  std::string brown;
  ASSERT_TRUE(testing_support::ReadFileBytes(temp / "out\\brown.txt", brown));
  EXPECT_EQ(brown.size(), 6u);

  EXPECT_EQ(RunZipx("list \"" + (temp / "missing.zip") + "\"", temp / "missing.txt"), 2);
}

}  // namespace

#endif  // _WIN32
