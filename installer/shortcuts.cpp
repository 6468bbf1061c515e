// The program group and the shortcut pass of the finishing pass.
#include "installer/shortcuts.h"

#include "installer/inst_f3.h"
#include "installer/profile.h"
#include "installer/run_log.h"
#include "platform/platform.h"
#include "support/cp1251.h"

namespace installer {

namespace {

constexpr int kShortcutProgress = 5;   // progress units per shortcut row made or tried
constexpr size_t kGroupNameMax = 100;  // characters of the group name in messages

}  // namespace

std::string SavedLinkPath(const std::string& linkPath) { return linkPath.substr(0, kLinkPathMax); }

bool CreateShortcut(const std::string& Target, const std::string& Arguments,
                    const std::string& WorkDir, const std::string& LinkPath) {
  platform::ShellLink link;
  link.target = Target;
  link.arguments = Arguments;
  link.workingDir = WorkDir;
  const std::string path = SavedLinkPath(LinkPath);
  auto& files = platform::files();
  const bool existed = files.FileExists(path);
  if (platform::shell().CreateShellLink(link, path)) return true;
  // A save that failed half-way (a full disk) leaves no broken link behind;
  // a link that was there before is left as it is.
  if (!existed) files.DeleteFile(path);
  return false;
}

// The group name as messages show it: without its leading backslash.
std::string GroupDisplayName(const std::string& programGroup) {
  return programGroup.empty() ? std::string() : programGroup.substr(1, kGroupNameMax);
}

void TInstF3::CreateProgramGroup() {
  const ProductProfile& p = Profile();
  if (!p.LinksStartMenu) return;
  auto& files = platform::files();
  // Without a known Programs folder there is no place for the group: it is
  // reported like a group that could not be made.
  const std::string group = p.ProgramsDir + p.ProgramGroup;
  if (!p.ProgramsDir.empty() && !files.DirectoryExists(group)) {
    undo_.FolderBefore(group);
    groupCreated_ = files.CreateDir(group);
  }
  if (p.ProgramsDir.empty() || !files.DirectoryExists(group)) {
    GroupError = support::Cp1251("Не удалось создать программную группу \"") +
                 GroupDisplayName(p.ProgramGroup) + "\".\r\n";
  }
}

// Saves one link of the table. The link is saved over the one already
// there, so a copy of that one is kept first (on the link's own volume); it
// comes back when the new one cannot be saved, or when the run is rolled
// back. A link that cannot be copied is left as it is, and the row fails.
bool TInstF3::PlaceShortcut(const ShortcutRecord& s, const std::string& linkPath) {
  const std::string saved = SavedLinkPath(linkPath);
  const bool replacing = platform::files().FileExists(saved);
  if (replacing) {
    if (!undo_.CopyBefore(saved, LinkBackupRoot(s.LinkDir))) return false;
  } else {
    undo_.NewBefore(saved);
  }
  if (CreateShortcut(s.Target, s.Arguments, s.WorkDir, linkPath)) return true;
  if (replacing)
    undo_.PutBack(saved);
  else
    undo_.NotPlaced(saved);
  return false;
}

void TInstF3::CreateShortcuts() {
  const ProductProfile& p = Profile();
  auto& files = platform::files();
  auto& text = platform::text();
  const std::string desktop = text.UpperCase(p.DesktopDir);
  const std::string programs = text.UpperCase(p.ProgramsDir);
  for (const ShortcutRecord& s : InUse(p.Shortcuts, p.ShortcutCount)) {
    const std::string linkDir = text.UpperCase(s.LinkDir);
    if (linkDir == desktop && !p.LinksDesktop) continue;
    if (!programs.empty() && linkDir.find(programs) != std::string::npos && !p.LinksStartMenu)
      continue;
    if (files.FileExists(s.Target)) {
      const std::string linkPath = s.LinkDir + "\\" + s.LinkName + ".lnk";
      if (files.DirectoryExists(s.LinkDir) && PlaceShortcut(s, linkPath)) {
        const std::string saved = SavedLinkPath(linkPath);
        Record(saved);
        LogEvent(log_event::kShortcut, "\"" + saved + "\": made");
      } else {
        FailedShortcuts += "\"" + s.LinkDir + "\\" + s.LinkName + "\", ";
        LogEvent(log_event::kShortcut, "\"" + linkPath + "\": could not be made");
      }
    }
    AdvanceProgress(kShortcutProgress);
    platform::ui().ProcessMessages();
  }
}

}  // namespace installer
