// A fixture for unzip component tests: a temporary folder, an archive written
// into it, and a log of every event the component fires.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/unzipper.h"
#include "tests/common/test_paths.h"
#include "zip_test_util.h"

namespace archive_test {

class UnZipperTest : public ::testing::Test {
 protected:
  // Writes bytes as an archive in the temporary folder and points the
  // component at it; DestDir is the folder's "out".
  void UseArchive(const std::string& bytes, const std::string& name = "test.zip") {
    zipPath = temp / name;
    ASSERT_TRUE(testing_support::WriteFileBytes(zipPath, bytes));
    zipper.SetZipName(zipPath);
    zipper.SetDestDir(temp / "out");
  }

  void LogEvents() {
    using namespace archive;
    zipper.OnStartUnZipInfo = [this](TUnZipper*, int n, int64_t total, bool&) {
      log.push_back("info " + std::to_string(n) + " " + std::to_string(total));
    };
    zipper.OnStartUnZip = [this](TUnZipper*, int i, const std::string& f, bool&) {
      log.push_back("start " + std::to_string(i) + " " + Rel(f));
    };
    zipper.OnEndUnZip = [this](TUnZipper*, int i, const std::string& f) {
      log.push_back("end " + std::to_string(i) + " " + Rel(f));
    };
    zipper.OnFilePercentDone = [this](TUnZipper*, int p) {
      log.push_back("file% " + std::to_string(p));
    };
    zipper.OnTotalPercentDone = [this](TUnZipper*, int p) {
      log.push_back("total% " + std::to_string(p));
    };
    zipper.OnSkippingFile = [this](TUnZipper*, TSkipReason r, const std::string& f, int i) {
      log.push_back("skip " + std::to_string(int(r)) + " " + f + " " + std::to_string(i));
    };
    zipper.OnBadCRC = [this](TUnZipper*, int calc, int stored, int i) {
      char text[64];
      std::snprintf(text, sizeof text, "badcrc %08X %08X %d", unsigned(calc), unsigned(stored), i);
      log.push_back(text);
    };
  }

  // A path below DestDir without the DestDir part.
  std::string Rel(const std::string& path) const {
    std::string out = temp / "out";
    return path.compare(0, out.size(), out) == 0 ? path.substr(out.size()) : path;
  }

  std::string Out(const std::string& rel) const { return temp / ("out\\" + rel); }
  bool Exists(const std::string& rel) const { return platform::files().FileExists(Out(rel)); }
  std::string Content(const std::string& rel) const {
    std::string bytes;
    testing_support::ReadFileBytes(Out(rel), bytes);
    return bytes;
  }

  testing_support::TempFolder temp;
  archive::TUnZipper zipper;
  std::string zipPath;
  std::vector<std::string> log;
  ScriptedUi ui;
};

}  // namespace archive_test
