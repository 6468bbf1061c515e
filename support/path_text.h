// Small helpers on Windows paths ("\" between folders) and on the blanks
// around texts, used by the installer, the platform and the tests alike.
#pragma once

#include <string>

namespace support {

// The folder of a path: everything before its last "\" ("E:\setup.exe"
// gives "E:", "a\b\c.txt" gives "a\b"); empty when it has no "\". A ":"
// does not separate: a stored member name may hold one inside a component.
std::string FolderOf(const std::string& path);

// The file name of a path: everything after its last "\" (the whole path
// when it has none).
std::string FileNameOf(const std::string& path);

// The path with the extension of its file name (from the last "." after the
// last "\" or ":") replaced by ext, which includes the dot; ext is appended
// when the file name has no extension.
std::string ChangeFileExt(const std::string& path, const std::string& ext);

// Drops leading and trailing blanks and control characters (every byte up
// to and including the space).
std::string Trim(const std::string& s);

// Drops leading and trailing spaces and tabs only, as profile files and
// command lines treat blanks; other control characters stay.
std::string TrimBlanks(const std::string& s);

}  // namespace support
