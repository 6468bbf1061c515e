// The machine of the fuzz targets that write files: the posix platform's
// registry, shell and text with the in-memory files in place of real ones
// (fast, and nothing left on the disk), and snapshots of a folder tree to
// compare before and after.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "platform/memory/memory_files.h"
#include "platform/platform.h"

namespace fuzz_support {

// Installs the platform once, and the in-memory files, emptied, at each
// call (the regression test runs several targets in one process). A user
// interface the target set up before its first call stays: the default one
// answers every retry box with "retry", and a held file would then be
// retried for ever.
inline platform::memory::MemoryFiles& MemoryMachine() {
  static platform::memory::MemoryFiles* files = [] {
    platform::Ui* ui = platform::Current().ui;
    platform::InstallDefault();
    if (ui) platform::Current().ui = ui;
    static platform::memory::MemoryFiles memory;
    return &memory;
  }();
  files->Clear();
  platform::Current().files = files;
  return *files;
}

// Empties the in-memory files when a run ends, however it ends: the run
// then frees what it allocated, and libFuzzer, which runs an input a second
// time to look for a leak whenever a run allocated more than it freed, runs
// it once.
struct ClearFilesAtEnd {
  ~ClearFilesAtEnd() { MemoryMachine(); }
};

// Every file and folder below folder (upper-case path -> what it is: its
// name as spelled, bytes, attributes and time of a file; attributes of a
// folder).
using TreeSnapshot = std::map<std::string, std::string>;

inline void Snapshot(const std::string& folder, TreeSnapshot& out) {
  auto& files = platform::files();
  for (const auto& e : files.Enumerate(folder, "*")) {
    const std::string path = folder + "\\" + e.name;
    std::string key = platform::text().UpperCase(path);
    std::string what = std::to_string(e.attributes) + " " + e.name;
    if (e.attributes & platform::kAttrDirectory) {
      out[key] = what;
      Snapshot(path, out);
      continue;
    }
    what += " " + std::to_string(e.dosDateTime) + " ";
    if (auto f = files.Open(path, platform::OpenMode::ReadShareRead, nullptr))
      what += platform::ReadToEnd(*f);
    out[key] = what;
  }
}

inline TreeSnapshot Snapshot(const std::string& folder) {
  TreeSnapshot out;
  Snapshot(folder, out);
  return out;
}

// Ends the run on a broken invariant, saying which and where.
[[noreturn]] inline void Violated(const char* invariant, const std::string& where = "") {
  std::fprintf(stderr, "invariant broken: %s %s\n", invariant, where.c_str());
  __builtin_trap();
}

// The entries that differ between two snapshots.
inline std::vector<std::string> Differences(const TreeSnapshot& a, const TreeSnapshot& b) {
  std::vector<std::string> out;
  for (const auto& [path, what] : a) {
    auto it = b.find(path);
    if (it == b.end() || it->second != what) out.push_back(path);
  }
  for (const auto& [path, what] : b) {
    if (!a.count(path)) out.push_back(path);
  }
  return out;
}

// Whether upper-case path is folder or lies inside it (folder in any case).
inline bool Inside(const std::string& path, const std::string& folder) {
  const std::string f = platform::text().UpperCase(folder);
  return path == f ||
         (path.size() > f.size() && path.compare(0, f.size(), f) == 0 && path[f.size()] == '\\');
}

// Writes a file, and the folders on its way; attributes 0 leaves the new
// file's own.
inline void Put(const std::string& path, const std::string& bytes, uint32_t attributes = 0) {
  auto& files = platform::files();
  files.ForceDirectories(path.substr(0, path.rfind('\\')));
  auto f = files.Open(path, platform::OpenMode::Create, nullptr);
  if (!f || f->Write(bytes.data(), int32_t(bytes.size())) != int32_t(bytes.size()))
    __builtin_trap();
  f.reset();
  if (attributes) files.SetAttributes(path, attributes);
}

}  // namespace fuzz_support
