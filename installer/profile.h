// The product profile: the process-wide record of texts, tables, machine
// folders and settings that every window and step of the installer reads.
// The values of one product come from a ProductDefinition (the shipped one is
// ShippedProduct()); the start-up sequence copies them into the profile and
// composes the texts that depend on them. All strings are Windows-1251.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace installer {

// Slots of the profile's fixed tables.
constexpr int kKeptFileSlots = 101;
constexpr int kProductDirSlots = 101;
constexpr int kRequiredFileSlots = 101;
constexpr int kShortcutSlots = 51;
constexpr int kAssociationSlots = 21;
constexpr int kComponentSlots = 21;
constexpr int kExcludeDirSlots = 21;
constexpr int kExcludeDirKeys = 20;  // settings keys 1 to 20 of section ExcludeDir
constexpr int kUninstallExtraSlots = 51;

struct ShortcutRecord {
  std::string Target;
  std::string Arguments;
  std::string WorkDir;
  std::string LinkDir;
  std::string LinkName;  // without ".lnk"
};

struct AssociationRecord {
  std::string Extension;  // without the dot; also the file-type key name
  std::string ProgramDir;
  std::string ProgramFile;
  std::string Description;
  int32_t IconIndex = 0;
};

// Placeholders a definition may use in shortcut fields; they are resolved when
// the profile is filled, so the profile holds the real folders.
inline constexpr const char* kGroupFolderToken = "<ProgramsDir+ProgramGroup>";
inline constexpr const char* kSystemDirToken = "<SystemDir>";

// What is fixed at build time for one product.
struct ProductDefinition {
  std::string AppTitle, WindowCaption, ProductTitle, ProductSubtitle, AuthorLine;
  std::string FolderPrompt;       // label before the folder field
  std::string DefaultFolderLeaf;  // appended to ProgramFilesDir for the folder field
  std::string ProductVersion, ProductName, ProductNoun, ProductNounGenitive;
  std::string LogName, ProgramGroup, PreviousVersionDir;
  std::string PreviousVersionUninstallCommand;  // quoted in PreviousVersionNotice
  std::string HostRequirement;                  // last sentence of MissingHostMessage
  std::string PostInstallProgram, PostInstallParams, PostInstallDir, PostInstallNotice;
  std::string SelfCopyName, ChooserCaption, ChooserText;
  std::array<std::string, 4> UninstallTexts;
  int32_t VolumeCount = 1;
  int32_t ChooserListHeight = 0;
  bool AllowEmptyChoice = false;
  std::vector<std::string> KeptFiles, ProductDirs;
  std::vector<std::string> RequiredFiles;  // stored entries
  int32_t RequiredFileCount = 0;           // entries in use
  std::vector<ShortcutRecord> Shortcuts;
  std::vector<AssociationRecord> Associations;
  std::vector<std::string> ComponentCaptions, ComponentDirs;  // parallel
  std::vector<std::string> UninstallExtras;
};

// The Mentorix product that the installer ships with.
const ProductDefinition& ShippedProduct();

struct ProductProfile {
  // Folders and names found on the machine.
  std::string StartDir, ProgramFilesDir, SystemDir, ProgramsDir, DesktopDir;
  std::string InstallDir, ArchiveName, InstallCaption;

  // Product texts.
  std::string AppTitle, WindowCaption, ProductTitle, ProductSubtitle, AuthorLine;
  std::string FolderPrompt, DefaultFolderLeaf;
  std::string ProductVersion, ProductName, ProductNoun, ProductNounGenitive;
  std::string LogName, ProgramGroup, PreviousVersionDir, PreviousVersionNotice;
  std::string MissingHostMessage;
  std::string PostInstallProgram, PostInstallParams, PostInstallDir, PostInstallNotice;
  std::string SelfCopyName, ChooserCaption, ChooserText;
  std::array<std::string, 4> UninstallTexts;

  // Numbers and flags.
  int32_t VolumeCount = 1;
  int32_t ComponentCount = 0;
  int32_t ChooserListHeight = 0;
  bool AllowEmptyChoice = false;

  // Tables; entries 0 to count-1 are used.
  std::array<std::string, kKeptFileSlots> KeptFiles;
  int32_t KeptFileCount = 0;
  std::array<std::string, kProductDirSlots> ProductDirs;
  int32_t ProductDirCount = 0;
  std::array<std::string, kRequiredFileSlots> RequiredFiles;
  int32_t RequiredFileCount = 0;
  std::array<ShortcutRecord, kShortcutSlots> Shortcuts;
  int32_t ShortcutCount = 0;
  std::array<AssociationRecord, kAssociationSlots> Associations;
  int32_t AssociationCount = 0;
  std::array<std::string, kComponentSlots> ComponentCaptions;
  std::array<std::string, kComponentSlots> ComponentDirs;
  std::array<std::string, kExcludeDirSlots> ExcludeDirs;
  int32_t ExcludeDirCount = 0;
  std::array<std::string, kUninstallExtraSlots> UninstallExtras;
  int32_t UninstallExtraCount = 0;

  // Settings (the settings file may change them).
  std::string PresetInstallDir;
  bool AutoRun = false;
  bool SelectDialog = true;
  bool FinalMessage = true;
  bool LinksStartMenu = true;
  bool LinksDesktop = true;
  bool SetupRun = true;
  std::string SetupParams;

  // Upper-case names of top-level archive folders not to install; built by
  // the Install command, released when the main window closes.
  std::unique_ptr<std::vector<std::string>> ExcludedComponents;

  // Appends a folder to ProductDirs; false (nothing recorded) when the table is full.
  bool AddProductDir(const std::string& dir);
};

// The entries in use of one of the profile's tables: the first count of
// them, never fewer than none nor more than the table holds. Every reader of
// a table goes through this, so a count out of range cannot reach past it.
template <typename T, size_t N>
std::span<T> InUse(std::array<T, N>& table, int32_t count) {
  return std::span<T>(table.data(), static_cast<size_t>(std::clamp<int32_t>(count, 0, N)));
}
template <typename T, size_t N>
std::span<const T> InUse(const std::array<T, N>& table, int32_t count) {
  return std::span<const T>(table.data(), static_cast<size_t>(std::clamp<int32_t>(count, 0, N)));
}

// The process-wide profile.
ProductProfile& Profile();
// Empties the profile (a fresh program run; tests).
void ResetProfile();

// Copies the product's texts, numbers and tables into the profile and builds
// the composed texts. Needs ProgramsDir and SystemDir for the shortcut table.
void FillProductTexts(ProductProfile& profile, const ProductDefinition& product);

// "" for volume 1, the decimal number for volumes 2 and up.
std::string VolumeSuffix(int32_t volume);

// The file of archive volume n: StartDir + "\" + ArchiveName + suffix(n).
std::string VolumePath(const ProductProfile& profile, int32_t volume);

// Replaces every occurrence of macro (matched without regard to ASCII letter
// case) by value, from left to right; inserted text is not searched again.
std::string ReplaceMacro(const std::string& text, const std::string& macro,
                         const std::string& value);

// ASCII upper case (letters a to z only).
std::string UpperAscii(std::string s);

}  // namespace installer
