// Helpers of the archive tests: an in-memory stream, little-endian builders
// of ZIP records, and a user interface that answers from a script.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "archive/zip_stream.h"
#include "platform/platform.h"

namespace archive_test {

class MemoryStream : public archive::ZipStream {
 public:
  explicit MemoryStream(std::string data = {}) : data_(std::move(data)) {}
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, platform::SeekOrigin origin) override;
  int64_t Size() override { return int64_t(data_.size()); }
  bool GetDosTime(uint32_t&) override { return false; }
  const std::string& Data() const { return data_; }
  int reads = 0;  // calls of Read

 private:
  std::string data_;
  int64_t pos_ = 0;
};

std::string Le16(uint16_t v);
std::string Le32(uint32_t v);

struct Member {
  Member(std::string n = {}, std::string d = {}) : name(std::move(n)), data(std::move(d)) {}
  std::string name;
  std::string data;  // stored as is
  uint16_t method = 0;
  uint16_t flags = 0;
  uint32_t dosDateTime = 0x5A8C6000;  // 2025-04-12 12:00:00
  uint32_t crc = 0;                   // 0: computed from data
  uint32_t externalAttributes = 0x20;
  std::string comment;
  std::string extra;
  std::string password;       // not empty: traditional encryption
  int32_t declaredSize = -1;  // uncompressed size to store; -1: data size
};

// A complete single-volume archive: local headers with data, central
// directory, end record with the comment.
std::string BuildZip(const std::vector<Member>& members, const std::string& comment = {},
                     uint32_t* centralOffset = nullptr);

// A raw Deflate stream of stored blocks (at most 65535 bytes each) holding data.
std::string StoredDeflate(const std::string& data);

// The CRC-32 of a whole string, as a member header holds it.
uint32_t CrcOf(const std::string& data);

// A member of method 8 holding text in stored Deflate blocks, with the
// text's CRC and size.
Member Deflated(const std::string& name, const std::string& text);

// Replaces platform::ui() while it lives; records every message box and
// answers them from a queue (an unexpected box fails the test).
class ScriptedUi : public platform::Ui {
 public:
  ScriptedUi();
  ~ScriptedUi() override;
  platform::Button MessageBox(const platform::MessageBoxRequest& request) override;
  bool ChooseFolder(const std::string& title, std::string& folder) override;
  bool OpenFileDialog(const std::string& title, const std::string& filter,
                      std::string& file) override;
  void ProcessMessages() override;
  void SetCursor(platform::Cursor) override {}
  int ShowModal(platform::Form&) override { return 0; }

  std::deque<platform::Button> answers;
  std::vector<platform::MessageBoxRequest> boxes;
  std::vector<std::string> dialogTitles, dialogStarts;
  std::deque<std::string> dialogAnswers;  // empty string: cancel
  int processed = 0;
  std::function<void()> onProcessMessages;
  std::function<void(const platform::MessageBoxRequest&)> onMessageBox;

 private:
  platform::Ui* saved_;
};

// Runs a command through the shell (native tests only); true on exit 0.
bool Run(const std::string& command);

}  // namespace archive_test
