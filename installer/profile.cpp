#include "installer/profile.h"

#include <algorithm>

#include "support/cp1251.h"

// The product's version, set by the build with the version resource's.
#ifndef SETUP_PRODUCT_VERSION
#error "SETUP_PRODUCT_VERSION is set by the build"
#endif

namespace installer {

using support::Cp1251;

const ProductDefinition& ShippedProduct() {
  static const ProductDefinition product = [] {
    ProductDefinition p;
    p.AppTitle = "Mentorix for ZOLV";
    p.WindowCaption = Cp1251("Mentorix Install - Программа установки");
    p.ProductTitle = "Mentorix for Volmar";
    p.ProductSubtitle = Cp1251("Комплекс программ для преподавателя программирования");
    p.AuthorLine = Cp1251("Разработка: лаборатория Mentorix, 2011");
    p.FolderPrompt = Cp1251("Комплекс будет установлен в следующем каталоге:");
    p.DefaultFolderLeaf = "\\Volmarix";
    p.ProductVersion = SETUP_PRODUCT_VERSION;
    p.ProductName = "Mentorix";
    p.ProductNoun = Cp1251("комплекс");
    p.ProductNounGenitive = Cp1251("комплекса");
    p.LogName = "mtxvlm.log";
    p.ProgramGroup = "\\Mentorix for Volmar";
    p.PreviousVersionUninstallCommand = Cp1251("Пуск | Программы | Vexlor 4 | Удаление Vexlor 4");
    p.HostRequirement =
        Cp1251("уже была установлена система Volmar версии не ниже 2.5 или система Volmarix.");
    p.PostInstallNotice =
        "\r\n" + Cp1251("Сейчас будет запущена программа настройки системы Volmar.");
    p.UninstallTexts = {Cp1251("Удаление Mentorix for ZOLV"),
                        Cp1251("Удалить комплекс Mentorix и связанные с ним компоненты?"),
                        Cp1251("Комплекс Mentorix полностью удален."),
                        Cp1251("Комплекс Mentorix удален, за исключением следующих файлов:")};
    p.VolumeCount = 1;
    p.KeptFiles = {"LECTORN.INI", "VARIOMAT.INI"};
    p.ProductDirs = {"%InstallDir%\\MENTORIX"};
    p.RequiredFiles = {"results.vlm", "Volmar~1.exe"};
    p.RequiredFileCount = 0;
    const std::string uninstallArgs = "\"%InstallDir%\\UNINST\\" + p.LogName + "\"";
    const std::string uninstaller = std::string(kSystemDirToken) + "\\sysvanta.exe";
    p.Shortcuts = {
        {"%InstallDir%\\Lectorn.exe", "", "%InstallDir%", kGroupFolderToken, "ZOLV Lectorn"},
        {"%InstallDir%\\Variomat.exe", "", "%InstallDir%", kGroupFolderToken, "VX Variomat"},
        {"%InstallDir%\\MentorixHelp.chm", "", "%InstallDir%", kGroupFolderToken, "Mentorix Info"},
        {uninstaller, uninstallArgs, kSystemDirToken, "%InstallDir%\\UNINST", "MentorixUninstall"},
        {uninstaller, uninstallArgs, kSystemDirToken, kGroupFolderToken, "Mentorix Uninstall"},
    };
    p.Associations = {
        {"vlmgroup", "%InstallDir%", "Lectorn.exe", "Group file for Lectorn", 2},
        {"vmv", "%InstallDir%", "Variomat.exe", "VMV-data for Variomat", 1},
        {"var", "%InstallDir%", "Variomat.exe", "Var-file for Variomat", 2},
        {"extv", "%InstallDir%", "Variomat.exe", "ExtV-data for Variomat", 3},
        {"vmt", "%InstallDir%", "Variomat.exe", "VMT-data for Variomat", 4},
    };
    p.UninstallExtras = {"%InstallDir%\\MENTORIX\\a", "%InstallDir%\\Variomat.ini"};
    return p;
  }();
  return product;
}

namespace {

ProductProfile& Storage() {
  static ProductProfile profile;
  return profile;
}

// Copies at most N entries of a definition table and empties the other
// slots; returns the count used.
template <typename T, size_t N>
int32_t CopyTable(std::array<T, N>& to, const std::vector<T>& from) {
  to.fill(T());
  const size_t n = std::min(N, from.size());
  std::copy_n(from.begin(), n, to.begin());
  return static_cast<int32_t>(n);
}

std::string ResolveTokens(const std::string& s, const ProductProfile& p) {
  std::string out = s;
  const std::string group = kGroupFolderToken, system = kSystemDirToken;
  for (size_t at; (at = out.find(group)) != std::string::npos;) {
    out.replace(at, group.size(), p.ProgramsDir + p.ProgramGroup);
  }
  for (size_t at; (at = out.find(system)) != std::string::npos;) {
    out.replace(at, system.size(), p.SystemDir);
  }
  return out;
}

void CopyPlainTexts(ProductProfile& p, const ProductDefinition& d) {
  p.AppTitle = d.AppTitle;
  p.WindowCaption = d.WindowCaption;
  p.ProductTitle = d.ProductTitle;
  p.ProductSubtitle = d.ProductSubtitle;
  p.AuthorLine = d.AuthorLine;
  p.FolderPrompt = d.FolderPrompt;
  p.DefaultFolderLeaf = d.DefaultFolderLeaf;
  p.ProductVersion = d.ProductVersion;
  p.ProductName = d.ProductName;
  p.ProductNoun = d.ProductNoun;
  p.ProductNounGenitive = d.ProductNounGenitive;
  p.LogName = d.LogName;
  p.ProgramGroup = d.ProgramGroup;
  p.PostInstallProgram = d.PostInstallProgram;
  p.PostInstallParams = d.PostInstallParams;
  p.PostInstallDir = d.PostInstallDir;
  p.PostInstallNotice = d.PostInstallNotice;
  p.SelfCopyName = d.SelfCopyName;
  p.PreviousVersionDir = d.PreviousVersionDir;
  p.ChooserCaption = d.ChooserCaption;
  p.ChooserText = d.ChooserText;
  p.UninstallTexts = d.UninstallTexts;
}

// The texts made of the product's names and the definition's pieces.
void ComposeTexts(ProductProfile& p, const ProductDefinition& d) {
  p.PreviousVersionNotice = Cp1251("Перед установкой данной версии ") + p.ProductNounGenitive +
                            " " + p.ProductName +
                            Cp1251(" необходимо удалить ранее установленную версию (команда ") +
                            "\"" + d.PreviousVersionUninstallCommand + "\").\r\n";
  p.MissingHostMessage =
      Cp1251("В каталоге ") + "\"%InstallDir%\"" + Cp1251(" не найдены некоторые компоненты.") +
      "\r\n" + Cp1251("Для успешной установки ") + p.ProductNounGenitive + " " + p.ProductName +
      Cp1251(" необходимо, чтобы в указанном каталоге ") + d.HostRequirement;
}

void CopyTables(ProductProfile& p, const ProductDefinition& d) {
  p.KeptFileCount = CopyTable(p.KeptFiles, d.KeptFiles);
  p.ProductDirCount = CopyTable(p.ProductDirs, d.ProductDirs);
  CopyTable(p.RequiredFiles, d.RequiredFiles);
  p.RequiredFileCount = std::clamp<int32_t>(d.RequiredFileCount, 0, kRequiredFileSlots);
  p.UninstallExtraCount = CopyTable(p.UninstallExtras, d.UninstallExtras);

  p.ShortcutCount = CopyTable(p.Shortcuts, d.Shortcuts);
  for (ShortcutRecord& r : InUse(p.Shortcuts, p.ShortcutCount)) {
    for (std::string* f : {&r.Target, &r.Arguments, &r.WorkDir, &r.LinkDir, &r.LinkName}) {
      *f = ResolveTokens(*f, p);
    }
  }
  p.AssociationCount = CopyTable(p.Associations, d.Associations);

  // Captions and folders of the components go together; a caption without a
  // folder (or the reverse) does not make a component.
  const size_t components = std::min(d.ComponentCaptions.size(), d.ComponentDirs.size());
  CopyTable(p.ComponentCaptions,
            {d.ComponentCaptions.begin(), d.ComponentCaptions.begin() + components});
  p.ComponentCount =
      CopyTable(p.ComponentDirs, {d.ComponentDirs.begin(), d.ComponentDirs.begin() + components});
}

}  // namespace

ProductProfile& Profile() { return Storage(); }

void ResetProfile() { Storage() = ProductProfile(); }

bool ProductProfile::AddProductDir(const std::string& dir) {
  if (ProductDirCount < 0 || ProductDirCount >= kProductDirSlots) return false;
  ProductDirs[static_cast<size_t>(ProductDirCount++)] = dir;
  return true;
}

void FillProductTexts(ProductProfile& p, const ProductDefinition& d) {
  CopyPlainTexts(p, d);
  ComposeTexts(p, d);
  p.VolumeCount = d.VolumeCount;
  p.ChooserListHeight = d.ChooserListHeight;
  p.AllowEmptyChoice = d.AllowEmptyChoice;
  CopyTables(p, d);
}

std::string VolumeSuffix(int32_t volume) {
  return volume <= 1 ? std::string() : std::to_string(volume);
}

std::string VolumePath(const ProductProfile& p, int32_t volume) {
  return p.StartDir + "\\" + p.ArchiveName + VolumeSuffix(volume);
}

std::string UpperAscii(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

std::string ReplaceMacro(const std::string& text, const std::string& macro,
                         const std::string& value) {
  if (macro.empty()) return text;
  const std::string key = UpperAscii(macro);
  std::string out;
  size_t pos = 0;
  const std::string upper = UpperAscii(text);
  for (;;) {
    const size_t at = upper.find(key, pos);
    if (at == std::string::npos) break;
    out.append(text, pos, at - pos);
    out += value;
    pos = at + key.size();
  }
  out.append(text, pos, std::string::npos);
  return out;
}

}  // namespace installer
