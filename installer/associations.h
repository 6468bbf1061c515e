// File associations of the product: one file type per extension, registered
// under HKEY_CLASSES_ROOT with the extension itself as the class name.
#pragma once

#include <cstdint>
#include <string>

namespace installer {

// Writes the six keys of one association, each key's default value, in this
// order: ".ext", "ext", "ext\DefaultIcon", "ext\Shell", "ext\Shell\Open" and
// "ext\Shell\Open\command". The first write that fails ends this
// association's writes; nothing is reported.
void RegisterAssociation(const std::string& Extension, const std::string& ProgramDir,
                         const std::string& ProgramFile, const std::string& Description,
                         int32_t IconIndex);

}  // namespace installer
