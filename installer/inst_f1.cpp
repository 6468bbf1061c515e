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

}  // namespace

platform::Button ShowMessage(platform::MessageKind kind, const std::string& text,
                             unsigned buttons) {
  platform::MessageBoxRequest box;
  box.kind = kind;
  box.text = text;
  box.buttons = buttons;
  return platform::ui().MessageBox(box);
}

TInstF1::TInstF1(const ProductDefinition& product) : form("InstF1"), product_(product) {
  form.borderStyle = platform::BorderStyle::Dialog;
  form.systemMenu = true;
  form.minimizeBox = true;
  form.maximizeBox = false;
  form.SetClientSize(632, 248);
  form.position = platform::FormPosition::ScreenCenter;
  form.keyPreview = true;
  form.activeControl = "Button4";

  auto label = [&](const char* name, int l, int t, int w, int h, platform::Font font) -> auto& {
    auto& c = form.Add(name, ControlKind::Label, l, t, w, h);
    c.font = font;
    return c;
  };
  label("Label2", 22, 18, 594, 32, Arial(27, true, platform::kColorGray)).transparent = true;
  label("Label1", 20, 17, 594, 32, Arial(27, true)).transparent = true;
  label("Label3", 20, 59, 605, 23, Arial(19, false));
  label("Label4", 20, 97, 594, 19, Arial(13, false)).alignment = platform::TextAlign::Right;
  label("Label6", 20, 96, 594, 19, Arial(16, false)).transparent = true;
  auto& bevel1 = form.Add("Bevel1", ControlKind::Bevel, 8, 127, 616, 9);
  bevel1.bevelBottomLine = true;
  auto& prompt = form.Add("Label5", ControlKind::Label, 20, 156, 0, 13);
  prompt.autoSize = true;
  auto& edit = form.Add("Edit1", ControlKind::Edit, 312, 153, 217, 21);
  edit.tabOrder = 0;
  auto& browse = form.Add("Button1", ControlKind::Button, 542, 151, 75, 25);
  browse.caption = Cp1251("Обзор...");
  browse.tabOrder = 1;
  auto& bevel2 = form.Add("Bevel2", ControlKind::Bevel, 8, 184, 616, 9);
  bevel2.bevelBottomLine = true;
  auto& readme = form.Add("Button2", ControlKind::Button, 15, 208, 178, 25);
  readme.tabOrder = 2;
  readme.tag = 1;
  auto& license = form.Add("Button3", ControlKind::Button, 207, 208, 178, 25);
  license.caption = Cp1251("Лицензионное соглашение");
  license.tabOrder = 3;
  license.tag = 2;
  auto& install = form.Add("Button4", ControlKind::Button, 424, 208, 89, 25);
  install.caption = Cp1251("Установка");
  install.tabOrder = 4;
  install.isDefault = true;
  auto& exit = form.Add("Button5", ControlKind::Button, 528, 208, 89, 25);
  exit.caption = Cp1251("Выход");
  exit.tabOrder = 5;
  auto& timer = form.Add("Timer1", ControlKind::Timer, 0, 0, 0, 0);
  timer.enabled = false;
  timer.interval = 200;

  browse.onClick = [this] { Button1Click(); };
  readme.onClick = [this] { Button2Click(form["Button2"].tag); };
  license.onClick = [this] { Button2Click(form["Button3"].tag); };
  install.onClick = [this] { Button4Click(); };
  exit.onClick = [this] { Button5Click(); };
  timer.onClick = [this] { Timer1Timer(); };
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
  form["Label6"].SetCaption(line);
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
  p.ProgramsDir = shell.SpecialFolderPath(platform::SpecialFolder::Programs);
  p.DesktopDir = shell.SpecialFolderPath(platform::SpecialFolder::Desktop);

  for (const char* name : {"Label1", "Label3", "Label4", "Label6"})
    form[name].font.color = kTitleColor;

  FillProductTexts(p, product_);
  platform::App().title = p.AppTitle;
  form.caption = p.WindowCaption;
  form["Label1"].SetCaption(p.ProductTitle);
  form["Label3"].SetCaption(p.ProductSubtitle);
  form["Label4"].SetCaption(p.AuthorLine);
  auto& prompt = form["Label5"];
  prompt.SetCaption(p.FolderPrompt);
  auto& edit = form["Edit1"];
  edit.caption = p.ProgramFilesDir + p.DefaultFolderLeaf;

  // The folder field starts 20 pixels after the prompt and keeps its right edge.
  const int oldLeft = edit.left;
  edit.left = prompt.left + prompt.width + 20;
  edit.width -= edit.left - oldLeft;

  p.ArchiveName = ChangeFileExt(FileNameOf(exePath), ".dat");
  for (int32_t n = 1; n <= p.VolumeCount; ++n) {
    const std::string volume = p.ArchiveName + VolumeSuffix(n);
    if (files.FileExists(VolumePath(p, n))) {
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
    return;
  }

  form["Label2"].SetCaption(form["Label1"].caption);
  ShowVersionLine();
  form["Button2"].caption = Cp1251("Описание ") + p.ProductNounGenitive;
  p.InstallCaption = Cp1251("Установка ") + p.ProductName;

  if (!files.FileExists(p.StartDir + "\\readme.txt")) {
    form["Button2"].visible = false;
    form["Button3"].left = form["Button2"].left;
  }
  if (!files.FileExists(p.StartDir + "\\license.txt")) form["Button3"].visible = false;

  viewer = std::make_unique<TInstF2>();
  copier = std::make_unique<TInstF3>();
  chooser = std::make_unique<TInstF4>();
  chooser->Prepare();

  if (!p.PresetInstallDir.empty()) edit.caption = p.PresetInstallDir;
}

void TInstF1::FormShow() {
  if (Profile().AutoRun) form["Timer1"].enabled = true;
}

void TInstF1::Timer1Timer() {
  form["Timer1"].enabled = false;
  Button4Click();
}

void TInstF1::Button1Click() {
  std::string folder = form["Edit1"].caption;
  if (!platform::files().DirectoryExists(folder)) folder = Profile().ProgramFilesDir;
  TFolderChooser chooser;
  if (chooser.Execute(folder)) form["Edit1"].caption = folder;
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
  if (form["Button2"].visible) {
    Button2Click(form["Button2"].tag);
  } else if (form["Button3"].visible) {
    Button2Click(form["Button3"].tag);
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
