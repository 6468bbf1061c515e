// An archive larger than 2 GB: its second member and its directory lie past
// the first 2 GB, where offsets no longer fit a signed 32-bit number. The
// file is sparse (a hole between the members), so it takes no disk space.
#include <gtest/gtest.h>

#include "tests/archive/unzipper_test_fixture.h"

namespace archive_test {
namespace {

std::string Local(const std::string& name, const std::string& data) {
  uint32_t crc = archive_test::CrcOf(data);
  return "PK\x03\x04" + Le16(20) + Le16(0) + Le16(0) + Le32(0x5A8C6000) + Le32(crc) +
         Le32(uint32_t(data.size())) + Le32(uint32_t(data.size())) + Le16(uint16_t(name.size())) +
         Le16(0) + name + data;
}

std::string Central(const std::string& name, const std::string& data, uint32_t offset) {
  uint32_t crc = archive_test::CrcOf(data);
  return "PK\x01\x02" + Le16(20) + Le16(20) + Le16(0) + Le16(0) + Le32(0x5A8C6000) + Le32(crc) +
         Le32(uint32_t(data.size())) + Le32(uint32_t(data.size())) + Le16(uint16_t(name.size())) +
         Le16(0) + Le16(0) + Le16(0) + Le16(0) + Le32(0x20) + Le32(offset) + name;
}

TEST_F(UnZipperTest, MembersAndDirectoryPastTheFirst2GB) {
  const uint32_t far = 0x90000000;  // 2.25 GB
  const std::string first = Local("a.txt", "alpha");
  const std::string second = Local("b.txt", "bravo");
  const std::string central = Central("a.txt", "alpha", 0) + Central("b.txt", "bravo", far);
  const uint32_t centralAt = far + uint32_t(second.size());
  const std::string end = std::string("PK\x05\x06", 4) + Le16(0) + Le16(0) + Le16(2) + Le16(2) +
                          Le32(uint32_t(central.size())) + Le32(centralAt) + Le16(0);
  zipPath = temp / "large.zip";
  {
    std::string error;
    auto f = platform::files().Open(zipPath, platform::OpenMode::Create, &error);
    ASSERT_TRUE(f) << error;
    ASSERT_EQ(f->Write(first.data(), int32_t(first.size())), int32_t(first.size()));
    ASSERT_EQ(f->Seek(far, platform::SeekOrigin::Begin), int64_t(far));
    const std::string rest = second + central + end;
    ASSERT_EQ(f->Write(rest.data(), int32_t(rest.size())), int32_t(rest.size()));
  }
  zipper.SetZipName(zipPath);
  zipper.SetDestDir(temp / "out");
  zipper.DoAll = true;
  EXPECT_EQ(zipper.UnZip(), 2);
  EXPECT_EQ(Content("a.txt"), "alpha");
  EXPECT_EQ(Content("b.txt"), "bravo");
  platform::files().DeleteFile(zipPath);
}

}  // namespace
}  // namespace archive_test
