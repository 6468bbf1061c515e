// Paths for tests that work alike in the native build (posix platform) and in
// the Win32 build under Wine.
#pragma once

#include <string>

namespace testing_support {

// A path of the shared test data folder, as the platform of this build
// understands it. rel uses "/" separators.
std::string TestDataPath(const std::string& rel);

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
