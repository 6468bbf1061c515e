// A whole unzip run over arbitrary bytes, as the installer and zipx drive it:
// directory, selection, every member through positioning, password check,
// decoding, size guard, attributes and the CRC verdict, into a fresh
// destination inside a scratch folder. The first input byte chooses the
// component's settings; with bit 5 the rest is split into two volumes.
//
// Checks besides the sanitizers: nothing appears in the scratch folder
// outside the destination, and no output file is larger than the largest
// declared size (the size guard) or than the archive permits.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

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
  // A disk of 1 MB bounds the work of an input whose members claim much more.
  fuzz_support::MemoryMachine().SetFreeBytes(1 << 20);
  return dir;
}

bool WriteFile(const std::string& path, const uint8_t* bytes, size_t size) {
  std::string error;
  auto f = platform::files().Open(path, platform::OpenMode::Create, &error);
  return f && f->Write(bytes, int32_t(size)) == int32_t(size);
}

// Every file below folder, with its size.
void Walk(const std::string& folder, std::vector<std::pair<std::string, int64_t>>& files) {
  for (const auto& e : platform::files().Enumerate(folder, "*")) {
    const std::string path = folder + "\\" + e.name;
    if (e.attributes & platform::kAttrDirectory)
      Walk(path, files);
    else
      files.emplace_back(path, e.size);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (size < 1) return 0;
  const std::string& dir = Scratch();
  const fuzz_support::ClearFilesAtEnd clearFiles;
  const uint8_t options = bytes[0];
  ++bytes, --size;

  platform::files().ForceDirectories(dir + "\\out\\dest");
  // Volumes: "set.zip" is the last one, as split archives end.
  std::string zip = dir + "\\set.zip";
  size_t cut = (options & 0x20) ? size / 2 : 0;
  if (cut > 0 && !WriteFile(dir + "\\set.z01", bytes, cut)) return 0;
  if (!WriteFile(zip, bytes + cut, size - cut)) return 0;

  archive::TUnZipper zipper;
  // Member data is read ahead on the worker thread whatever the machine, so
  // that the fuzzer drives the worker's volume ends, stops and errors too.
  zipper.ReadAhead = true;
  zipper.IncompleteZipMode = (options & 1) ? archive::izAssumeBad : archive::izAssumeMulti;
  zipper.RecreateDirs = (options & 2) != 0;
  zipper.DoAll = (options & 0x40) == 0;
  if (!zipper.DoAll) zipper.SetFilesList({"*.txt", "*<a-m>*", "d?r\\*"});
  zipper.OverwriteMode = archive::Always;
  zipper.SetSortMode((options & 8) ? archive::ByName : archive::ByNone);
  if (options & 0x80) zipper.SetRootDir("dir");
  zipper.Password = (options & 4) ? "secret" : "3141592653589793238462643383279502";
  int offers = 0;  // one other password, then the member is given up
  if (options & 0x10) {
    zipper.OnBadPassword = [&offers](archive::TUnZipper*, int, std::string& p) {
      if (offers++ == 0) p = "another";
    };
  }
  const std::string firstVolume = dir + "\\set.z01";
  zipper.OnGetNextDisk = [&](archive::TUnZipper*, int disk, std::string& name) {
    name = (cut > 0 && disk == 1) ? firstVolume : (disk == 2 ? zip : std::string());
  };
  int64_t declaredMax = 0;
  try {
    zipper.SetZipName(zip);
    zipper.SetDestDir(dir + "\\out\\dest");
    zipper.ArchiveComment();
    for (int i = 0; i < zipper.MemberCount() && i < 64; ++i) {
      zipper.MemberComment(i);
      declaredMax = std::max<int64_t>(declaredMax, zipper.Member(i).UncompressedSize);
    }
    if (zipper.MemberCount() <= 256) {
      for (int i = 64; i < zipper.MemberCount(); ++i)
        declaredMax = std::max<int64_t>(declaredMax, zipper.Member(i).UncompressedSize);
      zipper.UnZip();
    }
  } catch (const support::Exception&) {
  }

  // Everything on the drive: a file that escaped may be anywhere.
  std::vector<std::pair<std::string, int64_t>> files;
  Walk("C:", files);
  const std::string inside = dir + "\\out\\dest\\";
  for (const auto& [path, bytesOnDisk] : files) {
    if (path == zip || (cut > 0 && path == firstVolume)) continue;
    if (path.compare(0, inside.size(), inside) != 0) __builtin_trap();  // escaped
    if (bytesOnDisk > declaredMax) __builtin_trap();                    // past the size guard
  }
  return 0;
}
