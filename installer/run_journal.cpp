#include "installer/run_journal.h"

#include <cstdio>

#include "archive/crc32.h"

namespace installer {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr int kNames = 99;  // journals of that many runs still to be undone

std::function<void(const char*)>& StepHook() {
  static std::function<void(const char*)> hook;
  return hook;
}

uint32_t LineCrc(const std::string& text) {
  return archive::Crc32Update(0, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

void AppendHex(std::string& out, char c) {
  const auto b = static_cast<unsigned char>(c);
  out += kHexDigits[b >> 4];
  out += kHexDigits[b & 15];
}

std::string Escape(const std::string& field) {
  std::string out;
  for (const char c : field) {
    if (c == '%' || c == '\t' || c == '\r' || c == '\n') {
      out += '%';
      AppendHex(out, c);
    } else {
      out += c;
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The byte that two upper-case hex digits write; false for anything else.
bool HexByte(char hi, char lo, char& out) {
  const int h = HexValue(hi), l = HexValue(lo);
  if (h < 0 || l < 0) return false;
  out = static_cast<char>(h * 16 + l);
  return true;
}

bool Unescape(const std::string& field, std::string& out) {
  out.clear();
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '%') {
      out += field[i];
      continue;
    }
    char byte = 0;
    if (i + 2 >= field.size() || !HexByte(field[i + 1], field[i + 2], byte)) return false;
    out += byte;
    i += 2;
  }
  return true;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    parts.push_back(line.substr(start, tab - start));
    if (tab == std::string::npos) return parts;
    start = tab + 1;
  }
}

std::string Hex8(uint32_t v) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", v);
  return text;
}

// How many fields each kind carries; a record with another count is damaged.
size_t FieldCount(const std::string& kind) {
  using namespace journal;
  if (kind == kHeader || kind == kRoot || kind == kFolder || kind == kStaging || kind == kNew ||
      kind == kDrop || kind == kSpare)
    return 1;
  if (kind == kRun || kind == kReplace || kind == kKey) return 2;
  if (kind == kCommit) return 0;
  return SIZE_MAX;
}

bool ParseLine(const std::string& line, JournalRecord& record) {
  const size_t lastTab = line.rfind('\t');
  if (lastTab == std::string::npos || line.size() - lastTab != 9) return false;
  if (Hex8(LineCrc(line.substr(0, lastTab))) != line.substr(lastTab + 1)) return false;
  std::vector<std::string> parts = SplitTabs(line.substr(0, lastTab));
  record.kind = parts[0];
  if (FieldCount(record.kind) != parts.size() - 1) return false;
  record.fields.assign(parts.size() - 1, std::string());
  for (size_t i = 1; i < parts.size(); ++i) {
    if (!Unescape(parts[i], record.fields[i - 1])) return false;
  }
  return true;
}

}  // namespace

std::string JournalLine(const JournalRecord& record) {
  std::string line = record.kind;
  for (const std::string& field : record.fields) {
    line += '\t';
    line += Escape(field);
  }
  const std::string crc = Hex8(LineCrc(line));
  line += '\t';
  line += crc;
  line += "\r\n";
  return line;
}

JournalText ReadJournal(const std::string& bytes) {
  JournalText text;
  size_t start = 0;
  bool header = false;
  while (start < bytes.size()) {
    const size_t end = bytes.find("\r\n", start);
    JournalRecord record;
    // A line without its end was cut while it was written.
    if (end == std::string::npos || !ParseLine(bytes.substr(start, end - start), record)) break;
    start = end + 2;
    if (!header) {
      if (record.kind != journal::kHeader || record.fields[0] != journal::kVersion) break;
      header = true;
      continue;
    }
    if (record.kind == journal::kCommit) text.committed = true;
    text.records.push_back(std::move(record));
  }
  text.whole = header && start == bytes.size();
  return text;
}

std::string KeyStateField(bool existed, bool hadDefault, const platform::RegistryValue& value) {
  if (!existed) return "absent";
  if (!hadDefault) return "empty";
  std::string field = std::to_string(value.type) + ":";
  for (const char c : value.data) AppendHex(field, c);
  return field;
}

bool ParseKeyState(const std::string& field, bool& existed, bool& hadDefault,
                   platform::RegistryValue& value) {
  existed = field != "absent";
  hadDefault = existed && field != "empty";
  value = platform::RegistryValue();
  if (!hadDefault) return true;
  const size_t colon = field.find(':');
  if (colon == std::string::npos || colon == 0 || colon > 10 || (field.size() - colon) % 2 == 0)
    return false;
  uint64_t type = 0;
  for (size_t i = 0; i < colon; ++i) {
    if (field[i] < '0' || field[i] > '9') return false;
    type = type * 10 + static_cast<uint64_t>(field[i] - '0');
  }
  if (type > 0xFFFFFFFFu) return false;
  value.type = static_cast<uint32_t>(type);
  for (size_t i = colon + 1; i < field.size(); i += 2) {
    char byte = 0;
    if (!HexByte(field[i], field[i + 1], byte)) return false;
    value.data += byte;
  }
  return true;
}

bool TRunJournal::Open(const std::string& folder) {
  auto& files = platform::files();
  for (int n = 1; n <= kNames && !file_; ++n) {
    path_ = folder + "\\setup" + (n == 1 ? "" : std::to_string(n)) + ".journal";
    file_ = files.Open(path_, platform::OpenMode::CreateNew, nullptr);
    if (!file_ && !files.FileExists(path_)) break;  // not a taken name: no other will do
  }
  if (!file_) {
    path_.clear();
    return false;
  }
  Append({journal::kHeader, {journal::kVersion}});
  return true;
}

void TRunJournal::Append(const JournalRecord& record) {
  if (!file_) return;
  const std::string line = JournalLine(record);
  // A short write leaves a cut line, which a reader does not trust; the
  // run goes on, as it would without a journal.
  file_->Write(line.data(), static_cast<int32_t>(line.size()));
  ++unflushed_;
}

void TRunJournal::Checkpoint() {
  if (unflushed_ >= kBatch) Flush();
}

void TRunJournal::Flush() {
  if (!file_ || unflushed_ == 0) return;
  file_->Flush();
  unflushed_ = 0;
}

void TRunJournal::Commit() {
  Append({journal::kCommit, {}});
  Flush();
}

void TRunJournal::Close() {
  file_.reset();
  unflushed_ = 0;
}

void TRunJournal::Remove() {
  if (!file_) return;
  Close();
  platform::files().DeleteFile(path_);
  path_.clear();
}

void SetJournalStepHook(std::function<void(const char* step)> hook) {
  StepHook() = std::move(hook);
}

void JournalStep(const char* step) {
  if (StepHook()) StepHook()(step);
}

}  // namespace installer
