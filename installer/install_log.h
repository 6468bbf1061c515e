// The install log that the generic uninstaller reads: Windows-1251 text, one
// entry per line, every line ended by CR LF. Line 1 is the header (the four
// uninstaller texts, each followed by "|"), then one full path per line.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace installer {

// Splits text into lines at CR LF, LF or CR; a final line break ends the
// last line rather than starting an empty one.
std::vector<std::string> SplitLines(const std::string& text);

// True when a log's bytes begin with a header line: texts, each followed by
// "|", and a line break. An empty file, or one cut off in its first line
// (a write that failed), has none.
bool HasHeaderLine(const std::string& log);

// Writes the log at path from the install list (line 0 is the header). When a
// log is already there, from an earlier installation into the same folder,
// it keeps its lines, header included, and gains only the paths it does not
// hold yet (compared without regard to letter case); a file there without a
// header line counts as no log. The log is written in full to path + ".new"
// first, which then replaces the earlier log in one step, a read-only one
// too. Throws ERunFailure naming the file when it cannot be read or written;
// the earlier log is then as it was, and no ".new" file is left.
// swap puts the written file in place (default: Files::ReplaceFile); the
// run passes one that keeps the earlier log for its rollback.
using LogSwap = std::function<bool(const std::string& written, const std::string& path)>;
void WriteInstallLog(const std::string& path, const std::vector<std::string>& installList,
                     const LogSwap& swap = {});

}  // namespace installer
