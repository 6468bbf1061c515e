// The install log that the generic uninstaller reads: Windows-1251 text, one
// entry per line, every line ended by CR LF. Line 1 is the header (the four
// uninstaller texts, each followed by "|"), then one full path per line.
#pragma once

#include <string>
#include <vector>

namespace installer {

// Splits text into lines at CR LF, LF or CR; a final line break ends the
// last line rather than starting an empty one.
std::vector<std::string> SplitLines(const std::string& text);

// Writes the log at path from the install list (line 0 is the header). When a
// log is already there, from an earlier installation into the same folder,
// it keeps its lines, header included, and gains only the paths it does not
// hold yet (compared without regard to letter case); a read-only log is made
// writable first, and it is replaced only by a merged log written in full.
// Throws support::Exception when the log cannot be read or written.
void WriteInstallLog(const std::string& path, const std::vector<std::string>& installList);

}  // namespace installer
