#include "installer/inst_f1.h"

#include <cstdio>

#include "installer/folder_chooser.h"
#include "installer/run_log.h"
#include "installer/run_outcome.h"
#include "installer/settings.h"
#include "platform/platform.h"
#include "support/cp1251.h"
#include "support/path_text.h"

namespace installer {

using platform::ControlKind;
using support::ChangeFileExt;
using support::Cp1251;
using support::FileNameOf;
using support::FolderOf;

namespace {

const char* const kWindowsKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

platform::Font Arial(int height, bool boldItalic, uint32_t color = platform::kColorBlack) {
  platform::Font f;
  f.name = "Arial";
  f.height = height;
  f.bold = f.italic = boldItalic;
  f.color = color;
  return f;
}

// Adds a label in the given font.
platform::Control& AddLabel(platform::Form& form, const char* name, int l, int t, int w, int h,
                            const platform::Font& font) {
  auto& c = form.Add(name, ControlKind::Label, l, t, w, h);
  c.font = font;
  return c;
}

// Adds a bevel drawn as a line along its bottom edge.
platform::Control& AddBevelLine(platform::Form& form, const char* name, int l, int t, int w,
                                int h) {
  auto& c = form.Add(name, ControlKind::Bevel, l, t, w, h);
  c.bevelBottomLine = true;
  return c;
}

// Adds a button with its caption and place in the tab order.
platform::Control& AddButton(platform::Form& form, const char* name, int l, int t, int w, int h,
                             const std::string& caption, int tabOrder) {
  auto& c = form.Add(name, ControlKind::Button, l, t, w, h);
  c.caption = caption;
  c.tabOrder = tabOrder;
  return c;
}

}  // namespace

platform::Button ShowMessage(platform::MessageKind kind, const std::string& text,
                             unsigned buttons) {
  platform::MessageBoxRequest box;
  box.kind = kind;
  box.text = text;
  box.buttons = buttons;
  return platform::ui().MessageBox(box);
}

// The controls are added in the order the window draws them.
TInstF1::TInstF1(const ProductDefinition& product)
    : form("InstF1"),
      Label2(AddLabel(form, "Label2", 22, 18, 594, 32, Arial(27, true, platform::kColorGray))),
      Label1(AddLabel(form, "Label1", 20, 17, 594, 32, Arial(27, true))),
      Label3(AddLabel(form, "Label3", 20, 59, 605, 23, Arial(19, false))),
      Label4(AddLabel(form, "Label4", 20, 97, 594, 19, Arial(13, false))),
      Label6(AddLabel(form, "Label6", 20, 96, 594, 19, Arial(16, false))),
      Bevel1(AddBevelLine(form, "Bevel1", 8, 127, 616, 9)),
      Label5(form.Add("Label5", ControlKind::Label, 20, 156, 0, 13)),
      Edit1(form.Add("Edit1", ControlKind::Edit, 312, 153, 217, 21)),
      Button1(AddButton(form, "Button1", 542, 151, 75, 25, Cp1251("Обзор..."), 1)),
      Bevel2(AddBevelLine(form, "Bevel2", 8, 184, 616, 9)),
      Button2(AddButton(form, "Button2", 15, 208, 178, 25, std::string(), 2)),
      Button3(AddButton(form, "Button3", 207, 208, 178, 25, Cp1251("Лицензионное соглашение"), 3)),
      Button4(AddButton(form, "Button4", 424, 208, 89, 25, Cp1251("Установка"), 4)),
      Button5(AddButton(form, "Button5", 528, 208, 89, 25, Cp1251("Выход"), 5)),
      Timer1(form.Add("Timer1", ControlKind::Timer, 0, 0, 0, 0)),
      product_(product) {
  form.borderStyle = platform::BorderStyle::Dialog;
  form.systemMenu = true;
  form.minimizeBox = true;
  form.maximizeBox = false;
  form.SetClientSize(632, 248);
  form.position = platform::FormPosition::ScreenCenter;
  form.keyPreview = true;
  form.activeControl = Button4.name;

  Label2.transparent = true;
  Label1.transparent = true;
  Label4.alignment = platform::TextAlign::Right;
  Label6.transparent = true;
  Label5.autoSize = true;
  Edit1.tabOrder = 0;
  Button2.tag = 1;
  Button3.tag = 2;
  Button4.isDefault = true;
  Timer1.enabled = false;
  Timer1.interval = 200;

  Button1.onClick = [this] { Button1Click(); };
  Button2.onClick = [this] { Button2Click(Button2.tag); };
  Button3.onClick = [this] { Button2Click(Button3.tag); };
  Button4.onClick = [this] { Button4Click(); };
  Button5.onClick = [this] { Button5Click(); };
  Timer1.onClick = [this] { Timer1Timer(); };
  form.onShow = [this] { FormShow(); };
  form.onKeyPress = [this](char& key) { FormKeyPress(key); };
  form.onKeyDown = [this](uint16_t& key, unsigned shift) { FormKeyDown(key, shift); };
  form.onCloseQuery = [this](bool& canClose) { FormCloseQuery(canClose); };
  form.onClose = [this] { FormClose(); };
}

void TInstF1::FindProgramFilesDir() {
  ProductProfile& p = Profile();
  auto& files = platform::files();
  auto& registry = platform::registry();
  p.ProgramFilesDir.clear();
  if (registry.KeyExists(platform::RootKey::LocalMachine, kWindowsKey) &&
      registry.OpenKey(platform::RootKey::LocalMachine, kWindowsKey, platform::kKeyAllAccess)) {
    std::string value;
    if (registry.ReadString(platform::RootKey::LocalMachine, kWindowsKey, "ProgramFilesDir",
                            value)) {
      p.ProgramFilesDir = value;
    }
  }
  for (char d = 'C'; p.ProgramFilesDir.empty() && d <= 'Z'; ++d) {
    if (files.DirectoryExists(std::string(1, d) + ":\\Program Files\\")) {
      p.ProgramFilesDir = std::string(1, d) + ":\\Program Files";
    }
  }
  for (char d = 'C'; p.ProgramFilesDir.empty() && d <= 'Z'; ++d) {
    if (files.DirectoryExists(std::string(1, d) + ":\\"))
      p.ProgramFilesDir = std::string(1, d) + ":";
  }
}

void TInstF1::ShowVersionLine() {
  ProductProfile& p = Profile();
  uint32_t stamp = 0;
  std::string line;
  if (platform::files().GetDosTime(VolumePath(p, 1), stamp)) {
    const unsigned day = (stamp >> 16) & 0x1F, month = (stamp >> 21) & 0x0F;
    const unsigned year = 1980 + (stamp >> 25);
    if (day >= 1 && day <= 31 && month >= 1 && month <= 12) {
      char date[16];
      std::snprintf(date, sizeof date, "%02u.%02u.%04u", day, month, year);
      line = Cp1251("Версия ") + p.ProductVersion + Cp1251(" от ") + date;
    }
  }
  Label6.SetCaption(line);
}

// Every archive volume must be beside the installer; without one the program
// reports it and ends.
bool TInstF1::CheckVolumes() {
  const ProductProfile& p = Profile();
  for (int32_t n = 1; n <= p.VolumeCount; ++n) {
    const std::string volume = p.ArchiveName + VolumeSuffix(n);
    if (platform::files().FileExists(VolumePath(p, n))) {
      LogEvent(log_event::kCheck, "volume " + volume + ": present");
      continue;
    }
    const std::string message = Cp1251("Не найден файл ") + volume + ".\r\n" +
                                Cp1251("Выполнить установку ") + p.ProductNounGenitive + " " +
                                p.ProductName + Cp1251(" невозможно.");
    LogEvent(log_event::kCheck, "volume " + volume + ": missing");
    SetOutcome(ExitCode::NotStarted, message);
    ShowMessage(platform::MessageKind::Error, message);
    form.windowState = platform::WindowState::Minimized;
    platform::App().Terminate();
    return false;
  }
  return true;
}

void TInstF1::FormCreate() {
  ProductProfile& p = Profile();
  auto& shell = platform::shell();
  auto& files = platform::files();
  const std::string exePath = shell.ExePath();

  p.StartDir = FolderOf(exePath);
  FindProgramFilesDir();
  LoadSettings(p, SettingsPath(exePath));
  p.SystemDir = shell.SystemDir();
  using platform::SpecialFolder;
  p.ProgramsDir = shell.SpecialFolderPath(AllUsersLinks ? SpecialFolder::CommonPrograms
                                                        : SpecialFolder::Programs);
  p.DesktopDir = shell.SpecialFolderPath(AllUsersLinks ? SpecialFolder::CommonDesktop
                                                       : SpecialFolder::Desktop);

  for (platform::Control* label : {&Label1, &Label3, &Label4, &Label6})
    label->font.color = kTitleColor;

  FillProductTexts(p, product_);
  platform::App().title = p.AppTitle;
  form.caption = p.WindowCaption;
  Label1.SetCaption(p.ProductTitle);
  Label3.SetCaption(p.ProductSubtitle);
  Label4.SetCaption(p.AuthorLine);
  Label5.SetCaption(p.FolderPrompt);
  Edit1.caption = p.ProgramFilesDir + p.DefaultFolderLeaf;

  // The folder field starts 20 pixels after the prompt and keeps its right edge.
  const int oldLeft = Edit1.left;
  Edit1.left = Label5.left + Label5.width + 20;
  Edit1.width -= Edit1.left - oldLeft;

  p.ArchiveName = ChangeFileExt(FileNameOf(exePath), ".dat");
  if (!CheckVolumes()) return;

  Label2.SetCaption(Label1.caption);
  ShowVersionLine();
  Button2.caption = Cp1251("Описание ") + p.ProductNounGenitive;
  p.InstallCaption = Cp1251("Установка ") + p.ProductName;

  if (!files.FileExists(p.StartDir + "\\readme.txt")) {
    Button2.visible = false;
    Button3.left = Button2.left;
  }
  if (!files.FileExists(p.StartDir + "\\license.txt")) Button3.visible = false;

  viewer = std::make_unique<TInstF2>();
  copier = std::make_unique<TInstF3>();
  chooser = std::make_unique<TInstF4>();
  chooser->Prepare();

  if (!p.PresetInstallDir.empty()) Edit1.caption = p.PresetInstallDir;
}

void TInstF1::FormShow() {
  if (Profile().AutoRun) Timer1.enabled = true;
}

void TInstF1::Timer1Timer() {
  Timer1.enabled = false;
  Button4Click();
}

void TInstF1::Button1Click() {
  std::string folder = Edit1.caption;
  if (!platform::files().DirectoryExists(folder)) folder = Profile().ProgramFilesDir;
  TFolderChooser chooser;
  if (chooser.Execute(folder)) Edit1.caption = folder;
}

void TInstF1::Button2Click(int tag) {
  if (viewer) viewer->ShowText(tag);
}

void TInstF1::Button5Click() { form.Close(); }

void TInstF1::FormKeyPress(char& key) {
  if (key == platform::kCharEscape) {
    key = 0;
    form.Close();
  }
}

void TInstF1::FormKeyDown(uint16_t& key, unsigned /*shift*/) {
  if (key != platform::kVkF1) return;
  if (Button2.visible) {
    Button2Click(Button2.tag);
  } else if (Button3.visible) {
    Button2Click(Button3.tag);
  }
}

void TInstF1::FormCloseQuery(bool& canClose) {
  const std::string question = Cp1251("Вы хотите выйти из программы,") + "\r\n" +
                               Cp1251("не выполнив установку ") + Profile().ProductNounGenitive +
                               "?";
  canClose = ShowMessage(platform::MessageKind::Confirmation, question,
                         platform::kButtonYes | platform::kButtonNo) == platform::kButtonYes;
}

void TInstF1::FormClose() {
  Profile().ExcludedComponents.reset();
  SetOutcome(ExitCode::Cancelled, "the user left the main window");
}

}  // namespace installer
