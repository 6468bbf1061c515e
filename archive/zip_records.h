// In-memory records of a ZIP archive's directory: one member (TZipHeaderInfo),
// the end-of-central-directory record (TEndCentral) and the sorted member list
// (TSortedZip), plus the three reads that fill them from a positioned stream.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/zip_stream.h"
#include "support/object_list.h"

namespace archive {

enum TZipSortMode : uint8_t {
  ByName = 0,
  ByFileName = 1,
  ByDirectoryName = 2,
  ByDate = 3,
  ByCompressedSize = 4,
  ByUnCompressedSize = 5,
  ByRate = 6,
  ByNone = 7,
};

// One archive member, filled from a central header or, by the local header
// scan, from a local header.
class TZipHeaderInfo : public support::TObject {
 public:
  TZipHeaderInfo() { SetDefaults(); }
  std::string ClassName() const override { return "TZipHeaderInfo"; }

  int16_t VersionMadeBy;
  int16_t VersionNeeded;
  int16_t Flags;
  uint16_t Method;
  uint32_t DateTime;  // MS-DOS time in the low half, date in the high half
  uint32_t CRC32;
  int32_t CompressedSize;  // includes a 12-byte encryption header
  int32_t UncompressedSize;
  int16_t NameLength;
  uint16_t ExtraLength;
  uint16_t CommentLength;
  uint16_t DiskStart;
  int16_t InternalAttributes;
  int32_t ExternalAttributes;
  uint32_t LocalHeaderOffset;
  uint32_t CentralHeaderPosition;  // 0 when filled from a local header
  std::string FileName;
  std::string Directory;               // ends with "\" when not empty
  std::optional<std::string> Comment;  // once loaded
  bool Selected;

  void SetDefaults();
  // Copies every field; the comment text only when the source has one loaded
  // and a CommentLength other than 0 (otherwise this record keeps its own).
  void Assign(const TZipHeaderInfo& source);
  void AssignTo(TZipHeaderInfo& dest) const { dest.Assign(*this); }

  void SetFileName(const std::string& text);
  void SetDirectory(const std::string& text);
  void SetComment(const std::optional<std::string>& text);

  bool HasComment() const { return CommentLength != 0; }
  bool IsEncrypted() const { return (Flags & 0x0001) != 0; }
  bool HasDataDescriptor() const { return (Flags & 0x0008) != 0; }
  std::string FullName() const { return Directory + FileName; }

  // Replaces the stream variable by the next volume's stream (multi-volume
  // archives only).
  using NextVolume = std::function<void(TZipHeaderInfo& record, ZipStream*& stream)>;

  // Reads the central header at the stream's position. On false the stream is
  // back where it was. The stream variable may be switched to the next volume.
  // The comment is skipped, or with loadComment read into Comment.
  bool ReadCentralHeader(ZipStream*& stream, const NextVolume& nextVolume,
                         bool loadComment = false);
  // Reads the local header at the stream's position; on success the stream
  // stands right behind the file name. On false it is back where it was.
  bool ReadLocalHeader(ZipStream& stream);
};

// The end-of-central-directory record of the open archive.
class TEndCentral : public support::TObject {
 public:
  TEndCentral() { SetDefaults(); }
  std::string ClassName() const override { return "TEndCentral"; }

  uint32_t Signature;
  uint16_t ThisDisk;  // not 0: a multi-volume archive
  int16_t CentralStartDisk;
  int16_t EntriesThisDisk;
  uint16_t TotalEntries;
  uint32_t CentralSize;
  uint32_t CentralOffset;
  uint16_t CommentLength;
  std::optional<std::string> Comment;
  uint32_t CommentPosition;

  void SetDefaults();
  void Assign(const TEndCentral& source);
  void AssignTo(TEndCentral& dest) const { dest.Assign(*this); }
  bool HasComment() const { return CommentLength != 0; }

  // Searches the last 65528 bytes of the stream backwards for the record's
  // signature and fills the record from the last one found. The stream's
  // position afterwards is undefined.
  bool Search(ZipStream& stream);
};

// Sorted list of member records (the key of a record is the record itself).
// Duplicates mode as in the object containers: 0 ignores a record whose key is
// present, 1 accepts it in front of the equal ones, 2 raises EListError
// "Duplicate Object index".
class TSortedZip : public support::TSortedObjectList {
 public:
  explicit TSortedZip(uint8_t duplicates, bool ownsItems = true) : TSortedObjectList(duplicates) {
    SetOwnsItems(ownsItems);
  }
  std::string ClassName() const override { return "TSortedZip"; }

  TZipSortMode SortMode = ByNone;

  // The comparison of an existing item (key1) with a search key (key2): a
  // result of 0 or more places the key in front of the item.
  int Compare(const void* key1, const void* key2) override;

  // Sorted insert of a record. A record that is not stored (dropped as a
  // duplicate, or refused with an exception) is destroyed when the list owns
  // its items.
  void AddRecord(TZipHeaderInfo* record);
  TZipHeaderInfo* Get(int index) const {
    return static_cast<TZipHeaderInfo*>(TObjectList::Get(index));
  }
};

// Reads a member's local header at offset (zeros where the stream ends) and
// skips its name and extra field: the stream then stands at the member's
// data, or at its encryption header. The extraction and its read-ahead both
// go to a member's data this way, with the same stream calls.
void SkipLocalHeader(ZipStream& stream, int64_t offset, uint8_t (&header)[30]);

// Clamps out-of-range fields of an MS-DOS date-time; returns the value
// unchanged when nothing was out of range.
uint32_t RepairStamp(uint32_t dosDateTime);

// Seconds since 1980-01-01 of a valid MS-DOS date-time, 0 when the value is
// not a real date and time.
int64_t DosDateTimeToSeconds(uint32_t dosDateTime);

// Turns a stored member name into the ANSI name the engine works with: "/"
// becomes "\", the OEM code page (or UTF-8, when the writer marked the name
// as such) becomes the ANSI one, and components that would place the file
// outside the destination folder are dropped (a drive prefix, empty
// components from a leading or doubled "\", and components of nothing but
// dots and blanks such as "." and "..").
std::string ConvertStoredName(const std::string& stored, bool utf8 = false);

// Splits a converted name at its last "\" or ":".
void SplitName(const std::string& name, std::string& directory, std::string& fileName);

// Case-insensitive ordinal comparison folding only ASCII a-z.
int CompareAsciiNoCase(const std::string& a, const std::string& b);

}  // namespace archive
