// Reading the archive directory: end record, central headers, and the local
// header scan that rebuilds the member list when the central directory is
// missing or not where the end record says.
#include <algorithm>
#include <vector>

#include "archive/unzipper.h"
#include "archive/zip_constants.h"

namespace archive {

using platform::SeekOrigin;

namespace {

// Shows the hourglass while it lives.
struct WaitCursor {
  WaitCursor() { platform::ui().SetCursor(platform::Cursor::Wait); }
  ~WaitCursor() { platform::ui().SetCursor(platform::Cursor::Default); }
};

}  // namespace

TSpanMode TUnZipper::DetectSpanMode() const {
  if (endRecord_.ThisDisk == 0) return smNone;
  std::string root = platform::text().UpperCase(zipName_.substr(0, 3));
  if (root.size() >= 2 && root[1] == ':' &&
      platform::shell().GetDriveType(root) == platform::DriveType::Removable)
    return smDisks;
  return smFiles;
}

void TUnZipper::FailBadZip() {
  ClearArchiveState();
  throw EBadZipFile("Not a valid zip file!");
}

void TUnZipper::ReadDirectory() {
  timeStamp_ = 0;
  stream_->GetDosTime(timeStamp_);
  FreeDirectory();
  scanned_ = false;
  endRecord_.SetDefaults();

  if (endRecord_.Search(*stream_)) {
    currentVolume_ = endRecord_.ThisDisk;
    spanMode_ = DetectSpanMode();
    if (endRecord_.TotalEntries != 0) {
      if (spanMode_ != smNone && endRecord_.CentralStartDisk != currentVolume_)
        OpenVolume(endRecord_.CentralStartDisk + 1);
      // An offset past the end cannot hold the directory (and may be beyond
      // what the stream can seek to): the scan looks for it instead.
      uint8_t sig[4] = {};
      bool inside = int64_t(endRecord_.CentralOffset) + 4 <= stream_->Size();
      if (inside) stream_->Seek(endRecord_.CentralOffset, SeekOrigin::Begin);
      if (inside && stream_->Read(sig, 4) == 4 && zip::Get32(sig) == zip::kCentralHeaderSig) {
        stream_->Seek(-4, SeekOrigin::Current);
      } else {
        WaitCursor wait;
        ScanLocalHeaders();
      }
    }
  } else {
    if (OnInCompleteZip) OnInCompleteZip(this, IncompleteZipMode);
    if (IncompleteZipMode == izAssumeMulti) {
      ClearArchiveState();
      throw EIncompleteZip("Incomplete Zip File");
    }
    WaitCursor wait;
    ScanLocalHeaders();
  }

  if (!scanned_) members_ = std::make_unique<TSortedZip>(2);

  TZipHeaderInfo::NextVolume nextVolume;
  if (!scanned_ && spanMode_ != smNone)
    nextVolume = [this](TZipHeaderInfo&, ZipStream*& stream) {
      stream = OpenVolume(currentVolume_ + 2);
    };

  for (int i = 0; i < endRecord_.TotalEntries; ++i) {
    auto record = std::make_unique<TZipHeaderInfo>();
    ZipStream* stream = stream_.get();
    bool ok = record->ReadCentralHeader(stream, nextVolume);
    if (!scanned_) {
      // Fewer central headers than the end record promises: the directory is
      // damaged, and extracting part of it would pass for a complete run.
      if (!ok) FailBadZip();
      TZipHeaderInfo* inserted = record.release();
      members_->AddRecord(inserted);
      if (endRecord_.ThisDisk != 0 && inserted->HasComment()) {
        int64_t next = stream_->Position();
        LoadMemberComment(*inserted);
        stream_->Seek(next, SeekOrigin::Begin);
      }
    } else if (ok) {
      int index = members_->IndexOf(record.get());
      if (index >= 0) {
        TZipHeaderInfo* scannedRecord = members_->Get(index);
        uint32_t offset = scannedRecord->LocalHeaderOffset;
        scannedRecord->Assign(*record);
        scannedRecord->LocalHeaderOffset = offset;
      }
    }
  }

  if (endRecord_.ThisDisk != 0 && endRecord_.HasComment()) {
    if (endRecord_.ThisDisk != currentVolume_) OpenVolume(endRecord_.ThisDisk + 1);
    LoadArchiveComment();
  }
  currentVolume_ = endRecord_.ThisDisk;
  CheckMembersApart();
  ApplySortMode(sortMode_);
}

// Members must not share bytes: an archive whose directory points several
// members into the same data (the overlapping-member bomb) would otherwise
// expand a small file into any number of large outputs. A member takes at
// least its fixed local header and its compressed data; name and extra field
// are left out, since only the local header knows their true lengths. In the
// order of start disk and offset (the member list compares offsets as signed
// numbers, which puts members past 2 GB first), each member must end before
// the next one on its disk starts. The check runs once, before anything is
// extracted, so that a bad archive fails as a whole and no member is blamed
// for its neighbour.
void TUnZipper::CheckMembersApart() {
  struct Span {
    uint16_t disk;
    int64_t begin, end;
    bool operator<(const Span& other) const {
      return disk != other.disk ? disk < other.disk : begin < other.begin;
    }
  };
  std::vector<Span> spans;
  spans.reserve(size_t(members_->Count()));
  for (int i = 0; i < members_->Count(); ++i) {
    const TZipHeaderInfo* r = members_->Get(i);
    if (r->FileName.empty()) continue;  // directory entries are never read
    const int64_t begin = r->LocalHeaderOffset;
    spans.push_back({r->DiskStart, begin,
                     begin + zip::kLocalHeaderSize + int64_t(uint32_t(r->CompressedSize))});
  }
  std::sort(spans.begin(), spans.end());
  for (size_t i = 1; i < spans.size(); ++i)
    if (spans[i].disk == spans[i - 1].disk && spans[i - 1].end > spans[i].begin) FailBadZip();
}

void TUnZipper::ScanLocalHeaders() {
  scanned_ = true;
  FreeDirectory();
  std::string ext;
  size_t dot = zipName_.find_last_of(".\\:");
  if (dot != std::string::npos && zipName_[dot] == '.') ext = zipName_.substr(dot);
  int64_t start = ext == ".EXE" ? zip::kSfxScanStart : 0;
  stream_->Seek(start, SeekOrigin::Begin);

  // Look for "PK\3\4" byte by byte; a byte that breaks a partial match is
  // examined again as a possible start.
  static const uint8_t kSig[4] = {'P', 'K', 3, 4};
  int matched = 0;
  int sinceMessages = 0;
  uint8_t b = 0;
  bool pending = false;
  for (;;) {
    if (!pending && stream_->Read(&b, 1) != 1) FailBadZip();
    pending = false;
    if (b == kSig[matched]) {
      if (++matched == 4) break;
      continue;
    }
    if (matched > 0) {
      matched = 0;
      pending = true;  // try this byte as the start of a signature
      continue;
    }
    if (++sinceMessages >= zip::kScanMessageInterval) {
      sinceMessages = 0;
      if (DoProcessMessages) {
        platform::ui().ProcessMessages();
        if (Cancel) {
          Cancel = false;
          throw EUserCanceled("User Aborted Operation");
        }
      }
    }
  }
  stream_->Seek(-4, SeekOrigin::Current);
  members_ = std::make_unique<TSortedZip>(2);

  int found = 0;
  for (;;) {
    auto record = std::make_unique<TZipHeaderInfo>();
    if (!record->ReadLocalHeader(*stream_)) break;
    int64_t skip = int64_t(record->CompressedSize) + record->ExtraLength +
                   (record->HasDataDescriptor() ? zip::kDataDescriptorSize : 0);
    members_->AddRecord(record.release());
    ++found;
    stream_->Seek(skip, SeekOrigin::Current);
  }
  endRecord_.ThisDisk = 0;
  currentVolume_ = 0;
  endRecord_.CentralOffset = uint32_t(stream_->Position());
  endRecord_.TotalEntries = uint16_t(found);
}

}  // namespace archive
