#include "support/string_resource.h"

#include <algorithm>
#include <map>
#include <memory>

#include "platform/platform.h"
#include "support/exceptions.h"
#include "support/format.h"

namespace support {

namespace {

// Resource type of the message tables.
constexpr char kTableType[] = "S_StringTable";

// Messages of the executable's ordinary string table about the tables.
constexpr uint32_t kMsgCannotLoad = 4288;
constexpr uint32_t kMsgCannotLock = 4289;
constexpr uint32_t kMsgNoSuchResource = 4290;

// A message of the executable's string table, or the fallback text when the
// executable lacks it (so the failure is still explained).
std::string SystemMessage(uint32_t id, const char* fallback) {
  std::string text = platform::shell().LoadString(id);
  return text.empty() ? std::string(fallback) : text;
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

struct NoCaseLess {
  bool operator()(const std::string& a, const std::string& b) const {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
      const auto ca = static_cast<unsigned char>(AsciiUpper(a[i]));
      const auto cb = static_cast<unsigned char>(AsciiUpper(b[i]));
      if (ca != cb) return ca < cb;
    }
    return a.size() < b.size();
  }
};

// The program-wide cache: one open table per resource name.
using Cache = std::map<std::string, std::unique_ptr<TS_StringResource>, NoCaseLess>;
Cache& TheCache() {
  static Cache cache;
  return cache;
}

// Size of a record's fixed part: number and length.
constexpr uint32_t kRecordHead = 3;

}  // namespace

TS_StringResource::TS_StringResource(const std::string& resourceName) {
  if (!resourceName.empty()) Open(resourceName);
}

TS_StringResource::~TS_StringResource() { Close(); }

int16_t TS_StringResource::RecordNumber(Record record) {
  return static_cast<int16_t>(record[0] | (record[1] << 8));
}

std::string TS_StringResource::RecordText(Record record) {
  return std::string(reinterpret_cast<const char*>(record + kRecordHead), record[2]);
}

bool TS_StringResource::IsWholeRecord(Record r) const {
  if (locked_ == nullptr || r == nullptr || r < locked_) return false;
  const size_t offset = static_cast<size_t>(r - locked_);
  if (offset + kRecordHead > size_) return false;
  if (RecordNumber(r) == 0) return false;
  return offset + kRecordHead + r[2] <= size_;
}

TS_StringResource::Record TS_StringResource::NextEntry(Record record) {
  if (!IsWholeRecord(record)) return nullptr;
  Record next = record + kRecordHead + record[2];
  return IsWholeRecord(next) ? next : nullptr;
}

TS_StringResource::Record TS_StringResource::FindEntry(int number) {
  for (Record r = IsWholeRecord(locked_) ? locked_ : nullptr; r != nullptr; r = NextEntry(r)) {
    if (RecordNumber(r) == number) return r;
  }
  return nullptr;
}

void TS_StringResource::Open(const std::string& resourceName) {
  Close();
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  switch (platform::shell().FindResource(kTableType, resourceName, data, size)) {
    case platform::ResourceStatus::NotFound:
      throw Exception(
          Format(SystemMessage(kMsgNoSuchResource, "No such string resource: %s"), {resourceName}));
    case platform::ResourceStatus::LoadFailed:
      throw EOutOfResources(SystemMessage(kMsgCannotLoad, "Cannot load string resource"));
    case platform::ResourceStatus::LockFailed:
      // Loaded, but Lock will fail.
      loaded_ = true;
      lockable_ = false;
      return;
    case platform::ResourceStatus::Ok:
      break;
  }
  loaded_ = true;
  lockable_ = data != nullptr;
  data_ = data;
  size_ = data ? size : 0;
}

void TS_StringResource::Close() {
  if (locked_ != nullptr) Unlock();
  loaded_ = false;
  lockable_ = false;
  data_ = nullptr;
  size_ = 0;
}

void TS_StringResource::Lock() {
  if (!loaded_ || !lockable_) {
    throw EOutOfResources(SystemMessage(kMsgCannotLock, "Cannot lock string resource"));
  }
  locked_ = data_;
}

void TS_StringResource::Unlock() { locked_ = nullptr; }

std::string TS_StringResource::GetString(int number) {
  Lock();
  struct Unlocker {
    TS_StringResource* self;
    ~Unlocker() { self->Unlock(); }
  } unlocker{this};
  const Record r = FindEntry(number);
  return r ? RecordText(r) : std::string();
}

std::string GetResourceString(const std::string& resourceName, int number) {
  Cache& cache = TheCache();
  auto it = cache.find(resourceName);
  if (it == cache.end()) {
    auto table = std::make_unique<TS_StringResource>(resourceName);
    it = cache.emplace(resourceName, std::move(table)).first;
  }
  return it->second->GetString(number);
}

}  // namespace support
