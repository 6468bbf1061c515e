// File associations of the product: one file type per extension, registered
// under HKEY_CLASSES_ROOT with the extension itself as the class name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace installer {

// The six keys of one association under HKEY_CLASSES_ROOT, in the order
// they are written: ".ext", "ext", "ext\DefaultIcon", "ext\Shell",
// "ext\Shell\Open" and "ext\Shell\Open\command".
std::vector<std::string> AssociationKeys(const std::string& Extension);

// Writes the six keys of one association, each key's default value, in
// that order. The first write that fails ends this
// association's writes; the user is told nothing (false, for the run log).
bool RegisterAssociation(const std::string& Extension, const std::string& ProgramDir,
                         const std::string& ProgramFile, const std::string& Description,
                         int32_t IconIndex);

}  // namespace installer
