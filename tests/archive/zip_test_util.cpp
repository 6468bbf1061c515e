#include "zip_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "archive/crc32.h"
#include "archive/zip_crypto.h"

namespace archive_test {

int32_t MemoryStream::Read(void* buffer, int32_t count) {
  ++reads;
  int64_t n = std::max<int64_t>(0, std::min<int64_t>(count, Size() - pos_));
  std::memcpy(buffer, data_.data() + pos_, size_t(n));
  pos_ += n;
  return int32_t(n);
}

int32_t MemoryStream::Write(const void* buffer, int32_t count) {
  if (pos_ + count > Size()) data_.resize(size_t(pos_ + count));
  std::memcpy(data_.data() + pos_, buffer, size_t(count));
  pos_ += count;
  return count;
}

int64_t MemoryStream::Seek(int64_t offset, platform::SeekOrigin origin) {
  if (origin == platform::SeekOrigin::Current) offset += pos_;
  if (origin == platform::SeekOrigin::End) offset = Size() - (offset < 0 ? -offset : offset);
  pos_ = std::max<int64_t>(0, offset);
  return pos_;
}

std::string Le16(uint16_t v) { return std::string{char(v & 0xFF), char(v >> 8)}; }
std::string Le32(uint32_t v) { return Le16(uint16_t(v & 0xFFFF)) + Le16(uint16_t(v >> 16)); }

std::string BuildZip(const std::vector<Member>& members, const std::string& comment,
                     uint32_t* centralOffset) {
  std::string out, central;
  for (const Member& m : members) {
    uint32_t crc = m.crc;
    if (crc == 0 && !m.data.empty()) crc = CrcOf(m.data);
    uint32_t offset = uint32_t(out.size());
    std::string data = m.data;
    uint16_t flags = m.flags;
    if (!m.password.empty()) {
      flags |= 1;
      std::string plain = "0123456789AB" + data;
      plain[11] = char((flags & 8) ? (m.dosDateTime >> 8) & 0xFF : crc >> 24);
      archive::ZipCrypto keys;
      keys.InitKeys(m.password);
      data.clear();
      for (char c : plain) {
        data += char(uint8_t(c) ^ keys.DecryptByte());
        keys.UpdateKeys(uint8_t(c));
      }
    }
    uint32_t usize = m.declaredSize >= 0 ? uint32_t(m.declaredSize) : uint32_t(m.data.size());
    std::string fixed = Le16(flags) + Le16(m.method) + Le32(m.dosDateTime) + Le32(crc) +
                        Le32(uint32_t(data.size())) + Le32(usize) + Le16(uint16_t(m.name.size()));
    out +=
        "PK\x03\x04" + Le16(20) + fixed + Le16(uint16_t(m.extra.size())) + m.name + m.extra + data;
    central += "PK\x01\x02" + Le16(20) + Le16(20) + fixed + Le16(uint16_t(m.extra.size())) +
               Le16(uint16_t(m.comment.size())) + Le16(0) + Le16(0) + Le32(m.externalAttributes) +
               Le32(offset) + m.name + m.extra + m.comment;
  }
  uint32_t cd = uint32_t(out.size());
  if (centralOffset) *centralOffset = cd;
  out += central;
  out += std::string("PK\x05\x06", 4) + Le16(0) + Le16(0) + Le16(uint16_t(members.size())) +
         Le16(uint16_t(members.size())) + Le32(uint32_t(central.size())) + Le32(cd) +
         Le16(uint16_t(comment.size())) + comment;
  return out;
}

std::string StoredDeflate(const std::string& data) {
  std::string out;
  size_t pos = 0;
  do {
    size_t n = std::min<size_t>(65535, data.size() - pos);
    bool last = pos + n == data.size();
    out += char(last ? 1 : 0);
    out += Le16(uint16_t(n));
    out += Le16(uint16_t(~n));
    out += data.substr(pos, n);
    pos += n;
  } while (pos < data.size());
  return out;
}

uint32_t CrcOf(const std::string& data) {
  return ~archive::Crc32Update(0xFFFFFFFF, reinterpret_cast<const uint8_t*>(data.data()),
                               data.size());
}

Member Deflated(const std::string& name, const std::string& text) {
  Member m(name, StoredDeflate(text));
  m.method = 8;
  m.crc = CrcOf(text);
  m.declaredSize = int32_t(text.size());
  return m;
}

ScriptedUi::ScriptedUi() : saved_(platform::Current().ui) { platform::Current().ui = this; }
ScriptedUi::~ScriptedUi() { platform::Current().ui = saved_; }

platform::Button ScriptedUi::MessageBox(const platform::MessageBoxRequest& request) {
  boxes.push_back(request);
  if (onMessageBox) onMessageBox(request);
  if (answers.empty()) {
    ADD_FAILURE() << "unexpected message box: " << request.text;
    return platform::kButtonCancel;
  }
  platform::Button b = answers.front();
  answers.pop_front();
  return b;
}

bool ScriptedUi::ChooseFolder(const std::string& title, std::string& folder) {
  dialogTitles.push_back(title);
  dialogStarts.push_back(folder);
  if (dialogAnswers.empty() || dialogAnswers.front().empty()) {
    if (!dialogAnswers.empty()) dialogAnswers.pop_front();
    return false;
  }
  folder = dialogAnswers.front();
  dialogAnswers.pop_front();
  return true;
}

bool ScriptedUi::OpenFileDialog(const std::string& title, const std::string&, std::string& file) {
  return ChooseFolder(title, file);
}

void ScriptedUi::ProcessMessages() {
  ++processed;
  if (onProcessMessages) onProcessMessages();
}

bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

}  // namespace archive_test
