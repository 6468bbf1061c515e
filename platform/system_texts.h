// The system's texts for the file failures that the implementations which
// keep files themselves (posix, memory) report, as Windows words them.
#pragma once

namespace platform {

inline constexpr const char* kNotFound = "The system cannot find the file specified";
inline constexpr const char* kPathNotFound = "The system cannot find the path specified";
inline constexpr const char* kAccessDenied = "Access is denied";
inline constexpr const char* kSharing =
    "The process cannot access the file because it is being used by another process";
inline constexpr const char* kExists = "The file exists";
inline constexpr const char* kNotSameDevice =
    "The system cannot move the file to a different disk drive";
inline constexpr const char* kInvalidName =
    "The filename, directory name, or volume label syntax is incorrect";
inline constexpr const char* kDiskFull = "There is not enough space on the disk";

}  // namespace platform
