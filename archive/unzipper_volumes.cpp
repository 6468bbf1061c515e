// Volumes of split archives: numbered files (smFiles) or removable disks
// recognised by their volume labels (smDisks).
#include <cstdio>

#include "archive/read_ahead.h"
#include "archive/unzipper.h"

namespace archive {

namespace {

std::string ThreeDigits(int n) {
  char text[16];
  std::snprintf(text, sizeof text, "%3.3d", n);
  return text;
}

}  // namespace

bool TUnZipper::VolumeLabelOk(int n) {
  if (SpanMode() != smDisks) return true;
  std::string root = platform::text().UpperCase(zipName_.substr(0, 3));
  std::string label;
  if (!platform::shell().GetVolumeLabel(root, label)) return false;
  if (label.size() > 13) label.resize(13);  // the 14-character label buffer
  if (label.size() > 11) label.resize(11);
  if (label.size() < 3) return false;
  return label.substr(label.size() - 3) == ThreeDigits(n);
}

ZipStream* TUnZipper::OpenVolume(int n) {
  if (readAhead_) readAhead_->Stop();
  stream_.reset();
  // Without a handler nobody can name another volume: there is none (see
  // CanAskForNextVolume; opening the current file again would read it as
  // volume n and pass wrong data to the decoder).
  if (!OnGetNextDisk) throw EUserCanceled("User canceled loading new disk.");
  std::string fName = zipName_;
  std::string lastMissing;
  for (;;) {
    OnGetNextDisk(this, n, fName);
    if (CheckVolumeLabels() && !fName.empty() && !VolumeLabelOk(n)) continue;
    if (fName.empty()) throw EUserCanceled("User canceled loading new disk.");
    if (platform::files().FileExists(fName)) break;
    // A numbered volume file that is still missing when asked for the second
    // time will not appear by asking again; only a disk can be changed.
    if (SpanMode() != smDisks && fName == lastMissing)
      throw EUserCanceled("User canceled loading new disk.");
    lastMissing = fName;
  }
  stream_ = OpenFileStream(fName, platform::OpenMode::ReadExclusive, ArchiveBufferSize);
  currentVolume_ = n - 1;
  timeStamp_ = 0;
  stream_->GetDosTime(timeStamp_);
  zipName_ = fName;
  return stream_.get();
}

void TUnZipper::DefaultGetNextDisk(TUnZipper*, int nextDisk, std::string& fName) {
  if (SpanMode() == smDisks) {
    platform::ui().SetCursor(platform::Cursor::Default);
    platform::MessageBoxRequest box;
    box.kind = platform::MessageKind::Confirmation;
    box.text = "Please insert disk " + std::to_string(nextDisk) + " of the multi-disk set.";
    box.buttons = platform::kButtonOk | platform::kButtonCancel;
    if (platform::ui().MessageBox(box) == platform::kButtonCancel) fName.clear();
    platform::ui().SetCursor(platform::Cursor::Wait);
    return;
  }
  size_t dot = fName.find_last_of(".\\:");
  std::string base = (dot != std::string::npos && fName[dot] == '.') ? fName.substr(0, dot) : fName;
  fName = base + "." + ThreeDigits(nextDisk);
  if (platform::files().FileExists(fName)) return;
  // Info-ZIP, WinZip and WinRAR name the segments of a split set name.z01,
  // name.z02, ... and its last volume, the one with the end record, name.zip.
  // Their names are taken when the numbered one does not exist.
  char segment[16];
  std::snprintf(segment, sizeof segment, ".z%02d", nextDisk);
  std::string written = base + (nextDisk == endRecord_.ThisDisk + 1 ? ".zip" : segment);
  if (platform::files().FileExists(written)) fName = written;
}

}  // namespace archive
