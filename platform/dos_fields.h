// A DOS date and time (the archive's and FAT's stamp: two-second steps,
// years 1980 to 2107) and its calendar fields, shared by the
// implementations that keep times themselves (posix, memory).
#pragma once

#include <cstdint>
#include <ctime>

namespace platform {

// The stamp of calendar fields whose year lies in the stamp's range.
inline uint32_t DosOf(const struct tm& tm) {
  return (static_cast<uint32_t>(tm.tm_year - 80) << 25) |
         (static_cast<uint32_t>(tm.tm_mon + 1) << 21) | (static_cast<uint32_t>(tm.tm_mday) << 16) |
         (static_cast<uint32_t>(tm.tm_hour) << 11) | (static_cast<uint32_t>(tm.tm_min) << 5) |
         static_cast<uint32_t>(tm.tm_sec / 2);
}

// The calendar fields of a stamp; false when a field is out of its range.
// A day past its month's end ("31 February") passes: the caller's calendar
// arithmetic decides what it becomes.
inline bool DosFields(uint32_t dos, struct tm& tm) {
  tm = {};
  tm.tm_year = static_cast<int>(dos >> 25) + 80;
  tm.tm_mon = static_cast<int>((dos >> 21) & 0x0F) - 1;
  tm.tm_mday = static_cast<int>((dos >> 16) & 0x1F);
  tm.tm_hour = static_cast<int>((dos >> 11) & 0x1F);
  tm.tm_min = static_cast<int>((dos >> 5) & 0x3F);
  tm.tm_sec = static_cast<int>(dos & 0x1F) * 2;
  return tm.tm_mon >= 0 && tm.tm_mon <= 11 && tm.tm_mday >= 1 && tm.tm_hour <= 23 &&
         tm.tm_min <= 59 && tm.tm_sec <= 59;
}

}  // namespace platform
