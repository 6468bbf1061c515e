// The message tables of the support library: compact tables of numbered texts
// stored as custom resources (type "S_StringTable") of the executable.
//
// Table format: records of (number: int16 little-endian, length n: uint8,
// n text bytes), no header, no padding; a record with number 0 ends the table
// and has no further fields.
//
// GetResourceString is the entry point: it keeps one open table per resource
// name (names compared without regard to letter case) for the life of the
// program and returns the text of a message, or an empty text when the table
// has no such number.
#pragma once

#include <cstdint>
#include <string>

#include "support/object.h"

namespace support {

class TS_StringResource : public TObject {
 public:
  // Address of a record inside the locked table.
  using Record = const uint8_t*;

  // Opens the resource when the name is not empty.
  explicit TS_StringResource(const std::string& resourceName);
  ~TS_StringResource() override;
  TS_StringResource(const TS_StringResource&) = delete;
  TS_StringResource& operator=(const TS_StringResource&) = delete;

  std::string ClassName() const override { return "TS_StringResource"; }

  // The record after the given one; none when the next one is the end record
  // or would not lie wholly inside the resource.
  virtual Record NextEntry(Record record);
  // The record with that number; none when absent. Only records that lie
  // wholly inside the resource are considered, so a malformed table ends the
  // walk instead of reading past it.
  virtual Record FindEntry(int number);
  // Finds and loads the resource. Raises Exception "No such string resource:
  // <name>" when it is absent, EOutOfResources when it cannot be loaded.
  virtual void Open(const std::string& resourceName);
  virtual void Close();
  // Raises EOutOfResources when the loaded resource cannot be locked.
  virtual void Lock();
  virtual void Unlock();

  // The text of a message; empty when the number is absent.
  std::string GetString(int number);

  bool IsOpen() const { return loaded_; }
  bool IsLocked() const { return locked_ != nullptr; }

  // Number and text of a record returned by FindEntry or NextEntry.
  static int16_t RecordNumber(Record record);
  static std::string RecordText(Record record);

 private:
  // True when a whole, non-end record starts at r.
  bool IsWholeRecord(Record r) const;

  // The loaded resource ("resource handle").
  bool loaded_ = false;
  bool lockable_ = false;
  const uint8_t* data_ = nullptr;
  uint32_t size_ = 0;
  // The table's first record while locked.
  const uint8_t* locked_ = nullptr;
};

// Text of message `number` of the table `resourceName`; opens the table on the
// first request for its name. Raises as TS_StringResource::Open when the table
// does not exist; no cache entry is kept then, so the next request tries again.
std::string GetResourceString(const std::string& resourceName, int number);

}  // namespace support
