// A Files implementation that hands every call to another one. Test doubles
// derive from it and override only the calls they change.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace testing_support {

class ForwardingFiles : public platform::Files {
 public:
  explicit ForwardingFiles(platform::Files& real) : real_(real) {}

  std::unique_ptr<platform::File> Open(const std::string& path, platform::OpenMode mode,
                                       std::string* errorText) override {
    return real_.Open(path, mode, errorText);
  }
  bool FileExists(const std::string& path) override { return real_.FileExists(path); }
  bool DirectoryExists(const std::string& path) override { return real_.DirectoryExists(path); }
  bool CreateDir(const std::string& path) override { return real_.CreateDir(path); }
  void ForceDirectories(const std::string& path) override { real_.ForceDirectories(path); }
  bool DeleteFile(const std::string& path) override { return real_.DeleteFile(path); }
  bool RemoveDir(const std::string& path) override { return real_.RemoveDir(path); }
  bool MoveFile(const std::string& from, const std::string& to) override {
    return real_.MoveFile(from, to);
  }
  bool ReplaceFile(const std::string& from, const std::string& to) override {
    return real_.ReplaceFile(from, to);
  }
  bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) override {
    return real_.CopyFile(from, to, failIfExists);
  }
  uint32_t GetAttributes(const std::string& path) override { return real_.GetAttributes(path); }
  bool SetAttributes(const std::string& path, uint32_t a) override {
    return real_.SetAttributes(path, a);
  }
  bool GetDosTime(const std::string& path, uint32_t& t) override {
    return real_.GetDosTime(path, t);
  }
  bool SetDosTime(const std::string& path, uint32_t t) override {
    return real_.SetDosTime(path, t);
  }
  std::vector<platform::FindData> Enumerate(const std::string& folder,
                                            const std::string& mask) override {
    return real_.Enumerate(folder, mask);
  }
  std::string TempDir() override { return real_.TempDir(); }
  platform::FileError LastError() override { return real_.LastError(); }

 protected:
  platform::Files& real_;
};

}  // namespace testing_support
