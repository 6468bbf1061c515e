#include "installer/associations.h"

#include "installer/inst_f3.h"
#include "installer/profile.h"
#include "platform/platform.h"

namespace installer {

void RegisterAssociation(const std::string& Extension, const std::string& ProgramDir,
                         const std::string& ProgramFile, const std::string& Description,
                         int32_t IconIndex) {
  const std::string program = ProgramDir + "\\" + ProgramFile;
  const std::pair<std::string, std::string> keys[] = {
      {"." + Extension, Extension},
      {Extension, Description},
      {Extension + "\\DefaultIcon", program + "," + std::to_string(IconIndex)},
      {Extension + "\\Shell", "Open"},
      {Extension + "\\Shell\\Open", "Open"},
      {Extension + "\\Shell\\Open\\command", "\"" + program + "\" \"%1\""},
  };
  auto& registry = platform::registry();
  for (const auto& [key, value] : keys) {
    if (!registry.WriteDefault(platform::RootKey::ClassesRoot, key, value)) return;
  }
}

void TInstF3::RegisterAssociations() {
  const ProductProfile& p = Profile();
  for (int32_t i = 0; i < p.AssociationCount && i < kAssociationSlots; ++i) {
    const AssociationRecord& a = p.Associations[static_cast<size_t>(i)];
    RegisterAssociation(a.Extension, a.ProgramDir, a.ProgramFile, a.Description, a.IconIndex);
  }
}

}  // namespace installer
