// Extraction of one member to one file: positioning, output path, password
// check, overwrite decision, decoding between the input refill and the output
// flush, attributes and date, and the CRC verdict with its events.
#include <cmath>
#include <cstring>
#include <iterator>

#include "archive/crc32.h"
#include "archive/decoders.h"
#include "archive/read_ahead.h"
#include "archive/unzipper.h"
#include "archive/zip_constants.h"

namespace archive {

using platform::SeekOrigin;

namespace {

// Output a decoder may still write after it first asked for a byte past the
// member's data: a window (at most 32 KB), an output chunk and the few
// symbols of a bit buffer, with ample room to spare.
constexpr int64_t kMaxOutputAfterInputEnd = 256 * 1024;

// Longest destination folder that is created for a member (Windows paths
// stop at 260 characters; Linux ones at 4096 bytes).
constexpr size_t kMaxFolderLength = 1024;

int RoundedPercent(int64_t done, int64_t total) {
  if (total <= 0) return 0;
  double p = std::nearbyint(double(done) * 100.0 / double(total));
  return p > 100 ? 100 : int(p);
}

}  // namespace

// The decoder's two ends for one member: reads compressed bytes from the
// component's current volume and writes to the member's output file.
class TMemberExtractor : public TDecoderIO {
 public:
  TMemberExtractor(TUnZipper& owner, ZipStream& output) : z_(owner), out_(output) {
    window = z_.window_.data();
    outBuf = z_.outBuffer_.data();
    flags = uint16_t(z_.current_.Flags);
    uncompressedSize = z_.current_.UncompressedSize;
    compressedSize = z_.current_.CompressedSize;
    compressedLeft = z_.current_.CompressedSize;
  }

  ~TMemberExtractor() {
    if (ahead_) ahead_->Stop();
  }

  int RefillSlow(uint8_t& b) override {
    if (compressedLeft <= 0) {
      --compressedLeft;
      return 0;
    }
    --compressedLeft;
    if (inCount == 0) {
      if (z_.DoProcessMessages) {
        platform::ui().ProcessMessages();
        if (z_.Cancel) {
          z_.Cancel = false;
          throw EUserCanceled("User Aborted Operation");
        }
      }
      int32_t n = std::min<int32_t>(z_.current_.CompressedSize, int32_t(kInputChunk));
      if (n < 0) n = 0;
      z_.current_.CompressedSize -= n;
      uint8_t* in = z_.inBuffer_.data();
      int32_t got = 0;
      const uint8_t* chunk = TakeChunk(in, n, got);
      if (got < n) {
        if (!MultiVolume()) throw EFatalUnzipError("Premature end of file reached");
        ReadFromNextVolumes(in + got, n - got);
        got = n;
      }
      ReadRestAhead(kInputChunk);
      inCount = uint32_t(got);
      if (inCount == 0) return 0;
      inPos = chunk;
    }
    b = *inPos++;
    --inCount;
    return 8;
  }

  void FlushOutput() override {
    if (outCount == 0) return;
    if (out_.Position() + int64_t(outCount) > int64_t(uncompressedSize))
      throw EBiggerThanUncompressed("File is larger than uncompressed size!");
    // Reduce and Implode decode up to the declared size even when the data
    // has run out. Once the decoder has asked for bytes past the end, a real
    // stream has at most its bit buffer and its window left to write; output
    // far beyond that is made from nothing, and it is stopped like output
    // past the declared size, so that a size of 2 GB cannot fill the disk.
    if (compressedLeft < 0) {
      outputAfterInputEnd += outCount;
      if (outputAfterInputEnd > kMaxOutputAfterInputEnd)
        throw EBiggerThanUncompressed("File is larger than uncompressed size!");
    }
    // A full disk takes fewer bytes: the file would be cut short while the CRC
    // of the buffer still matched, so a short write ends the run.
    if (out_.Write(outBuf, int32_t(outCount)) != int32_t(outCount))
      throw support::EWriteError("Stream write error");
    z_.runningCrc_ = Crc32Update(z_.runningCrc_, outBuf, outCount);
    bytesWritten += int32_t(outCount);
    if (z_.OnFilePercentDone)
      z_.OnFilePercentDone(&z_, RoundedPercent(bytesWritten, uncompressedSize));
    if (z_.OnTotalPercentDone) {
      z_.runOutputTotal_ += outCount;
      z_.OnTotalPercentDone(&z_, RoundedPercent(z_.runOutputTotal_, z_.totalBytes_));
    }
    outCount = 0;
  }

  // Method 0: chunks straight from the archive into the output buffer. In a
  // split archive a member may continue on the next volume, which is then
  // opened as for the other methods; in a single file a short read leaves
  // stale bytes (those of the chunk before) that the CRC check rejects, and
  // ends the copy.
  void StoredCopy() {
    while (z_.current_.CompressedSize > 0) {
      int32_t n = std::min<int32_t>(z_.current_.CompressedSize, int32_t(kOutputChunk));
      int32_t got = 0;
      const uint8_t* chunk = TakeChunk(outBuf, n, got);
      // The chunk goes through the output buffer even when the worker read
      // it, so that a short read leaves the same stale bytes behind it.
      if (chunk != outBuf) std::memcpy(outBuf, chunk, size_t(got));
      if (got < n) {
        if (MultiVolume())
          ReadFromNextVolumes(outBuf + got, n - got);
        else
          Decrypt(outBuf + got, n - got);
      }
      z_.current_.CompressedSize -= n;
      // Past the end of a single file every further chunk would be stale
      // bytes too: a compressed size of 2 GB must not write 2 GB of them.
      if (got < n && !MultiVolume()) z_.current_.CompressedSize = 0;
      ReadRestAhead(kOutputChunk);
      outCount = uint32_t(n);
      FlushOutput();
    }
  }

  int32_t bytesWritten = 0;
  int64_t outputAfterInputEnd = 0;  // flushed once the data was used up

 private:
  bool MultiVolume() const { return z_.endRecord_.ThisDisk != 0 && z_.OnGetNextDisk; }

  void Decrypt(uint8_t* data, int32_t count) {
    if (z_.current_.IsEncrypted() && count > 0) z_.crypto_.DecryptBuffer(data, size_t(count));
  }

  // The next n bytes of the member's data from the current volume, decrypted:
  // the worker's chunk while it reads ahead, or else read here into own.
  // got is their number, fewer than n only where the volume ended inside the
  // chunk; the bytes are then in own, and the keys stand behind them, ready
  // for the rest of the chunk.
  const uint8_t* TakeChunk(uint8_t* own, int32_t n, int32_t& got) {
    if (ahead_ && ahead_->Running()) {
      const uint8_t* chunk = ahead_->Next(got);
      if (got == n) return chunk;
      std::memcpy(own, chunk, size_t(got));
      if (z_.current_.IsEncrypted()) z_.crypto_ = ahead_->Keys();
      return own;
    }
    got = z_.stream_->Read(own, n);
    Decrypt(own, got);
    return own;
  }

  // Hands the rest of the member's data, from the current position of the
  // current volume, to the worker when there is one and it is idle.
  void ReadRestAhead(uint32_t chunkSize) {
    if (ahead_ && !ahead_->Running() && z_.current_.CompressedSize > 0)
      ahead_->Start(*z_.stream_, z_.current_.CompressedSize, int32_t(chunkSize),
                    z_.current_.IsEncrypted() ? &z_.crypto_ : nullptr);
  }

  // Reads count bytes from the volumes after the current one and decrypts
  // them (OpenVolume raises when the user gives up).
  void ReadFromNextVolumes(uint8_t* to, int32_t count) {
    int32_t got = 0;
    while (got < count) {
      ZipStream* next = z_.OpenVolume(z_.currentVolume_ + 2);
      got += next->Read(to + got, count - got);
    }
    Decrypt(to, count);
  }

  TUnZipper& z_;
  ZipStream& out_;
  TReadAhead* const ahead_ = z_.readAhead_.get();
};

void TUnZipper::ExtractMember(int fileIndex) {
  retry_ = false;
  current_.Assign(*ViewItem(fileIndex));
  const std::string storedName = current_.Directory + current_.FileName;

  // 1. Position the archive on the member's data.
  if (!current_.FileName.empty()) {
    if (endRecord_.ThisDisk != 0 && current_.DiskStart != currentVolume_)
      OpenVolume(current_.DiskStart + 1);
    std::fill(std::begin(localHeader_), std::end(localHeader_), 0);
    if (int64_t(current_.LocalHeaderOffset) > stream_->Size()) {
      // A member that starts behind the end of its volume has no data at all:
      // it decodes from nothing and fails its CRC check, and the run goes on
      // with the next member.
      stream_->Seek(0, SeekOrigin::End);
      current_.CompressedSize = 0;
    } else {
      stream_->Seek(current_.LocalHeaderOffset, SeekOrigin::Begin);
      stream_->Read(localHeader_, zip::kLocalHeaderSize);
      stream_->Seek(int64_t(zip::Get16(localHeader_ + zip::kLocNameLength)) +
                        zip::Get16(localHeader_ + zip::kLocExtraLength),
                    SeekOrigin::Current);
    }
  }

  // 2. Destination folder.
  std::string folder;
  if (RecreateDirs && !current_.Directory.empty()) {
    std::string dir = current_.Directory;
    if (!rootDir_.empty() && dir.size() >= rootDir_.size() &&
        platform::text().Compare(dir.substr(0, rootDir_.size()), rootDir_, true) == 0)
      dir.erase(0, rootDir_.size());
    bool rooted = !dir.empty() && (dir[0] == '\\' || (dir.size() > 1 && dir[1] == ':'));
    if (!rooted)
      folder = destDir_ + "\\" + dir;
    else if (destDir_.empty())
      folder = dir;
    else if (dir[0] == '\\')
      folder = destDir_ + dir;
    else
      folder = destDir_ + dir.substr(2);
    // A stored name may hold thousands of folder levels; creating them one
    // by one costs time and memory with the square of the depth. No system
    // this installer runs on opens paths that long, so such a folder is not
    // made and the output file then fails to open.
    if (folder.size() <= kMaxFolderLength && !platform::files().DirectoryExists(folder))
      platform::files().ForceDirectories(folder);
  } else {
    folder = destDir_ + "\\";
  }

  // 3. Directory entries end here and count as extracted.
  if (current_.FileName.empty()) {
    if (RecreateDirs && OnStartUnZip) {
      bool skip = false;
      OnStartUnZip(this, fileIndex, folder, skip);
    }
    return;
  }
  std::string outPath = folder + current_.FileName;

  // 4. Password check against the encryption header.
  if (current_.IsEncrypted()) {
    uint8_t check = current_.HasDataDescriptor() ? uint8_t(current_.DateTime >> 8)
                                                 : uint8_t(current_.CRC32 >> 24);
    for (;;) {
      uint8_t got = crypto_.ReadHeader(Password, *stream_);
      current_.CompressedSize -= zip::kEncryptionHeaderSize;
      if (got == check) break;
      std::string newPassword = Password;
      if (OnBadPassword) OnBadPassword(this, fileIndex, newPassword);
      if (OnBadPassword && newPassword != Password) {
        Password = newPassword;
        stream_->Seek(-zip::kEncryptionHeaderSize, SeekOrigin::Current);
        current_.CompressedSize += zip::kEncryptionHeaderSize;
        continue;
      }
      if (OnSkippingFile) OnSkippingFile(this, srBadPassword, storedName, fileIndex);
      --successCounter_;
      return;
    }
  }

  // 5. Overwrite decision.
  if (OverwriteMode != Always && platform::files().FileExists(outPath)) {
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
    if (!overwrite) {
      if (OnSkippingFile) OnSkippingFile(this, srNoOverwrite, storedName, fileIndex);
      --successCounter_;
      return;
    }
  }

  // 6. Output file and decoding.
  outputPath_ = outPath;
  auto output = OpenFileStream(outPath, platform::OpenMode::Create);
  runningCrc_ = 0xFFFFFFFF;
  TMemberExtractor io(*this, *output);
  bool skip = false;
  if (OnStartUnZip) OnStartUnZip(this, fileIndex, outPath, skip);
  if (skip) return;

  bool finished = false;
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
        Inflate(io);
        break;
      default: {
        platform::MessageBoxRequest box;
        box.kind = platform::MessageKind::Custom;
        box.caption = "Zip Error";
        box.text = "Unknown Compression Method";
        box.buttons = platform::kButtonOk;
        platform::ui().MessageBox(box);
      }
    }
    finished = true;
  } catch (const EBiggerThanUncompressed&) {
    finished = true;
  } catch (const support::EWriteError&) {
    // What reached the disk is a cut-off copy; it must not pass for the member.
    output.reset();
    platform::files().DeleteFile(outPath);
    throw;
  }
  // 7. Date, close, then attributes (failures ignored). The last buffered
  // bytes are written first, so that a disk that fills up now is noticed too.
  if (!output->Flush()) {
    output.reset();
    platform::files().DeleteFile(outPath);
    throw support::EWriteError("Stream write error");
  }
  // The date is set through the output handle, after the last byte and
  // before the close: the file is opened once, and a member whose attributes
  // make it read-only still gets its date.
  if (finished) output->SetDosTime(current_.DateTime);
  output.reset();
  if (finished && RetainAttributes)
    platform::files().SetAttributes(outPath, uint32_t(current_.ExternalAttributes));

  // 8. CRC verdict.
  uint32_t crc = ~runningCrc_;
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
    if (!retry_ && OnSkippingFile) OnSkippingFile(this, srBadPassword, storedName, fileIndex);
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
