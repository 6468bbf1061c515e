// Shell links (".lnk" files) of the product's shortcut table.
#pragma once

#include <cstddef>
#include <string>

namespace installer {

// A link path is saved through a buffer of 200 wide characters: longer paths
// are cut to this many characters.
constexpr size_t kLinkPathMax = 199;

// The path a link file is actually saved under.
std::string SavedLinkPath(const std::string& linkPath);

// Saves a shell link to Target with Arguments and WorkDir at LinkPath (cut
// as SavedLinkPath says), overwriting an existing link. No description,
// icon, hot key or show command is set. False when any step fails.
bool CreateShortcut(const std::string& Target, const std::string& Arguments,
                    const std::string& WorkDir, const std::string& LinkPath);

// The program group's name as messages show it: without its leading
// backslash, at most 100 characters.
std::string GroupDisplayName(const std::string& programGroup);

}  // namespace installer
