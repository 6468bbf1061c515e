// A Files implementation, and a File, that hand every call to another one.
// Test doubles derive from them and override only the calls they change.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace testing_support {

class ForwardingFile : public platform::File {
 public:
  explicit ForwardingFile(std::unique_ptr<platform::File> real) : real_(std::move(real)) {}
  int32_t Read(void* b, int32_t n) override { return real_->Read(b, n); }
  int32_t Write(const void* b, int32_t n) override { return real_->Write(b, n); }
  int64_t Seek(int64_t o, platform::SeekOrigin s) override { return real_->Seek(o, s); }
  int64_t Size() override { return real_->Size(); }
  bool GetDosTime(uint32_t& t) override { return real_->GetDosTime(t); }
  bool SetDosTime(uint32_t t) override { return real_->SetDosTime(t); }
  bool SetAttributes(uint32_t a) override { return real_->SetAttributes(a); }
  bool Flush() override { return real_->Flush(); }

 protected:
  std::unique_ptr<platform::File> real_;
};

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
  bool MoveOver(const std::string& from, const std::string& to) override {
    return real_.MoveOver(from, to);
  }
  bool HardLink(const std::string& existing, const std::string& newName) override {
    return real_.HardLink(existing, newName);
  }
  bool DeleteAtRestart(const std::string& path) override { return real_.DeleteAtRestart(path); }
  bool ReplaceAtRestart(const std::string& from, const std::string& to) override {
    return real_.ReplaceAtRestart(from, to);
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
