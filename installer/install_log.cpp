#include "installer/install_log.h"

#include <set>

#include "installer/inst_f3.h"
#include "platform/platform.h"
#include "support/exceptions.h"

namespace installer {

namespace {

std::string ReadWholeFile(const std::string& path) {
  std::string error;
  auto file = platform::files().Open(path, platform::OpenMode::ReadShareRead, &error);
  if (!file) throw support::EFOpenError("Cannot open file \"" + path + "\". " + error);
  std::string bytes;
  char buffer[4096];
  for (;;) {
    const int32_t n = file->Read(buffer, sizeof buffer);
    if (n <= 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  return bytes;
}

void WriteLines(const std::string& path, const std::vector<std::string>& lines) {
  std::string bytes;
  for (const std::string& line : lines) bytes += line + "\r\n";
  std::string error;
  auto file = platform::files().Open(path, platform::OpenMode::Create, &error);
  if (!file) throw support::EFCreateError("Cannot create file \"" + path + "\". " + error);
  const int32_t size = static_cast<int32_t>(bytes.size());
  if (size > 0 && file->Write(bytes.data(), size) != size)
    throw support::EWriteError("Stream write error");
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

void WriteInstallLog(const std::string& path, const std::vector<std::string>& installList) {
  if (!platform::files().FileExists(path)) {
    WriteLines(path, installList);
    return;
  }
  ClearReadOnly(path);
  std::vector<std::string> lines = SplitLines(ReadWholeFile(path));
  auto& text = platform::text();
  std::set<std::string> known;
  for (const std::string& line : lines) known.insert(text.UpperCase(line));
  for (size_t i = 1; i < installList.size(); ++i) {
    if (known.insert(text.UpperCase(installList[i])).second) lines.push_back(installList[i]);
  }
  // The earlier log lists what earlier installations put in place: it is
  // replaced only once the merged log has been written in full.
  auto& files = platform::files();
  const std::string merged = path + ".new";
  WriteLines(merged, lines);
  if (!files.DeleteFile(path) || !files.MoveFile(merged, path)) {
    files.DeleteFile(merged);
    throw support::EFCreateError("Cannot create file \"" + path + "\".");
  }
}

}  // namespace installer
