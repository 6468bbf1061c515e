// The bookkeeping behind the in-memory files: path lookup, sharing modes,
// error texts and MS-DOS times.
#include "platform/memory/memory_tree.h"

#include <cctype>
#include <cstring>
#include <ctime>
#include <string_view>

#include "platform/codepage.h"
#include "platform/dos_fields.h"

namespace platform::memory {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The volume of a path and where its parts begin.
std::string VolumeOf(const std::string& path, size_t& start) {
  start = 0;
  if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
    start = 2;
    return std::string(1, static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])))) +
           ":";
  }
  if (path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    size_t end = path.find_first_of("\\/", 2);
    if (end != std::string::npos) end = path.find_first_of("\\/", end + 1);
    start = end == std::string::npos ? path.size() : end;
    std::string share = codepage::UpperCase(path.substr(2, start - 2));
    for (char& c : share) {
      if (c == '/') c = '\\';
    }
    return "unc:" + share;
  }
  if (!path.empty() && path[0] == '/') return "/";
  if (!path.empty() && path[0] == '\\') return "c:";  // the root of the current drive
  return ".";                                         // relative: one more volume of its own
}

}  // namespace

Place Locate(Tree& tree, const std::string& path) {
  Place place;
  if (path.empty()) return place;
  size_t start = 0;
  place.volume = VolumeOf(path, start);
  std::vector<std::string_view> given;  // the parts as spelled, inside path
  while (start < path.size()) {
    size_t end = path.find_first_of("\\/", start);
    if (end == std::string::npos) end = path.size();
    const std::string_view part = std::string_view(path).substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!given.empty()) given.pop_back(), place.parts.pop_back();
      continue;
    }
    given.push_back(part);
    place.parts.push_back(codepage::UpperCase(std::string(part)));
  }
  Folder* folder = &tree.volumes[place.volume];
  if (place.parts.empty()) {
    place.folder = folder;
    return place;
  }
  place.name = std::string(given.back());
  for (size_t i = 0; i + 1 < place.parts.size(); ++i) {
    auto it = folder->entries.find(place.parts[i]);
    if (it == folder->entries.end() || !it->second.folder) return place;
    folder = it->second.folder.get();
  }
  place.parent = folder;
  auto it = folder->entries.find(place.parts.back());
  if (it != folder->entries.end()) {
    place.entry = &it->second;
    place.folder = it->second.folder.get();
  }
  return place;
}

bool Within(const Place& inner, const Place& outer) {
  if (inner.volume != outer.volume || inner.parts.size() < outer.parts.size()) return false;
  for (size_t i = 0; i < outer.parts.size(); ++i) {
    if (inner.parts[i] != outer.parts[i]) return false;
  }
  return true;
}

bool ValidNewPath(const std::string& path) {
  const bool drive =
      path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
  for (size_t i = drive ? 2 : 0; i < path.size(); ++i) {
    const auto c = static_cast<unsigned char>(path[i]);
    if (c < 0x20 || std::strchr("<>:\"|?*", c) != nullptr) return false;
  }
  return true;
}

FileError& LastFailure() {
  thread_local FileError failure;
  return failure;
}

bool Fail(const char* text) {
  LastFailure().text = text;
  LastFailure().diskFull = text == kDiskFull;
  return false;
}

bool FailMissing(const Place& place) {
  return Fail(place.parent || place.folder ? kNotFound : kPathNotFound);
}

uint32_t AttributesOf(const FileData& file) {
  const uint32_t a = file.attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive);
  return a == 0 ? kAttrNormal : a;
}

uint32_t AttributesOf(const Folder& folder) { return kAttrDirectory | folder.attributes; }

bool SharingAllows(const FileData& file, uint32_t access, uint32_t share) {
  for (const OpenRecord& h : file.open) {
    if ((access & kAccessRead) && !(h.share & kShareRead)) return false;
    if ((access & kAccessWrite) && !(h.share & kShareWrite)) return false;
    if ((h.access & kAccessRead) && !(share & kShareRead)) return false;
    if ((h.access & kAccessWrite) && !(share & kShareWrite)) return false;
  }
  return true;
}

bool DeletionAllowed(const FileData& file) {
  for (const OpenRecord& h : file.open) {
    if (!(h.share & kShareDelete)) return false;
  }
  return true;
}

uint32_t DosNow() {
  // Asked for every file made: the local time is worked out once a second.
  thread_local time_t last = -1;
  thread_local uint32_t stamp = 0;
  const time_t now = std::time(nullptr);
  if (now != last) {
    struct tm tm {};
    const struct tm* local = std::localtime(&now);
    if (local) tm = *local;
    stamp = tm.tm_year >= 80 ? DosOf(tm) : (1u << 21) | (1u << 16);
    last = now;
  }
  return stamp;
}

bool NormalDos(uint32_t dos, uint32_t& out) {
  struct tm tm;
  if (!DosFields(dos, tm)) return false;
  // The calendar's own arithmetic moves "31 February" on to March.
  const time_t t = ::timegm(&tm);
  struct tm back {};
  if (t == static_cast<time_t>(-1) || !::gmtime_r(&t, &back) || back.tm_year > 207) return false;
  out = DosOf(back);
  return true;
}

int64_t TakeRoom(Tree& tree, int64_t count) {
  if (tree.freeBytes < 0) return count;
  const int64_t room = count < tree.freeBytes ? count : tree.freeBytes;
  tree.freeBytes -= room;
  return room;
}

}  // namespace platform::memory
