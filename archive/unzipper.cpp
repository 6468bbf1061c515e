// TUnZipper: construction, properties, opening and closing the archive,
// member access and comments.
#include "archive/unzipper.h"

#include "archive/decode_ahead.h"
#include "archive/read_ahead.h"
#include "archive/zip_constants.h"

namespace archive {

using platform::SeekOrigin;

TUnZipper::TUnZipper() : ReadAhead(TReadAhead::Worthwhile()) {
  OnGetNextDisk = [this](TUnZipper* sender, int nextDisk, std::string& fName) {
    DefaultGetNextDisk(sender, nextDisk, fName);
  };
}

TUnZipper::~TUnZipper() {
  CloseArchive(true);
  view_.reset();
  members_.reset();
}

void TUnZipper::Loaded() {
  thisVersion_ = zip::kComponentVersion;
  if (!OnGetNextDisk)
    OnGetNextDisk = [this](TUnZipper* sender, int nextDisk, std::string& fName) {
      DefaultGetNextDisk(sender, nextDisk, fName);
    };
}

// ---------------------------------------------------------------- setters

void TUnZipper::SetZipName(const std::string& value) {
  if (platform::text().Compare(value, zipName_, true) == 0) return;
  std::string name = value;
  if (!value.empty() && value.back() == '?') {
    std::string folder = value.substr(0, value.size() - 1);
    size_t cut = folder.find_last_of("\\:");
    folder = cut == std::string::npos ? std::string() : folder.substr(0, cut + 1);
    std::string check = folder;
    if (check.size() > 1 && check.back() == '\\' && check[check.size() - 2] != ':')
      check.pop_back();
    if (folder.empty() || !platform::files().DirectoryExists(check)) folder = "C:\\";
    std::string chosen = folder;
    if (!platform::ui().OpenFileDialog(
            "Open a Zip File",
            "Zip Files (*.ZIP)|*.zip|SFX Files (*.EXE)|*.exe|Jar Files (*.JAR)|*.jar|All Files "
            "(*.*)|*.*",
            chosen))
      throw EUserCanceled("User canceled setting zip file name.");
    name = chosen;
  }
  zipName_ = name;
  FreeDirectory();
  timeStamp_ = 0;
  endRecord_.SetDefaults();
  stream_.reset();
  scanned_ = false;
}

void TUnZipper::SetDestDir(const std::string& value) {
  std::string dir = value;
  if (value == "?") {
    std::string start = destDir_;
    // Without a usable folder the chooser starts in the process's current folder.
    if (!platform::files().DirectoryExists(start + "\\")) start.clear();
    if (!platform::ui().ChooseFolder("Select the destination folder", start))
      throw EUserCanceled("User canceled Set Desination Directory");
    dir = start;
  }
  if (!dir.empty() && dir.back() == '\\') dir.pop_back();
  destDir_ = dir;
}

void TUnZipper::SetRootDir(const std::string& value) {
  rootDir_ = value;
  if (!rootDir_.empty() && rootDir_.back() != '\\') rootDir_ += '\\';
}

// ---------------------------------------------------------------- members

void TUnZipper::CheckIndex(int index) const {
  if (index < 0 || index >= MemberCount())
    throw support::EListError("Index " + std::to_string(index) + " is out of range");
}

TZipHeaderInfo* TUnZipper::ViewItem(int index) const {
  CheckIndex(index);
  return (view_ ? view_ : members_)->Get(index);
}

const TZipHeaderInfo& TUnZipper::Member(int index) const { return *ViewItem(index); }

std::string TUnZipper::MemberName(int index) const { return ViewItem(index)->FileName; }

std::string TUnZipper::MemberFullName(int index) const {
  const TZipHeaderInfo* r = ViewItem(index);
  return r->Directory + r->FileName;
}

std::string TUnZipper::LoadMemberComment(TZipHeaderInfo& record) {
  stream_->Seek(record.CentralHeaderPosition, SeekOrigin::Begin);
  TZipHeaderInfo header;
  ZipStream* stream = stream_.get();
  const bool read = header.ReadCentralHeader(stream, nullptr, true);
  record.Comment = read ? header.Comment.value_or(std::string()) : std::string();
  return *record.Comment;
}

std::string TUnZipper::MemberComment(int index) {
  if (index < 0) CheckIndex(index);
  OpenArchive();
  struct Closer {
    TUnZipper* self;
    ~Closer() { self->CloseArchive(); }
  } closer{this};
  TZipHeaderInfo* record = ViewItem(index);
  if (!record->HasComment()) return std::string();
  if (record->Comment) return *record->Comment;
  return LoadMemberComment(*record);
}

void TUnZipper::SetMemberComment(int index, const std::string& text) {
  ViewItem(index)->SetComment(text);
}

std::string TUnZipper::ArchiveComment() {
  OpenArchive();
  struct Closer {
    TUnZipper* self;
    ~Closer() { self->CloseArchive(); }
  } closer{this};
  if (endRecord_.CommentLength == 0) return std::string();
  if (endRecord_.Comment) return *endRecord_.Comment;
  return LoadArchiveComment();
}

std::string TUnZipper::LoadArchiveComment() {
  stream_->Seek(endRecord_.CommentPosition, SeekOrigin::Begin);
  std::string text(endRecord_.CommentLength, '\0');
  text.resize(size_t(stream_->Read(text.data(), int32_t(text.size()))));
  endRecord_.Comment = text;
  return text;
}

void TUnZipper::SetArchiveComment(const std::string& text) {
  endRecord_.Comment = text;
  endRecord_.CommentLength = uint16_t(text.size());
}

// ---------------------------------------------------------------- open / close

void TUnZipper::OpenArchive() {
  // A handler that asks for a comment during a run uses the stream: the
  // workers give it back first (a member being decoded then ends there).
  if (readAhead_) readAhead_->Stop();
  if (decodeAhead_) decodeAhead_->Stop();
  if (!stream_)
    stream_ = OpenFileStream(zipName_, platform::OpenMode::ReadShareRead, ArchiveBufferSize);
  if (!members_) {
    ReadDirectory();
    return;
  }
  uint32_t stamp = 0;
  stream_->GetDosTime(stamp);
  if (stamp != timeStamp_) ReadDirectory();
}

void TUnZipper::CloseArchive(bool force) {
  if (readAhead_) readAhead_->Stop();
  if (decodeAhead_) decodeAhead_->Stop();
  if (force || !KeepZipOpen) stream_.reset();
}

void TUnZipper::FreeDirectory() {
  view_.reset();
  members_.reset();
}

void TUnZipper::ClearArchiveState() {
  CloseArchive(true);
  FreeDirectory();
  endRecord_.SetDefaults();
  scanned_ = false;
  timeStamp_ = 0;
  spanMode_ = smNone;
  zipName_.clear();
}

void TUnZipper::ApplySortMode(TZipSortMode mode) {
  view_.reset();
  if (mode != ByNone && members_) {
    view_ = std::make_unique<TSortedZip>(1, false);
    view_->SortMode = mode;
    for (int i = 0; i < members_->Count(); ++i) view_->AddRecord(members_->Get(i));
  }
  sortMode_ = mode;
}

}  // namespace archive
