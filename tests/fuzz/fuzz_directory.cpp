// The archive reader on arbitrary bytes: end record search, central and local
// headers, the local header scan, comments, and an extraction of everything
// into a scratch folder on the in-memory files. Nothing may crash or hang.
#include <cstdint>
#include <string>

#include "archive/unzipper.h"
#include "platform/platform.h"
#include "tests/fuzz/memory_machine.h"
#include "tests/fuzz/quiet_ui.h"

namespace {

using fuzz_support::QuietUi;

// An empty machine with the scratch folder.
const std::string& Scratch() {
  static QuietUi ui;
  static const std::string dir = "C:\\scratch";
  platform::Current().ui = &ui;
  fuzz_support::MemoryMachine();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string& dir = Scratch();
  const fuzz_support::ClearFilesAtEnd clearFiles;
  platform::files().ForceDirectories(dir);
  std::string zip = dir + "\\in.zip";
  {
    std::string error;
    auto f = platform::files().Open(zip, platform::OpenMode::Create, &error);
    if (!f) return 0;
    f->Write(bytes, int32_t(size));
  }
  archive::TUnZipper zipper;
  zipper.IncompleteZipMode = size % 2 ? archive::izAssumeBad : archive::izAssumeMulti;
  zipper.DoAll = true;
  zipper.RecreateDirs = true;
  zipper.ReadAhead = true;  // whatever the machine, as the installer runs on most
  zipper.OverwriteMode = archive::Always;
  zipper.OnGetNextDisk = [](archive::TUnZipper*, int, std::string& name) { name.clear(); };
  try {
    zipper.SetZipName(zip);
    zipper.SetDestDir(dir + "\\out");
    zipper.ArchiveComment();
    for (int i = 0; i < zipper.MemberCount() && i < 64; ++i) zipper.MemberComment(i);
    if (zipper.MemberCount() <= 64) zipper.UnZip();
  } catch (const support::Exception&) {
  }
  return 0;
}
