#include "tests/common/test_paths.h"

#include <atomic>
#include <chrono>

#include "platform/platform.h"

namespace testing_support {

std::string HostPath(const std::string& linuxPath) {
#ifdef _WIN32
  std::string p = "Z:" + linuxPath;
  for (char& c : p) {
    if (c == '/') c = '\\';
  }
  return p;
#else
  return linuxPath;
#endif
}

std::string TestDataFolder(TestData set) {
  return set == TestData::Shared ? SETUP_TESTDATA_DIR : SETUP_SOURCE_DIR "/tests/data";
}

std::string TestDataPath(const std::string& rel, TestData set) {
  return HostPath(TestDataFolder(set) + "/" + rel);
}

bool TestDataPresent(TestData set) {
  return platform::files().FileExists(TestDataPath("MANIFEST.tsv", set));
}

namespace {
std::atomic<unsigned> counter{0};
}

TempFolder::TempFolder() {
  auto& files = platform::files();
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (;;) {
    path_ = files.TempDir() + "\\setup_test_" + std::to_string(stamp % 1000000007) + "_" +
            std::to_string(counter++);
    if (!files.DirectoryExists(path_) && !files.FileExists(path_)) break;
  }
  files.ForceDirectories(path_);
}

TempFolder::~TempFolder() { RemoveTree(path_); }

void RemoveTree(const std::string& path) {
  auto& files = platform::files();
  for (const auto& e : files.Enumerate(path, "*")) {
    const std::string child = path + "\\" + e.name;
    if (e.attributes & platform::kAttrDirectory) {
      RemoveTree(child);
    } else {
      files.SetAttributes(child, platform::kAttrNormal);
      files.DeleteFile(child);
    }
  }
  files.RemoveDir(path);
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  auto f = platform::files().Open(path, platform::OpenMode::Create, nullptr);
  if (!f) return false;
  return f->Write(bytes.data(), static_cast<int32_t>(bytes.size())) ==
         static_cast<int32_t>(bytes.size());
}

bool ReadFileBytes(const std::string& path, std::string& bytes) {
  auto f = platform::files().Open(path, platform::OpenMode::ReadShareRead, nullptr);
  if (!f) return false;
  const int64_t size = f->Size();
  if (size < 0) return false;
  bytes.resize(static_cast<size_t>(size));
  return size == 0 || f->Read(bytes.data(), static_cast<int32_t>(size)) == size;
}

}  // namespace testing_support
