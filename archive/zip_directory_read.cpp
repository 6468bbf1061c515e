// The three reads of the archive directory: the end record search, the
// central header read and the local header read.
#include <algorithm>
#include <vector>

#include "archive/zip_constants.h"
#include "archive/zip_records.h"

namespace archive {

using platform::SeekOrigin;

bool TEndCentral::Search(ZipStream& stream) {
  int64_t size = stream.Size();
  if (size < zip::kEndRecordSize) return false;
  int32_t n = int32_t(std::min<int64_t>(size, zip::kEndSearchSpan));
  std::vector<uint8_t> buffer(static_cast<size_t>(n));
  stream.Seek(-int64_t(n), SeekOrigin::End);
  if (stream.Read(buffer.data(), n) < n) return false;
  for (int32_t i = n - zip::kEndRecordSize; i >= 0; --i) {
    if (buffer[size_t(i)] != 'P') continue;
    const uint8_t* p = buffer.data() + i;
    if (zip::Get32(p) != zip::kEndRecordSig) continue;
    ThisDisk = zip::Get16(p + zip::kEndThisDisk);
    CentralStartDisk = int16_t(zip::Get16(p + zip::kEndCentralStartDisk));
    EntriesThisDisk = int16_t(zip::Get16(p + zip::kEndEntriesThisDisk));
    TotalEntries = zip::Get16(p + zip::kEndTotalEntries);
    CentralSize = zip::Get32(p + zip::kEndCentralSize);
    CentralOffset = zip::Get32(p + zip::kEndCentralOffset);
    CommentLength = zip::Get16(p + zip::kEndCommentLength);
    // A comment length that reaches back over the record itself would put the
    // comment before it (or, in a short file, before the file's start): the
    // comment is then the bytes that follow the record.
    CommentPosition =
        uint32_t(std::max<int64_t>(size - CommentLength, size - n + i + zip::kEndRecordSize));
    return true;
  }
  return false;
}

bool TZipHeaderInfo::ReadCentralHeader(ZipStream*& stream, const NextVolume& nextVolume,
                                       bool loadComment) {
  int64_t p = stream->Position();
  uint8_t h[zip::kCentralHeaderSize];
  int32_t got = stream->Read(h, zip::kCentralHeaderSize);
  bool cutAtSignature =
      got >= 4 && got < zip::kCentralHeaderSize && zip::Get32(h) == zip::kCentralHeaderSig;
  if ((got == 0 || cutAtSignature) && nextVolume) {
    nextVolume(*this, stream);
    got += stream->Read(h + got, zip::kCentralHeaderSize - got);
  }
  if (got != zip::kCentralHeaderSize || zip::Get32(h) != zip::kCentralHeaderSig) {
    stream->Seek(p, SeekOrigin::Begin);
    return false;
  }
  uint16_t nameLength = zip::Get16(h + zip::kCenNameLength);
  std::string name;
  if (nameLength != 0) {
    name.resize(nameLength);
    if (stream->Read(name.data(), nameLength) < nameLength) {
      stream->Seek(p, SeekOrigin::Begin);
      return false;
    }
    name = ConvertStoredName(name, zip::Get16(h + zip::kCenFlags) & zip::kFlagUtf8Name);
  }
  uint16_t extraLength = zip::Get16(h + zip::kCenExtraLength);
  uint16_t commentLength = zip::Get16(h + zip::kCenCommentLength);
  std::optional<std::string> comment;
  if (loadComment) {
    stream->Seek(extraLength, SeekOrigin::Current);
    comment.emplace(commentLength, '\0');
    comment->resize(size_t(stream->Read(comment->data(), commentLength)));
  } else {
    stream->Seek(int64_t(extraLength) + commentLength, SeekOrigin::Current);
  }

  VersionMadeBy = int16_t(zip::Get16(h + zip::kCenVersionMadeBy));
  VersionNeeded = int16_t(zip::Get16(h + zip::kCenVersionNeeded));
  Flags = int16_t(zip::Get16(h + zip::kCenFlags));
  Method = zip::Get16(h + zip::kCenMethod);
  DateTime = RepairStamp(zip::Get32(h + zip::kCenTime));
  CRC32 = zip::Get32(h + zip::kCenCrc);
  CompressedSize = int32_t(zip::Get32(h + zip::kCenCompressedSize));
  UncompressedSize = int32_t(zip::Get32(h + zip::kCenUncompressedSize));
  ExtraLength = extraLength;
  CommentLength = commentLength;
  DiskStart = zip::Get16(h + zip::kCenDiskStart);
  InternalAttributes = int16_t(zip::Get16(h + zip::kCenInternalAttributes));
  ExternalAttributes = int32_t(zip::Get32(h + zip::kCenExternalAttributes));
  LocalHeaderOffset = zip::Get32(h + zip::kCenLocalHeaderOffset);
  SplitName(name, Directory, FileName);
  NameLength = int16_t(Directory.size() + FileName.size());
  Comment = std::move(comment);
  Selected = false;
  CentralHeaderPosition = uint32_t(p);
  return true;
}

bool TZipHeaderInfo::ReadLocalHeader(ZipStream& stream) {
  int64_t p = stream.Position();
  uint8_t h[zip::kLocalHeaderSize];
  if (stream.Read(h, zip::kLocalHeaderSize) != zip::kLocalHeaderSize ||
      zip::Get32(h) != zip::kLocalHeaderSig) {
    stream.Seek(p, SeekOrigin::Begin);
    return false;
  }
  uint16_t nameLength = zip::Get16(h + zip::kLocNameLength);
  std::string name;
  if (nameLength != 0) {
    name.resize(nameLength);
    if (stream.Read(name.data(), nameLength) < nameLength) {
      stream.Seek(p, SeekOrigin::Begin);
      return false;
    }
    name = ConvertStoredName(name, zip::Get16(h + zip::kLocFlags) & zip::kFlagUtf8Name);
  }
  VersionMadeBy = 0;
  VersionNeeded = int16_t(zip::Get16(h + zip::kLocVersionNeeded));
  Flags = int16_t(zip::Get16(h + zip::kLocFlags));
  Method = zip::Get16(h + zip::kLocMethod);
  DateTime = RepairStamp(zip::Get32(h + zip::kLocTime));
  CRC32 = zip::Get32(h + zip::kLocCrc);
  CompressedSize = int32_t(zip::Get32(h + zip::kLocCompressedSize));
  UncompressedSize = int32_t(zip::Get32(h + zip::kLocUncompressedSize));
  ExtraLength = zip::Get16(h + zip::kLocExtraLength);
  CommentLength = 0;
  DiskStart = 0;
  InternalAttributes = 0;
  ExternalAttributes = 0;
  CentralHeaderPosition = 0;
  SplitName(name, Directory, FileName);
  NameLength = int16_t(Directory.size() + FileName.size());
  Comment.reset();
  Selected = false;
  LocalHeaderOffset = uint32_t(p);
  return true;
}

}  // namespace archive
