// Counts of the file-system calls the win32 platform makes, by kind. On
// Windows every such call is a trip through the kernel's object manager (and
// its file-system filters, antivirus among them); under Wine a round trip to
// wineserver. What an installation costs per file follows the number of
// these calls more than the number of bytes, so they are counted to be cut.
//
// Counting is off unless the environment variable SETUP_WIN32_CALLS names a
// file: the program then appends one line to it at exit,
//   PROGRAM<TAB>opens=N<TAB>creates=N<TAB>...
// with the kinds in the order of CallKind.
#pragma once

namespace platform::win32 {

enum class CallKind {
  Open,        // CreateFile of an existing file
  Create,      // CreateFile that makes (or replaces) a file
  Move,        // MoveFile, MoveFileEx
  Delete,      // DeleteFile, RemoveDirectory
  Attributes,  // Get/SetFileAttributes by name
  Time,        // last-write time by name or handle
  Probe,       // existence tests by name
  Folder,      // CreateDirectory
  Flush,       // FlushFileBuffers
  Copy,        // CopyFile
  Enumerate,   // FindFirstFile
  Count_
};

// Adds one call of a kind, when counting is on.
void CountCall(CallKind kind);

// For tests: counting on or off in this process (the counts start again
// from 0), and the count of a kind so far.
void SetCallCounting(bool on);
long CallsOf(CallKind kind);

}  // namespace platform::win32
