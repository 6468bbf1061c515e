// The run log's file: lines of installers that share one log, and the time
// stamp with its offset from UTC.
#include "installer/run_log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <functional>

#include "platform/platform.h"
#include "tests/common/forwarding_files.h"
#include "tests/common/test_paths.h"

namespace {

// Files whose handles run a step before each write: another installer's
// line arrives after this one has decided where its own goes.
class InterleavingFiles : public testing_support::ForwardingFiles {
 public:
  using ForwardingFiles::ForwardingFiles;
  std::function<void()> beforeWrite;  // taken by each handle when it is opened

  std::unique_ptr<platform::File> Open(const std::string& path, platform::OpenMode mode,
                                       std::string* errorText) override {
    auto file = real_.Open(path, mode, errorText);
    if (!file || !beforeWrite) return file;
    return std::make_unique<File>(std::move(file), beforeWrite);
  }

 private:
  class File : public testing_support::ForwardingFile {
   public:
    File(std::unique_ptr<platform::File> real, std::function<void()> step)
        : ForwardingFile(std::move(real)), step_(std::move(step)) {}
    int32_t Write(const void* b, int32_t n) override {
      step_();
      return real_->Write(b, n);
    }

   private:
    std::function<void()> step_;
  };
};

TEST(RunLogFile, TwoWritersInterleavingAppendsLoseNoLine) {
  testing_support::TempFolder folder;
  const std::string path = folder / "shared.log";
  ASSERT_TRUE(testing_support::WriteFileBytes(path, "earlier\r\n"));
  InterleavingFiles files(platform::files());
  platform::Files* saved = platform::Current().files;
  platform::Current().files = &files;
  {
    auto other = installer::OpenRunLogFile(path, nullptr);
    ASSERT_TRUE(other);
    int n = 0;
    files.beforeWrite = [&] { other->WriteLine("B" + std::to_string(n++)); };
    auto first = installer::OpenRunLogFile(path, nullptr);
    ASSERT_TRUE(first);
    for (int i = 0; i < 3; ++i) first->WriteLine("A" + std::to_string(i));
  }
  platform::Current().files = saved;
  std::string bytes;
  ASSERT_TRUE(testing_support::ReadFileBytes(path, bytes));
  EXPECT_EQ(bytes, "earlier\r\nB0\r\nA0\r\nB1\r\nA1\r\nB2\r\nA2\r\n");
}

#ifndef _WIN32
// Zones as POSIX TZ strings, which need no time zone database: the offset's
// sign, its half hours, and a local date that is not the UTC one.
TEST(RunLogTime, StampCarriesTheOffsetFromUtc) {
  struct Case {
    const char* tz;
    const char* stamp;  // of 2026-12-10 09:13:55.297 UTC
  };
  const Case cases[] = {
      {"UTC0", "2026-12-10 09:13:55.297 +0000"},     {"MSK-3", "2026-12-10 12:13:55.297 +0300"},
      {"EST5", "2026-12-10 04:13:55.297 -0500"},     {"NST3:30", "2026-12-10 05:43:55.297 -0330"},
      {"IST-5:30", "2026-12-10 14:43:55.297 +0530"}, {"<-12>12", "2026-12-09 21:13:55.297 -1200"},
  };
  const char* before = std::getenv("TZ");
  const std::string saved = before ? before : "";
  for (const Case& c : cases) {
    setenv("TZ", c.tz, 1);
    tzset();
    EXPECT_EQ(installer::RunLogTimeStamp(1796894035297), c.stamp) << c.tz;
  }
  if (before) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}
#endif

}  // namespace
