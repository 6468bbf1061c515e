#include "installer/associations.h"

#include "installer/inst_f3.h"
#include "installer/profile.h"
#include "installer/run_log.h"
#include "platform/platform.h"

namespace installer {

std::vector<std::string> AssociationKeys(const std::string& Extension) {
  return {"." + Extension,
          Extension,
          Extension + "\\DefaultIcon",
          Extension + "\\Shell",
          Extension + "\\Shell\\Open",
          Extension + "\\Shell\\Open\\command"};
}

bool RegisterAssociation(const std::string& Extension, const std::string& ProgramDir,
                         const std::string& ProgramFile, const std::string& Description,
                         int32_t IconIndex) {
  const std::string program = ProgramDir + "\\" + ProgramFile;
  const std::vector<std::string> keys = AssociationKeys(Extension);
  const std::string values[] = {Extension, Description, program + "," + std::to_string(IconIndex),
                                "Open",    "Open",      "\"" + program + "\" \"%1\""};
  auto& registry = platform::registry();
  for (size_t i = 0; i < keys.size(); ++i) {
    if (!registry.WriteDefault(platform::RootKey::ClassesRoot, keys[i], values[i])) return false;
  }
  return true;
}

void TInstF3::RegisterAssociations() {
  const ProductProfile& p = Profile();
  for (const AssociationRecord& a : InUse(p.Associations, p.AssociationCount)) {
    // The keys as they were, for a rollback.
    const size_t mark = undo_.KeyMark();
    for (const std::string& key : AssociationKeys(a.Extension)) undo_.KeyBefore(key);
    const bool written =
        RegisterAssociation(a.Extension, a.ProgramDir, a.ProgramFile, a.Description, a.IconIndex);
    // A half-written association could send the extension to a class
    // without a command: its keys get their earlier state at once.
    if (!written) undo_.RestoreKeysFrom(mark);
    LogEvent(log_event::kAssociation,
             "." + a.Extension + " -> \"" + a.ProgramDir + "\\" + a.ProgramFile + "\": " +
                 (written ? "written" : "refused by the registry; the keys are as they were"));
  }
}

}  // namespace installer
