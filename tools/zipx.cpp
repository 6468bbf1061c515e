// zipx: lists and extracts ZIP archives with the installer's unzip component.
//
//   zipx list ARCHIVE
//   zipx extract [-P PASSWORD] [-d DESTDIR] [-o] [-j] ARCHIVE [PATTERN...]
//
// Exit status: 0 every selected member extracted, 1 some skipped or failed,
// 2 the archive could not be read (or the command line is wrong).
#include <cstdio>
#include <string>
#include <vector>

#include "archive/unzipper.h"
#include "platform/platform.h"
#include "support/cp1251.h"
#include "support/exceptions.h"
#include "zipx_console_ui.h"

namespace {

#ifdef _WIN32
// Arguments and console output are in the ANSI code page already.
std::string FromArg(const std::string& s) { return s; }
std::string ToConsole(const std::string& s) { return s; }
#else
// Linux arguments and output are UTF-8; the engine works in Windows-1251.
std::string FromArg(const std::string& s) { return support::Cp1251(s); }
std::string ToConsole(const std::string& s) { return support::Utf8FromCp1251(s); }
#endif

int Usage() {
  std::fprintf(stderr,
               "usage: zipx list ARCHIVE\n"
               "       zipx extract [-P PASSWORD] [-d DESTDIR] [-o] [-j] ARCHIVE [PATTERN...]\n");
  return 2;
}

std::string DosDateText(uint32_t v) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", 1980 + ((v >> 25) & 0x7F),
                (v >> 21) & 0x0F, (v >> 16) & 0x1F, (v >> 11) & 0x1F, (v >> 5) & 0x3F,
                2 * (v & 0x1F));
  return text;
}

int List(archive::TUnZipper& zipper) {
  zipper.ArchiveComment();  // loads the directory
  for (int i = 0; i < zipper.MemberCount(); ++i) {
    const archive::TZipHeaderInfo& m = zipper.Member(i);
    std::printf("%d\t%u\t%d\t%d\t%d\t%08X\t%s\t%s\n", i, unsigned(m.Method),
                m.IsEncrypted() ? 1 : 0, m.CompressedSize, m.UncompressedSize, unsigned(m.CRC32),
                DosDateText(m.DateTime).c_str(), ToConsole(zipper.MemberFullName(i)).c_str());
  }
  return 0;
}

int Extract(archive::TUnZipper& zipper, const std::vector<std::string>& patterns) {
  if (patterns.empty()) {
    zipper.DoAll = true;
  } else {
    std::vector<std::string> list;
    for (std::string p : patterns) {
      for (char& c : p)
        if (c == '/') c = '\\';
      list.push_back(p);
    }
    zipper.SetFilesList(list);
  }
  auto name = [&zipper](int index) { return ToConsole(zipper.MemberFullName(index)); };
  int selected = 0;
  zipper.OnStartUnZipInfo = [&selected](archive::TUnZipper*, int numFiles, int64_t, bool&) {
    selected = numFiles;
  };
  zipper.OnSkippingFile = [](archive::TUnZipper*, archive::TSkipReason reason,
                             const std::string& fName, int) {
    const char* why = reason == archive::srBadPassword   ? "wrong password"
                      : reason == archive::srNoOverwrite ? "file exists"
                                                         : "cannot open file";
    std::fprintf(stderr, "zipx: skipped %s: %s\n", ToConsole(fName).c_str(), why);
  };
  zipper.OnBadCRC = [&name](archive::TUnZipper*, int calc, int stored, int index) {
    std::fprintf(stderr, "zipx: failed %s: CRC error (computed %08X, stored %08X), file deleted\n",
                 name(index).c_str(), unsigned(calc), unsigned(stored));
  };
  int extracted = zipper.UnZip();
  return extracted == selected ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  platform::InstallDefault();
  zipx::ConsoleUi ui;
  platform::Current().ui = &ui;

  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return Usage();
  std::string command = args[0];
  archive::TUnZipper zipper;
  std::string archiveName;
  std::vector<std::string> patterns;
  std::string destDir = ".";
  size_t i = 1;
  if (command == "extract") {
    zipper.OverwriteMode = archive::Never;
    zipper.RecreateDirs = true;
    for (; i < args.size() && args[i].size() > 1 && args[i][0] == '-'; ++i) {
      const std::string& opt = args[i];
      if (opt == "-P" && i + 1 < args.size()) {
        zipper.Password = FromArg(args[++i]);
      } else if (opt == "-d" && i + 1 < args.size()) {
        destDir = args[++i];
      } else if (opt == "-o") {
        zipper.OverwriteMode = archive::Always;
      } else if (opt == "-j") {
        zipper.RecreateDirs = false;
      } else {
        return Usage();
      }
    }
  } else if (command != "list") {
    return Usage();
  }
  if (i >= args.size()) return Usage();
  archiveName = args[i++];
  for (; i < args.size(); ++i) patterns.push_back(FromArg(args[i]));
  if (command == "list" && !patterns.empty()) return Usage();

  try {
    zipper.SetZipName(FromArg(archiveName));
    if (command == "list") return List(zipper);
    zipper.SetDestDir(FromArg(destDir));
    return Extract(zipper, patterns);
  } catch (const support::Exception& e) {
    std::fprintf(stderr, "zipx: %s\n", ToConsole(e.Message()).c_str());
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zipx: %s\n", e.what());
    return 2;
  }
}
