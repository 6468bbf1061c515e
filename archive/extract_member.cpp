// Extraction of one member to one file, one function per step of the
// pipeline: position, destination, password check, overwrite decision,
// decode, attributes and date, CRC verdict. The decoder's two ends (input
// refill and output flush) are the member I/O's.
#include <algorithm>
#include <iterator>

#include "archive/decoders.h"
#include "archive/member_io.h"
#include "archive/read_ahead.h"
#include "archive/unzipper.h"
#include "archive/zip_constants.h"

namespace archive {

using platform::SeekOrigin;

namespace {

// Longest destination folder that is created for a member (Windows paths
// stop at 260 characters; Linux ones at 4096 bytes).
constexpr size_t kMaxFolderLength = 1024;

// Smallest member inflated on the decoding worker: four output chunks.
constexpr int32_t kDecodeAheadFrom = 4 * int32_t(kOutputChunk);

// The compressed size less the encryption header. A size declared past 2 GB
// is below 0 already (nothing of it can be read) and stays at its floor
// rather than wrapping round to a size to read.
void DropEncryptionHeader(int32_t& size) {
  size =
      size < INT32_MIN + zip::kEncryptionHeaderSize ? INT32_MIN : size - zip::kEncryptionHeaderSize;
}

}  // namespace

void TUnZipper::ExtractMember(int fileIndex) {
  retry_ = false;
  current_.Assign(*ViewItem(fileIndex));
  currentIndex_ = fileIndex;
  const bool directoryEntry = current_.FileName.empty();
  // The worker may have read the member's headers already; otherwise the
  // stream must be the caller's again before it is used here.
  uint8_t workerCheck = 0;
  bool claimed = false;
  if (!directoryEntry && readAhead_) {
    claimed = readAhead_->Claim(fileIndex, Password, workerCheck);
    if (!claimed) readAhead_->Stop();
  }
  if (!directoryEntry && !claimed) PositionOnMemberData();
  const std::string folder = MemberFolder();
  if (directoryEntry) {
    // Directory entries end here and count as extracted.
    bool skip = false;
    if (RecreateDirs && OnStartUnZip) OnStartUnZip(this, fileIndex, folder, skip);
    return;
  }
  std::string outPath = folder + current_.FileName;
  if (!PasswordAccepted(fileIndex, claimed ? &workerCheck : nullptr)) return;
  if (OnChooseOutput) OnChooseOutput(this, fileIndex, outPath);
  std::unique_ptr<ZipStream> output = CreateIfNew(folder, outPath);
  if (!output) {
    if (!OverwriteAllowed(fileIndex, outPath)) return;
    outputPath_ = outPath;
    output = OpenOutput(folder, outPath);
  }
  runningCrc_ = 0xFFFFFFFF;
  bool skip = false;
  if (OnStartUnZip) OnStartUnZip(this, fileIndex, outPath, skip);
  if (skip) return;
  DecodeMember(output, outPath);
  CloseOutput(output, outPath);
  JudgeCrc(fileIndex, outPath);
}

// Opens the member's volume and skips its local header: the stream then
// stands at the member's data (or its encryption header).
void TUnZipper::PositionOnMemberData() {
  if (endRecord_.ThisDisk != 0 && current_.DiskStart != currentVolume_)
    OpenVolume(current_.DiskStart + 1);
  if (int64_t(current_.LocalHeaderOffset) > stream_->Size()) {
    // A member that starts behind the end of its volume has no data at all:
    // it decodes from nothing and fails its CRC check, and the run goes on
    // with the next member.
    stream_->Seek(0, SeekOrigin::End);
    current_.CompressedSize = 0;
    return;
  }
  uint8_t header[zip::kLocalHeaderSize];
  SkipLocalHeader(*stream_, current_.LocalHeaderOffset, header);
}

// The member's folder below the destination (created when missing), or the
// destination itself when folders are not recreated.
std::string TUnZipper::MemberFolder() {
  if (!RecreateDirs || current_.Directory.empty()) return destDir_ + "\\";
  std::string dir = current_.Directory;
  if (!rootDir_.empty() && dir.size() >= rootDir_.size() &&
      platform::text().Compare(dir.substr(0, rootDir_.size()), rootDir_, true) == 0)
    dir.erase(0, rootDir_.size());
  std::string folder;
  bool rooted = !dir.empty() && (dir[0] == '\\' || (dir.size() > 1 && dir[1] == ':'));
  if (!rooted)
    folder = destDir_ + "\\" + dir;
  else if (destDir_.empty())
    folder = dir;
  else if (dir[0] == '\\')
    folder = destDir_ + dir;
  else
    folder = destDir_ + dir.substr(2);
  // Members of one folder usually follow each other: the folder the last
  // file went into is not looked for again.
  if (folder != placedFolder_) EnsureFolder(folder);
  return folder;
}

// Creates the folder when it is missing. A stored name may hold thousands of
// folder levels; creating them one by one costs time and memory with the
// square of the depth. No system this installer runs on opens paths that
// long, so such a folder is not made and the output file then fails to open.
void TUnZipper::EnsureFolder(const std::string& folder) {
  if (folder.size() <= kMaxFolderLength && !platform::files().DirectoryExists(folder))
    platform::files().ForceDirectories(folder);
}

// Creates the member's output file. In the folder of the previous file, whose
// existence was not checked again, a failure may mean that someone removed
// the folder since: it is made again and the file created once more, so that
// the member fares as it did when every folder was looked for.
std::unique_ptr<ZipStream> TUnZipper::OpenOutput(const std::string& folder,
                                                 const std::string& outPath) {
  if (folder == placedFolder_) {
    try {
      return OpenFileStream(outPath, platform::OpenMode::Create);
    } catch (const support::EFCreateError&) {
      placedFolder_.clear();
      EnsureFolder(folder);
    }
  }
  std::unique_ptr<ZipStream> output = OpenFileStream(outPath, platform::OpenMode::Create);
  placedFolder_ = folder;
  return output;
}

// Where an existing file is not simply replaced, the output file is first
// created only if it is new: one open both answers whether it exists and, as
// a rule, makes it. Null when it could not be made so (it exists, or another
// failure that the ordinary way then meets and reports).
std::unique_ptr<ZipStream> TUnZipper::CreateIfNew(const std::string& folder,
                                                  const std::string& outPath) {
  if (OverwriteMode == Always) return nullptr;
  try {
    std::unique_ptr<ZipStream> output = OpenFileStream(outPath, platform::OpenMode::CreateNew);
    outputPath_ = outPath;
    placedFolder_ = folder;
    return output;
  } catch (const support::EFCreateError&) {
    return nullptr;
  }
}

// The encryption header's check byte against the password; OnBadPassword
// may offer others. workerCheck: the byte as the worker decrypted it with the
// run's password, when it read the headers. False: the member is skipped.
bool TUnZipper::PasswordAccepted(int fileIndex, const uint8_t* workerCheck) {
  if (!current_.IsEncrypted()) return true;
  const uint8_t check = current_.HasDataDescriptor() ? uint8_t(current_.DateTime >> 8)
                                                     : uint8_t(current_.CRC32 >> 24);
  if (workerCheck) {
    if (*workerCheck == check) {
      DropEncryptionHeader(current_.CompressedSize);
      return true;
    }
    // Another password may be offered and tried: the caller reads the
    // headers again itself.
    readAhead_->Stop();
    PositionOnMemberData();
  }
  for (;;) {
    uint8_t got = crypto_.ReadHeader(Password, *stream_);
    DropEncryptionHeader(current_.CompressedSize);
    if (got == check) return true;
    std::string newPassword = Password;
    if (!OnBadPassword) break;
    OnBadPassword(this, fileIndex, newPassword);
    if (newPassword == Password) break;
    Password = newPassword;
    stream_->Seek(-zip::kEncryptionHeaderSize, SeekOrigin::Current);
    current_.CompressedSize += zip::kEncryptionHeaderSize;
  }
  SkipMember(srBadPassword, fileIndex);
  return false;
}

// Whether an existing output file may be replaced (OverwriteMode, then the
// handler or the user). False: the member is skipped.
bool TUnZipper::OverwriteAllowed(int fileIndex, std::string& outPath) {
  if (OverwriteMode == Always || !platform::files().FileExists(outPath)) return true;
  bool overwrite = false;
  if (OverwriteMode == Prompt) {
    if (OnPromptForOverwrite) {
      OnPromptForOverwrite(this, overwrite, fileIndex, outPath);
    } else {
      platform::MessageBoxRequest box;
      box.kind = platform::MessageKind::Custom;
      box.caption = "File Exists Alert";
      box.text = "Replace existing file " + current_.FileName + "?";
      box.buttons = platform::kButtonYes | platform::kButtonNo;
      overwrite = platform::ui().MessageBox(box) == platform::kButtonYes;
    }
  }
  if (!overwrite) SkipMember(srNoOverwrite, fileIndex);
  return overwrite;
}

void TUnZipper::SkipMember(TSkipReason reason, int fileIndex) {
  if (OnSkippingFile)
    OnSkippingFile(this, reason, current_.Directory + current_.FileName, fileIndex);
  --successCounter_;
}

// Runs the decoder of the member's method into the output file, until it
// ends or the size guard stops it. A write error removes the cut-off copy and
// passes on, as does any other error (the file then stays as it is, without
// date or attributes).
void TUnZipper::DecodeMember(std::unique_ptr<ZipStream>& output, const std::string& outPath) {
  TMemberExtractor io(*this, *output);
  try {
    switch (current_.Method) {
      case zip::kMethodStored:
        io.StoredCopy();
        break;
      case zip::kMethodShrunk:
        Unshrink(io);
        break;
      case zip::kMethodReduced1:
      case zip::kMethodReduced1 + 1:
      case zip::kMethodReduced1 + 2:
      case zip::kMethodReduced4:
        Unreduce(io, current_.Method - 1);
        break;
      case zip::kMethodImploded:
        Explode(io);
        break;
      case zip::kMethodDeflated:
        // Inflating a large plain member on the worker overlaps it with the
        // writing here; an encrypted one keeps the worker for decryption,
        // and a small one would wait longer for the handover than it saves.
        if (decodeAhead_ && !current_.IsEncrypted() &&
            current_.UncompressedSize >= kDecodeAheadFrom)
          io.DecodeOnWorker(*decodeAhead_, [](TDecoderIO& d) { Inflate(d); });
        else
          Inflate(io);
        break;
      default:
        ReportUnknownMethod();
    }
  } catch (const EBiggerThanUncompressed&) {
    // The chunk past the declared size was not written; the CRC check judges
    // what was.
  } catch (const support::EWriteError&) {
    // What reached the disk is a cut-off copy; it must not pass for the member.
    output.reset();
    platform::files().DeleteFile(outPath);
    throw;
  }
}

void TUnZipper::ReportUnknownMethod() {
  platform::MessageBoxRequest box;
  box.kind = platform::MessageKind::Custom;
  box.caption = "Zip Error";
  box.text = "Unknown Compression Method";
  box.buttons = platform::kButtonOk;
  platform::ui().MessageBox(box);
}

// Writes the last buffered bytes (a disk that fills up now is noticed too),
// sets the date and then the attributes through the output handle, and
// closes the file; attributes the handle cannot take are set by path after
// the close (failures of date and attributes are ignored).
void TUnZipper::CloseOutput(std::unique_ptr<ZipStream>& output, const std::string& outPath) {
  if (!output->Flush()) {
    output.reset();
    platform::files().DeleteFile(outPath);
    throw support::EWriteError("Stream write error");
  }
  // The date is set through the output handle, after the last byte and
  // before the close: the file is opened once, and a member whose attributes
  // make it read-only still gets its date, as it is set first.
  output->SetDosTime(current_.DateTime);
  const uint32_t attributes = uint32_t(current_.ExternalAttributes);
  const bool attributesSet = RetainAttributes && output->SetAttributes(attributes);
  output.reset();
  if (RetainAttributes && !attributesSet) platform::files().SetAttributes(outPath, attributes);
}

// Compares the CRC of what was written with the stored one. A mismatch of an
// encrypted member may bring another password (and a retry); the damaged
// copy is deleted.
void TUnZipper::JudgeCrc(int fileIndex, const std::string& outPath) {
  const uint32_t crc = ~runningCrc_;
  if (crc == current_.CRC32) {
    if (OnEndUnZip) OnEndUnZip(this, fileIndex, outPath);
    return;
  }
  if (current_.IsEncrypted()) {
    if (OnBadPassword) {
      std::string newPassword = Password;
      OnBadPassword(this, fileIndex, newPassword);
      if (newPassword != Password) {
        Password = newPassword;
        retry_ = true;
      }
    }
    if (!retry_ && OnSkippingFile)
      OnSkippingFile(this, srBadPassword, current_.Directory + current_.FileName, fileIndex);
  } else if (OnBadCRC) {
    OnBadCRC(this, int(crc), int(current_.CRC32), fileIndex);
  }
  // The member's own attributes may have made the file read-only; a damaged
  // copy must go all the same.
  platform::files().SetAttributes(outPath, platform::kAttrNormal);
  platform::files().DeleteFile(outPath);
  if (!retry_) --successCounter_;
}

}  // namespace archive
