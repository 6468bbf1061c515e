#include "archive/zip_records.h"

#include <cmath>
#include <cstring>

#include "archive/zip_constants.h"
#include "support/exceptions.h"

namespace archive {

void SkipLocalHeader(ZipStream& stream, int64_t offset, uint8_t (&header)[30]) {
  std::memset(header, 0, sizeof header);
  stream.Seek(offset, platform::SeekOrigin::Begin);
  stream.Read(header, zip::kLocalHeaderSize);
  stream.Seek(
      int64_t(zip::Get16(header + zip::kLocNameLength)) + zip::Get16(header + zip::kLocExtraLength),
      platform::SeekOrigin::Current);
}

// ---------------------------------------------------------------- TZipHeaderInfo

void TZipHeaderInfo::SetDefaults() {
  VersionMadeBy = 20;
  VersionNeeded = 20;
  Flags = 0;
  Method = 8;
  DateTime = 0;
  CRC32 = 0xFFFFFFFF;
  CompressedSize = 0;
  UncompressedSize = 0;
  NameLength = 0;
  ExtraLength = 0;
  CommentLength = 0;
  DiskStart = 0;
  InternalAttributes = 1;
  ExternalAttributes = 32;
  LocalHeaderOffset = 0;
  CentralHeaderPosition = 0;
  FileName.clear();
  Directory.clear();
  Comment.reset();
  Selected = false;
}

void TZipHeaderInfo::Assign(const TZipHeaderInfo& source) {
  if (&source == this) return;
  VersionMadeBy = source.VersionMadeBy;
  VersionNeeded = source.VersionNeeded;
  Flags = source.Flags;
  Method = source.Method;
  DateTime = source.DateTime;
  CRC32 = source.CRC32;
  CompressedSize = source.CompressedSize;
  UncompressedSize = source.UncompressedSize;
  ExtraLength = source.ExtraLength;
  CommentLength = source.CommentLength;
  DiskStart = source.DiskStart;
  InternalAttributes = source.InternalAttributes;
  ExternalAttributes = source.ExternalAttributes;
  LocalHeaderOffset = source.LocalHeaderOffset;
  CentralHeaderPosition = source.CentralHeaderPosition;
  SetFileName(source.FileName);
  SetDirectory(source.Directory);
  NameLength = source.NameLength;
  Selected = source.Selected;
  if (source.CommentLength != 0 && source.Comment) Comment = source.Comment;
}

void TZipHeaderInfo::SetFileName(const std::string& text) {
  if (text == FileName) return;
  FileName = text;
  NameLength = int16_t(Directory.size() + FileName.size());
}

void TZipHeaderInfo::SetDirectory(const std::string& text) {
  std::string value = text;
  if (!value.empty() && value.back() != '\\') value += '\\';
  if (value == Directory) return;
  Directory = value;
  NameLength = int16_t(Directory.size() + FileName.size());
}

void TZipHeaderInfo::SetComment(const std::optional<std::string>& text) {
  Comment = text;
  CommentLength = text ? uint16_t(text->size()) : 0;
}

// ---------------------------------------------------------------- TEndCentral

void TEndCentral::SetDefaults() {
  Signature = 0x06054B50;
  ThisDisk = 0;
  CentralStartDisk = 0;
  EntriesThisDisk = 0;
  TotalEntries = 0;
  CentralSize = 0;
  CentralOffset = 0;
  CommentLength = 0;
  Comment.reset();
  CommentPosition = 0;
}

void TEndCentral::Assign(const TEndCentral& source) {
  if (&source == this) return;
  Signature = source.Signature;
  ThisDisk = source.ThisDisk;
  CentralStartDisk = source.CentralStartDisk;
  EntriesThisDisk = source.EntriesThisDisk;
  TotalEntries = source.TotalEntries;
  CentralSize = source.CentralSize;
  CentralOffset = source.CentralOffset;
  CommentLength = source.CommentLength;
  CommentPosition = source.CommentPosition;
  if (source.Comment) Comment = source.Comment;
}

// ---------------------------------------------------------------- helpers

uint32_t RepairStamp(uint32_t v) {
  int hour = (v >> 11) & 0x1F, minute = (v >> 5) & 0x3F, second = 2 * (v & 0x1F);
  int year = 1980 + int((v >> 25) & 0x7F), month = (v >> 21) & 0x0F, day = (v >> 16) & 0x1F;
  bool clamped = false;
  auto clamp = [&clamped](int& x, int lo, int hi) {
    if (x < lo) x = lo, clamped = true;
    if (x > hi) x = hi, clamped = true;
  };
  clamp(hour, 0, 24);
  clamp(minute, 0, 59);
  clamp(second, 0, 59);
  clamp(year, 1980, 2099);
  clamp(month, 1, 12);
  clamp(day, 1, 31);
  if (!clamped) return v;
  uint32_t time = uint32_t(hour << 11 | minute << 5 | second / 2);
  uint32_t date = uint32_t((year - 1980) << 9 | month << 5 | day);
  return date << 16 | time;
}

int64_t DosDateTimeToSeconds(uint32_t v) {
  int hour = (v >> 11) & 0x1F, minute = (v >> 5) & 0x3F, second = 2 * (v & 0x1F);
  int year = 1980 + int((v >> 25) & 0x7F), month = (v >> 21) & 0x0F, day = (v >> 16) & 0x1F;
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (month < 1 || month > 12 || day < 1) return 0;
  if (day > kDays[month - 1] + (month == 2 && leap ? 1 : 0)) return 0;
  if (hour > 23 || minute > 59 || second > 59) return 0;
  int64_t days = 0;
  for (int y = 1980; y < year; ++y)
    days += ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0) ? 366 : 365;
  for (int m = 1; m < month; ++m) days += kDays[m - 1] + (m == 2 && leap ? 1 : 0);
  days += day - 1;
  return days * 86400 + hour * 3600 + minute * 60 + second;
}

namespace {

// Windows opens a device, not a file, for these names in any folder and with
// any extension ("nul.txt", "Com1 .log"): data written there is lost or goes
// to a port, so such a component gets a "_" in front and stays a file.
bool IsDeviceName(const std::string& part) {
  std::string base = part.substr(0, part.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base)
    if (c >= 'a' && c <= 'z') c = char(c - 32);
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (const char* device : kDevices)
    if (base == device) return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         base[3] >= '1' && base[3] <= '9';
}

}  // namespace

std::string ConvertStoredName(const std::string& stored, bool utf8) {
  std::string name = stored;
  for (char& c : name)
    if (c == '/') c = '\\';
  name = utf8 ? platform::text().Utf8ToAnsi(name) : platform::text().OemToAnsi(name);

  bool isFolder = !name.empty() && (name.back() == '\\');
  std::string safe;
  size_t i = 0;
  while (i <= name.size()) {
    size_t end = name.find('\\', i);
    if (end == std::string::npos) end = name.size();
    std::string part = name.substr(i, end - i);
    // A drive prefix ("C:") anywhere would let the folder rule leave the
    // destination (a directory whose second character is ":" counts as a
    // drive, and "C:x" without a "\" lands beside the destination folder).
    while (part.size() >= 2 && part[1] == ':') part.erase(0, 2);
    // Windows drops trailing dots and blanks of a component, so "..", ". ."
    // and "..." all climb like "..": only dots and blanks means no name.
    if (part.find_first_not_of(". ") != std::string::npos) {
      if (!safe.empty()) safe += '\\';
      if (IsDeviceName(part)) safe += '_';
      safe += part;
    }
    i = end + 1;
  }
  if (isFolder && !safe.empty()) safe += '\\';
  return safe;
}

void SplitName(const std::string& name, std::string& directory, std::string& fileName) {
  size_t cut = name.find_last_of("\\:");
  if (cut == std::string::npos) {
    directory.clear();
    fileName = name;
  } else {
    directory = name.substr(0, cut + 1);
    fileName = name.substr(cut + 1);
  }
}

int CompareAsciiNoCase(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = uint8_t(a[i]), y = uint8_t(b[i]);
    if (x >= 'a' && x <= 'z') x = uint8_t(x - 32);
    if (y >= 'a' && y <= 'z') y = uint8_t(y - 32);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

// ---------------------------------------------------------------- TSortedZip

namespace {

int Rate(const TZipHeaderInfo& r) {
  if (r.UncompressedSize <= 0) return 0;
  double rate = std::nearbyint(double(r.CompressedSize) * 100.0 / double(r.UncompressedSize));
  return rate > 100 ? 100 : int(rate);
}

}  // namespace

int TSortedZip::Compare(const void* key1, const void* key2) {
  const auto& e = *static_cast<const TZipHeaderInfo*>(static_cast<const support::TObject*>(key1));
  const auto& k = *static_cast<const TZipHeaderInfo*>(static_cast<const support::TObject*>(key2));
  switch (SortMode) {
    case ByName:
      return CompareAsciiNoCase(e.Directory + e.FileName, k.Directory + k.FileName);
    case ByFileName:
      return CompareAsciiNoCase(e.FileName, k.FileName);
    case ByDirectoryName:
      return CompareAsciiNoCase(e.Directory, k.Directory);
    case ByDate:
      return DosDateTimeToSeconds(k.DateTime) > DosDateTimeToSeconds(e.DateTime) ? 1 : -1;
    case ByCompressedSize:
      return int64_t(k.CompressedSize) - e.CompressedSize > 0 ? 1 : -1;
    case ByUnCompressedSize:
      return int64_t(k.UncompressedSize) - e.UncompressedSize > 0 ? 1 : -1;
    case ByRate:
      return Rate(k) - Rate(e);
    case ByNone:
      if (e.DiskStart != k.DiskStart) return int(e.DiskStart) - int(k.DiskStart);
      if (int32_t(k.LocalHeaderOffset) < int32_t(e.LocalHeaderOffset)) return 1;
      return k.LocalHeaderOffset == e.LocalHeaderOffset ? 0 : -1;
  }
  return -1;
}

void TSortedZip::AddRecord(TZipHeaderInfo* record) {
  int index;
  try {
    index = Add(record);
  } catch (...) {
    if (OwnsItems()) delete record;
    throw;
  }
  if (index < 0 && OwnsItems()) delete record;
}

}  // namespace archive
