#include "installer/install_log.h"

#include <set>

#include "installer/inst_f3.h"
#include "installer/run_failure.h"
#include "platform/platform.h"

namespace installer {

namespace {

std::string ReadWholeFile(const std::string& path) {
  auto& files = platform::files();
  auto file = files.Open(path, platform::OpenMode::ReadShareRead, nullptr);
  if (!file) throw ReadFailure(path, files.LastError());
  return platform::ReadToEnd(*file);
}

// Writes a file in full and has the system put it on the disk; a file that
// could not be written whole does not stay. Failures name the file it
// stands for.
void WriteWholeFile(const std::string& path, const std::string& bytes, const std::string& shown) {
  auto& files = platform::files();
  auto file = files.Open(path, platform::OpenMode::Create, nullptr);
  if (!file) throw CreateFileFailure(shown, files.LastError());
  const int32_t size = static_cast<int32_t>(bytes.size());
  if ((size > 0 && file->Write(bytes.data(), size) != size) || !file->Flush()) {
    const platform::FileError error = files.LastError();
    file.reset();
    files.DeleteFile(path);
    throw WriteFailure(shown, error);
  }
}

}  // namespace

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
      ++end;
    start = end + 1;
  }
  return lines;
}

bool HasHeaderLine(const std::string& log) {
  const size_t end = log.find_first_of("\r\n");
  return end != std::string::npos && end > 0 && log[end - 1] == '|';
}

void WriteInstallLog(const std::string& path, const std::vector<std::string>& installList,
                     const LogSwap& swap) {
  auto& files = platform::files();
  std::vector<std::string> lines = installList;
  if (files.FileExists(path)) {
    const std::string earlier = ReadWholeFile(path);
    // A file without the header line is not a log an installation wrote
    // in full: the new log takes its place.
    if (HasHeaderLine(earlier)) {
      lines = SplitLines(earlier);
      auto& text = platform::text();
      std::set<std::string> known;
      for (const std::string& line : lines) known.insert(text.UpperCase(line));
      for (size_t i = 1; i < installList.size(); ++i) {
        if (known.insert(text.UpperCase(installList[i])).second) lines.push_back(installList[i]);
      }
    }
  }
  std::string bytes;
  for (const std::string& line : lines) bytes += line + "\r\n";

  // The log is written beside its place and replaces the earlier one in one
  // step: whatever fails, there is the earlier log or the new one, whole.
  const std::string written = path + ".new";
  WriteWholeFile(written, bytes, path);
  const uint32_t attributes = files.GetAttributes(path);
  const bool readOnly =
      attributes != platform::kInvalidAttributes && (attributes & platform::kAttrReadOnly);
  if (readOnly) files.SetAttributes(path, attributes & ~platform::kAttrReadOnly);
  if (!(swap ? swap(written, path) : files.ReplaceFile(written, path))) {
    const platform::FileError error = files.LastError();
    files.DeleteFile(written);
    if (readOnly) files.SetAttributes(path, attributes);
    throw WriteFailure(path, error);
  }
}

}  // namespace installer
