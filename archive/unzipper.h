// TUnZipper: a non-visual component that extracts members of a ZIP archive
// into a folder. It reads the archive's directory lazily (re-reading it when
// the archive file's time stamp changes), falls back to a scan of the local
// headers when the central directory is missing or misplaced, follows
// archives split into numbered files or spanned over removable disks, and
// reports through optional events. Everything runs on the caller's thread,
// events included; only the reading and decryption of member data may run
// ahead on a worker thread (ReadAhead).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/zip_crypto.h"
#include "archive/zip_exceptions.h"
#include "archive/zip_records.h"
#include "archive/zip_stream.h"

namespace archive {

enum TUZOverwriteMode : uint8_t { Prompt = 0, Always = 1, Never = 2 };
enum TIncompleteZipMode : uint8_t { izAssumeMulti = 0, izAssumeBad = 1 };
enum TSkipReason : uint8_t { srBadPassword = 0, srNoOverwrite = 1, srFileOpenError = 2 };
enum TSpanMode : uint8_t { smNone = 0, smDisks = 1, smFiles = 2 };

class TUnZipper;
class TMemberExtractor;
class TReadAhead;
class TDecodeAhead;

using TStartUnzipInfo =
    std::function<void(TUnZipper* Sender, int NumFiles, int64_t TotalBytes, bool& StopNow)>;
using TFilePercentDone = std::function<void(TUnZipper* Sender, int Percent)>;
using TTotalPercentDone = std::function<void(TUnZipper* Sender, int Percent)>;
using TStartUnZipEvent =
    std::function<void(TUnZipper* Sender, int FileIndex, const std::string& FName, bool& Skip)>;
using TEndUnZipEvent =
    std::function<void(TUnZipper* Sender, int FileIndex, const std::string& FName)>;
using TChooseOutput = std::function<void(TUnZipper* Sender, int FileIndex, std::string& FName)>;
using TPromptForOverwrite =
    std::function<void(TUnZipper* Sender, bool& OverWriteIt, int FileIndex, std::string& FName)>;
using TSkippingFile = std::function<void(TUnZipper* Sender, TSkipReason Reason,
                                         const std::string& FName, int FileIndex)>;
using TBadPassword =
    std::function<void(TUnZipper* Sender, int FileIndex, std::string& NewPassword)>;
using TBadCRC = std::function<void(TUnZipper* Sender, int CalcCRC, int StoredCRC, int FileIndex)>;
using TIncompleteZip = std::function<void(TUnZipper* Sender, TIncompleteZipMode& IncompleteMode)>;
using TGetNextDisk = std::function<void(TUnZipper* Sender, int NextDisk, std::string& FName)>;

class TUnZipper {
 public:
  TUnZipper();
  virtual ~TUnZipper();
  TUnZipper(const TUnZipper&) = delete;
  TUnZipper& operator=(const TUnZipper&) = delete;

  // After the properties were read from a window layout.
  void Loaded();

  // ---- published properties
  int ThisVersion() const { return thisVersion_; }
  void SetThisVersion(int) { thisVersion_ = 217; }
  const std::string& ZipName() const { return zipName_; }
  virtual void SetZipName(const std::string& value);
  const std::string& DestDir() const { return destDir_; }
  void SetDestDir(const std::string& value);
  const std::string& RootDir() const { return rootDir_; }
  void SetRootDir(const std::string& value);
  TZipSortMode SortMode() const { return sortMode_; }
  void SetSortMode(TZipSortMode mode) { sortMode_ = mode; }
  bool RecreateDirs = false;
  TUZOverwriteMode OverwriteMode = Prompt;
  const std::vector<std::string>& FilesList() const { return filesList_; }
  void SetFilesList(const std::vector<std::string>& list) { filesList_ = list; }
  bool DoAll = false;
  TIncompleteZipMode IncompleteZipMode = izAssumeMulti;
  bool KeepZipOpen = false;
  bool DoProcessMessages = true;
  bool RetainAttributes = true;
  // Reads and decrypts the members' data on a second thread, ahead of the
  // decoder, and inflates large members there ahead of the writing; events,
  // results and errors are the same either way. On by default where more
  // than one processor is present.
  bool ReadAhead = false;
  // The read buffer of each archive volume (kArchiveBufferSize unless set).
  int32_t ArchiveBufferSize = kArchiveBufferSize;

  TStartUnzipInfo OnStartUnZipInfo;
  TFilePercentDone OnFilePercentDone;
  TTotalPercentDone OnTotalPercentDone;
  TStartUnZipEvent OnStartUnZip;
  TEndUnZipEvent OnEndUnZip;
  // Before a member's file is made: FName is its path below DestDir, and the
  // handler may name another one (in a folder that exists) for the member
  // to be written to instead. The overwrite rules and every later event
  // then concern that path.
  TChooseOutput OnChooseOutput;
  TPromptForOverwrite OnPromptForOverwrite;
  TSkippingFile OnSkippingFile;
  TBadPassword OnBadPassword;
  TBadCRC OnBadCRC;
  TIncompleteZip OnInCompleteZip;
  TGetNextDisk OnGetNextDisk;

  // ---- public properties
  std::string Password;
  int MemberCount() const { return members_ ? members_->Count() : 0; }
  std::string MemberName(int index) const;
  std::string MemberFullName(int index) const;
  std::string MemberComment(int index);
  void SetMemberComment(int index, const std::string& text);
  std::string ArchiveComment();
  void SetArchiveComment(const std::string& text);
  virtual TSpanMode SpanMode() const { return spanMode_; }
  virtual void SetSpanMode(TSpanMode mode) { spanMode_ = mode; }
  virtual bool CheckVolumeLabels() const { return checkVolumeLabels_; }
  virtual void SetCheckVolumeLabels(bool value) { checkVolumeLabels_ = value; }
  bool Cancel = false;  // cancel request, set from outside during long work

  // The member record of index (sorted view) for read-only inspection.
  const TZipHeaderInfo& Member(int index) const;
  const TEndCentral& EndRecord() const { return endRecord_; }
  // The file that the member extracted last was written to, or that the
  // member being extracted is written to (named even when it could not be
  // created or written).
  const std::string& OutputPath() const { return outputPath_; }

  // ---- operations
  int UnZip();
  // Makes volume n (1-based) the current volume and returns its stream.
  ZipStream* OpenVolume(int n);
  void ApplySortMode(TZipSortMode mode);
  // The handler OnGetNextDisk starts with.
  void DefaultGetNextDisk(TUnZipper* sender, int nextDisk, std::string& fName);

 private:
  friend class TMemberExtractor;
  friend class TDecodeAhead;

  void OpenArchive();
  void CloseArchive(bool force = false);
  void ReadDirectory();
  void ScanLocalHeaders();
  void ClearArchiveState();
  void FreeDirectory();
  [[noreturn]] void FailBadZip();
  bool VolumeLabelOk(int n);
  void CheckIndex(int index) const;
  TZipHeaderInfo* ViewItem(int index) const;
  std::string LoadMemberComment(TZipHeaderInfo& record);
  TSpanMode DetectSpanMode() const;
  void CheckMembersApart();
  void ExtractMember(int fileIndex);
  // The steps of ExtractMember, in their order (extract_member.cpp).
  void PositionOnMemberData();
  std::string MemberFolder();
  void EnsureFolder(const std::string& folder);
  std::unique_ptr<ZipStream> CreateIfNew(const std::string& folder, const std::string& outPath);
  std::unique_ptr<ZipStream> OpenOutput(const std::string& folder, const std::string& outPath);
  bool PasswordAccepted(int fileIndex, const uint8_t* workerCheck);
  bool OverwriteAllowed(int fileIndex, std::string& outPath);
  void SkipMember(TSkipReason reason, int fileIndex);
  void DecodeMember(std::unique_ptr<ZipStream>& output, const std::string& outPath);
  void ReportUnknownMethod();
  void CloseOutput(std::unique_ptr<ZipStream>& output, const std::string& outPath);
  void JudgeCrc(int fileIndex, const std::string& outPath);
  // Whether a member's data may continue on the next volume: the archive is
  // split and a handler names volumes. Without a handler there is no other
  // volume (OpenVolume raises).
  bool CanAskForNextVolume() const { return endRecord_.ThisDisk != 0 && bool(OnGetNextDisk); }
  // Reads the archive comment from the current volume into the end record.
  std::string LoadArchiveComment();

  int thisVersion_ = 217;
  std::string zipName_, destDir_, rootDir_;
  TZipSortMode sortMode_ = ByNone;
  std::vector<std::string> filesList_;
  TSpanMode spanMode_ = smNone;
  bool checkVolumeLabels_ = true;

  std::unique_ptr<ZipStream> stream_;    // current volume
  std::unique_ptr<TSortedZip> members_;  // owns the records
  std::unique_ptr<TSortedZip> view_;     // separate sorted view, or none
  TEndCentral endRecord_;
  TZipHeaderInfo current_;  // the member being extracted
  int currentIndex_ = 0;    // its index
  std::string outputPath_;  // its output file
  // The folder the last output file was created in: it existed then, and the
  // next member placed there needs no look for it (see OpenOutput).
  std::string placedFolder_;
  int currentVolume_ = 0;
  uint32_t timeStamp_ = 0;
  bool scanned_ = false;

  // unzip run state
  int64_t totalBytes_ = 0;
  int64_t runOutputTotal_ = 0;
  int successCounter_ = 0;
  bool retry_ = false;
  // The decoders' work area: each sets up the part it uses, so it is not
  // cleared (128 KB a run, most of which a small member never touches).
  std::unique_ptr<uint8_t[]> window_;
  std::vector<uint8_t> inBuffer_, outBuffer_;
  ZipCrypto crypto_;
  uint32_t runningCrc_ = 0xFFFFFFFF;
  std::unique_ptr<TReadAhead> readAhead_;      // during a run with ReadAhead
  std::unique_ptr<TDecodeAhead> decodeAhead_;  // the same
};

}  // namespace archive
