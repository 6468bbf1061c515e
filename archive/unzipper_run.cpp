// The unzip run: selection, run totals, the loop over the members and the
// work area shared by the member extractions of one run.
#include "archive/decode_ahead.h"
#include "archive/decoder_io.h"
#include "archive/read_ahead.h"
#include "archive/unzipper.h"
#include "support/wildcard.h"

namespace archive {

int TUnZipper::UnZip() {
  Cancel = false;
  OpenArchive();

  struct RunGuard {
    TUnZipper* self;
    bool restoreSort = false;
    TZipSortMode savedSort = ByNone;
    ~RunGuard() {
      self->readAhead_.reset();
      self->decodeAhead_.reset();
      self->window_.reset();
      self->inBuffer_ = {};
      self->outBuffer_ = {};
      if (restoreSort) self->ApplySortMode(savedSort);
    }
  };

  if (!destDir_.empty() && !platform::files().DirectoryExists(destDir_))
    platform::files().ForceDirectories(destDir_);

  int count = 0;
  {
    RunGuard guard{this};
    if (endRecord_.ThisDisk != 0 && sortMode_ != ByNone) {
      guard.restoreSort = true;
      guard.savedSort = sortMode_;
      ApplySortMode(ByNone);
    }
    window_.reset(new uint8_t[kWindowSize]);
    inBuffer_.assign(kBufferAlloc, 0);
    outBuffer_.assign(kBufferAlloc, 0);
    if (ReadAhead) {
      readAhead_ = std::make_unique<TReadAhead>();
      decodeAhead_ = std::make_unique<TDecodeAhead>(*this);
    }
    totalBytes_ = 0;
    runOutputTotal_ = 0;
    placedFolder_.clear();

    count = MemberCount();
    for (int i = 0; i < MemberCount(); ++i) {
      TZipHeaderInfo* r = ViewItem(i);
      r->Selected = DoAll;
      if (r->FileName.empty() && !RecreateDirs) {
        r->Selected = false;
      } else {
        std::string name = platform::text().LowerCase(r->Directory + r->FileName);
        for (const std::string& pattern : filesList_) {
          if (support::IsMatch(platform::text().LowerCase(pattern), name)) {
            r->Selected = true;
            break;
          }
        }
      }
      if (r->Selected)
        totalBytes_ += r->UncompressedSize;
      else
        --count;
    }

    bool stopNow = false;
    if (OnStartUnZipInfo) OnStartUnZipInfo(this, count, totalBytes_, stopNow);

    successCounter_ = count;
    if (count > 0 && !stopNow) {
      for (int i = 0; i < MemberCount(); ++i) {
        if (!DoAll && !ViewItem(i)->Selected) continue;
        do {
          ExtractMember(i);
        } while (retry_);
      }
    }
  }
  CloseArchive();
  Cancel = false;
  return successCounter_;
}

}  // namespace archive
