// The in-memory files: each call looks its paths up in the tree and applies
// the Windows rules the posix platform simulates, with the same error texts.
#include "platform/memory/memory_files.h"

#include "platform/find_mask.h"
#include "platform/memory/memory_tree.h"

namespace platform::memory {

namespace {

using Hold = std::lock_guard<std::recursive_mutex>;

// Takes the place's entry out of its folder.
Entry Detach(Place& place) {
  auto node = place.parent->entries.extract(place.parts.back());
  place.entry = nullptr;
  place.folder = nullptr;
  return std::move(node.mapped());
}

bool ReadOnlyEntry(const Place& place) {
  if (place.IsFile()) return (place.entry->file->attributes & kAttrReadOnly) != 0;
  return place.folder && (place.folder->attributes & kAttrReadOnly) != 0;
}

}  // namespace

MemoryFiles::MemoryFiles() : tree_(std::make_shared<Tree>()) {}
MemoryFiles::~MemoryFiles() = default;

void MemoryFiles::Clear() {
  Hold hold(tree_->lock);
  tree_->volumes.clear();
  tree_->deletions.clear();
  tree_->replacements.clear();
  tree_->freeBytes = -1;
}

void MemoryFiles::SetFreeBytes(int64_t bytes) {
  Hold hold(tree_->lock);
  tree_->freeBytes = bytes;
}

std::vector<std::string> MemoryFiles::ScheduledDeletions() const {
  Hold hold(tree_->lock);
  return tree_->deletions;
}

std::vector<std::pair<std::string, std::string>> MemoryFiles::ScheduledReplacements() const {
  Hold hold(tree_->lock);
  return tree_->replacements;
}

std::unique_ptr<File> MemoryFiles::Open(const std::string& path, OpenMode mode,
                                        std::string* errorText) {
  Hold hold(tree_->lock);
  auto fail = [&](const char* text) -> std::unique_ptr<File> {
    Fail(text);
    if (errorText) *errorText = text;
    return nullptr;
  };
  OpenRecord rec;
  switch (mode) {
    case OpenMode::ReadShareRead:
      rec = {kAccessRead, kShareRead};
      break;
    case OpenMode::ReadExclusive:
      rec = {kAccessRead, 0};
      break;
    case OpenMode::Create:
    case OpenMode::CreateNew:
      rec = {kAccessRead | kAccessWrite, 0};
      break;
    case OpenMode::WriteShared:
    case OpenMode::Append:
      rec = {kAccessWrite, kShareRead | kShareWrite | kShareDelete};
      break;
  }
  const bool creating = Creates(mode) || mode == OpenMode::Append;
  Place place = Locate(*tree_, path);
  if (place.Found() && mode == OpenMode::CreateNew) return fail(kExists);
  if (place.folder) return fail(kAccessDenied);
  if (!place.entry) {
    if (!place.parent) return fail(kPathNotFound);
    if (!creating) return fail(kNotFound);
    if (!ValidNewPath(path)) return fail(kInvalidName);
    Entry entry;
    entry.name = place.name;
    entry.file = std::make_shared<FileData>();
    entry.file->dosTime = DosNow();
    auto file = entry.file;
    place.parent->entries.emplace(place.parts.back(), std::move(entry));
    return MakeHandle(tree_, file, rec, mode == OpenMode::Append);
  }
  FileData& data = *place.entry->file;
  if ((rec.access & kAccessWrite) && (data.attributes & kAttrReadOnly)) return fail(kAccessDenied);
  if (!SharingAllows(data, rec.access, rec.share)) return fail(kSharing);
  if (mode == OpenMode::Create) {
    data.bytes.clear();
    data.attributes = kAttrArchive;  // a created file is plain, with the archive bit
    data.dosTime = DosNow();
  }
  return MakeHandle(tree_, place.entry->file, rec, mode == OpenMode::Append);
}

bool MemoryFiles::FileExists(const std::string& path) {
  Hold hold(tree_->lock);
  return Locate(*tree_, path).IsFile();
}

bool MemoryFiles::DirectoryExists(const std::string& path) {
  Hold hold(tree_->lock);
  return Locate(*tree_, path).folder != nullptr;
}

bool MemoryFiles::CreateDir(const std::string& path) {
  Hold hold(tree_->lock);
  if (!ValidNewPath(path)) return Fail(kInvalidName);
  Place place = Locate(*tree_, path);
  if (place.Found()) return Fail(kExists);
  if (!place.parent) return Fail(kPathNotFound);
  Entry entry;
  entry.name = place.name;
  entry.folder = std::make_unique<Folder>();
  entry.folder->dosTime = DosNow();
  place.parent->entries.emplace(place.parts.back(), std::move(entry));
  return true;
}

bool MemoryFiles::DeleteFile(const std::string& path) {
  Hold hold(tree_->lock);
  Place place = Locate(*tree_, path);
  if (!place.Found()) return FailMissing(place);
  if (!place.IsFile() || ReadOnlyEntry(place)) return Fail(kAccessDenied);
  if (!DeletionAllowed(*place.entry->file)) return Fail(kSharing);
  Detach(place);
  return true;
}

bool MemoryFiles::RemoveDir(const std::string& path) {
  Hold hold(tree_->lock);
  Place place = Locate(*tree_, path);
  if (!place.entry || !place.folder || ReadOnlyEntry(place) || !place.folder->entries.empty())
    return false;
  Detach(place);
  return true;
}

bool MemoryFiles::MoveFile(const std::string& from, const std::string& to) {
  Hold hold(tree_->lock);
  if (!ValidNewPath(to)) return Fail(kInvalidName);
  Place src = Locate(*tree_, from);
  if (!src.entry) return src.folder ? Fail(kAccessDenied) : FailMissing(src);
  Place dst = Locate(*tree_, to);
  if (dst.entry == src.entry) {
    src.entry->name = dst.name;  // the same entry in another letter case: a rename
    return true;
  }
  if (dst.Found()) {
    // A second name of the same file: the rename has nothing to do.
    return dst.IsFile() && src.IsFile() && dst.entry->file == src.entry->file ? true
                                                                              : Fail(kExists);
  }
  if (!dst.parent) return Fail(kPathNotFound);
  if (src.IsFile() && !DeletionAllowed(*src.entry->file)) return Fail(kSharing);
  if (src.volume != dst.volume) {
    // Another volume: MoveFileA copies a file there and deletes the original.
    if (!src.IsFile()) return Fail(kAccessDenied);
    if (!CopyUnlocked(from, to, true)) return false;
    src = Locate(*tree_, from);
    Detach(src);
    return true;
  }
  if (Within(dst, src)) return Fail(kAccessDenied);  // a folder into itself
  Entry entry = Detach(src);
  entry.name = dst.name;
  dst.parent->entries.emplace(dst.parts.back(), std::move(entry));
  return true;
}

bool MemoryFiles::ReplaceFile(const std::string& from, const std::string& to) {
  return Replace(from, to);
}

bool MemoryFiles::MoveOver(const std::string& from, const std::string& to) {
  return Replace(from, to);
}

bool MemoryFiles::Replace(const std::string& from, const std::string& to) {
  Hold hold(tree_->lock);
  if (!ValidNewPath(to)) return Fail(kInvalidName);
  Place src = Locate(*tree_, from);
  Place dst = Locate(*tree_, to);
  if (src.volume != dst.volume) return Fail(kNotSameDevice);
  if (!src.Found()) return FailMissing(src);
  if (!src.IsFile()) return Fail(kAccessDenied);
  if (!DeletionAllowed(*src.entry->file)) return Fail(kSharing);
  if (dst.Found()) {
    if (!dst.IsFile() || ReadOnlyEntry(dst)) return Fail(kAccessDenied);
    if (!DeletionAllowed(*dst.entry->file)) return Fail(kSharing);
    // The same file by either name: the rename has nothing to do.
    if (dst.entry->file == src.entry->file) return true;
    dst.entry->file = src.entry->file;  // the target keeps its name
    Detach(src);
    return true;
  }
  if (!dst.parent) return Fail(kPathNotFound);
  Entry entry = Detach(src);
  entry.name = dst.name;
  dst.parent->entries.emplace(dst.parts.back(), std::move(entry));
  return true;
}

bool MemoryFiles::HardLink(const std::string& existing, const std::string& newName) {
  Hold hold(tree_->lock);
  if (!ValidNewPath(newName)) return Fail(kInvalidName);
  Place src = Locate(*tree_, existing);
  Place dst = Locate(*tree_, newName);
  if (src.volume != dst.volume) return Fail(kNotSameDevice);
  if (!src.Found()) return FailMissing(src);
  if (!src.IsFile()) return Fail(kAccessDenied);
  if (dst.Found()) return Fail(kExists);
  if (!dst.parent) return Fail(kPathNotFound);
  Entry entry;
  entry.name = dst.name;
  entry.file = src.entry->file;
  dst.parent->entries.emplace(dst.parts.back(), std::move(entry));
  return true;
}

bool MemoryFiles::DeleteAtRestart(const std::string& path) {
  Hold hold(tree_->lock);
  Place place = Locate(*tree_, path);
  if (!place.Found()) return FailMissing(place);
  tree_->deletions.push_back(path);
  return true;
}

bool MemoryFiles::ReplaceAtRestart(const std::string& from, const std::string& to) {
  Hold hold(tree_->lock);
  Place place = Locate(*tree_, from);
  if (!place.Found()) return FailMissing(place);
  if (!ValidNewPath(to)) return Fail(kInvalidName);
  tree_->replacements.emplace_back(from, to);
  return true;
}

bool MemoryFiles::CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
  Hold hold(tree_->lock);
  return CopyUnlocked(from, to, failIfExists);
}

bool MemoryFiles::CopyUnlocked(const std::string& from, const std::string& to, bool failIfExists) {
  if (!ValidNewPath(to)) return Fail(kInvalidName);
  Place src = Locate(*tree_, from);
  if (!src.Found()) return FailMissing(src);
  if (!src.IsFile()) return Fail(kAccessDenied);
  Place dst = Locate(*tree_, to);
  const FileData& in = *src.entry->file;
  if (dst.Found()) {
    if (failIfExists) return Fail(kExists);
    if (!dst.IsFile() || ReadOnlyEntry(dst)) return Fail(kAccessDenied);
    if (dst.entry->file == src.entry->file) return Fail(kSharing);
    if (!SharingAllows(*dst.entry->file, kAccessWrite, 0)) return Fail(kSharing);
  } else if (!dst.parent) {
    return Fail(kPathNotFound);
  }
  if (!SharingAllows(in, kAccessRead, kShareRead)) return Fail(kSharing);
  const auto size = static_cast<int64_t>(in.bytes.size());
  if (TakeRoom(*tree_, size) < size) {
    // The copy stops where the disk is full, and what it wrote goes.
    if (dst.Found()) Detach(dst);
    return Fail(kDiskFull);
  }
  // CopyFileA keeps the last-write time and the attributes.
  std::shared_ptr<FileData> out = dst.Found() ? dst.entry->file : std::make_shared<FileData>();
  out->bytes = in.bytes;
  out->attributes = in.attributes;
  out->dosTime = in.dosTime;
  if (!dst.Found()) {
    Entry entry;
    entry.name = dst.name;
    entry.file = out;
    dst.parent->entries.emplace(dst.parts.back(), std::move(entry));
  }
  return true;
}

uint32_t MemoryFiles::GetAttributes(const std::string& path) {
  Hold hold(tree_->lock);
  const Place place = Locate(*tree_, path);
  if (place.folder) return AttributesOf(*place.folder);
  return place.IsFile() ? AttributesOf(*place.entry->file) : kInvalidAttributes;
}

bool MemoryFiles::SetAttributes(const std::string& path, uint32_t attributes) {
  Hold hold(tree_->lock);
  const Place place = Locate(*tree_, path);
  const uint32_t kept = attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive);
  if (place.folder) {
    place.folder->attributes = kept;
  } else if (place.IsFile()) {
    place.entry->file->attributes = kept;
  } else {
    return false;
  }
  return true;
}

bool MemoryFiles::GetDosTime(const std::string& path, uint32_t& dosDateTime) {
  Hold hold(tree_->lock);
  const Place place = Locate(*tree_, path);
  if (place.folder) {
    dosDateTime = place.folder->dosTime;
  } else if (place.IsFile()) {
    dosDateTime = place.entry->file->dosTime;
  } else {
    return false;
  }
  return true;
}

bool MemoryFiles::SetDosTime(const std::string& path, uint32_t dosDateTime) {
  Hold hold(tree_->lock);
  const Place place = Locate(*tree_, path);
  uint32_t stamp = 0;
  if (!place.Found() || ReadOnlyEntry(place) || !NormalDos(dosDateTime, stamp)) return false;
  if (place.folder) {
    place.folder->dosTime = stamp;
    return true;
  }
  FileData& file = *place.entry->file;
  if (!SharingAllows(file, kAccessWrite, kShareRead | kShareWrite | kShareDelete)) return false;
  file.dosTime = stamp;
  return true;
}

std::vector<FindData> MemoryFiles::Enumerate(const std::string& folder, const std::string& mask) {
  Hold hold(tree_->lock);
  std::vector<FindData> result;
  const Place place = Locate(*tree_, folder);
  if (!place.folder) return result;
  for (const auto& [key, entry] : place.folder->entries) {
    if (!MatchesMask(mask, entry.name)) continue;
    FindData d;
    d.name = entry.name;
    if (entry.folder) {
      d.attributes = AttributesOf(*entry.folder);
      d.dosDateTime = entry.folder->dosTime;
    } else {
      d.attributes = AttributesOf(*entry.file);
      d.size = static_cast<int64_t>(entry.file->bytes.size());
      d.dosDateTime = entry.file->dosTime;
    }
    result.push_back(std::move(d));
  }
  return result;
}

std::string MemoryFiles::TempDir() {
  const std::string temp = "C:\\TEMP";
  if (!DirectoryExists(temp)) CreateDir(temp);
  return temp;
}

FileError MemoryFiles::LastError() { return LastFailure(); }

}  // namespace platform::memory
