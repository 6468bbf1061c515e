#include "installer/inst_f2.h"

#include "installer/profile.h"
#include "platform/platform.h"
#include "support/cp1251.h"
#include "support/path_text.h"

namespace installer {

using platform::ControlKind;
using support::Trim;

namespace {

// The designed outer size and the sizeable frame around the client area.
constexpr int kOuterWidth = 696, kOuterHeight = 490;
constexpr int kFrameWidth = 8, kFrameHeight = 27;
constexpr int kClientWidth = kOuterWidth - kFrameWidth;

bool IsBreakLine(const std::string& line) {
  if (line.empty()) return true;
  const std::string t = Trim(line);
  if (!t.empty() && (t[0] == '-' || t[0] == '*')) return true;
  return UpperAscii(t.substr(0, 9)) == "COPYRIGHT";
}

}  // namespace

std::vector<std::string> ReflowParagraphs(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  std::string pending;
  for (const std::string& line : lines) {
    if (!IsBreakLine(line)) {
      pending = pending.empty() ? line : pending + " " + Trim(line);
      continue;
    }
    if (!pending.empty()) out.push_back(pending);
    if (line.empty()) out.emplace_back();
    pending = line;
  }
  if (!pending.empty()) out.push_back(pending);
  return out;
}

std::vector<std::string> SplitTextLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) {
      lines.push_back(text.substr(pos));
      break;
    }
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 1;
    if (text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
  }
  return lines;
}

TInstF2::TInstF2()
    : form("InstF2"),
      Panel1(form.Add("Panel1", ControlKind::Panel, 0, 0, kClientWidth, 46)),
      Memo1(form.Add("Memo1", ControlKind::Memo, 0, 0, kClientWidth, 0)),
      Button1(form.Add("Button1", ControlKind::Button, 600, 12, 75, 25)) {
  form.borderStyle = platform::BorderStyle::Sizeable;
  form.systemMenu = true;
  form.maximizeBox = true;
  form.minimizeBox = false;
  form.outerSizeDesigned = true;
  form.width = kOuterWidth;
  form.height = kOuterHeight;
  form.clientWidth = kClientWidth;
  form.clientHeight = kOuterHeight - kFrameHeight;
  form.minWidth = 300;
  form.minHeight = 300;
  form.position = platform::FormPosition::ScreenCenter;
  form.keyPreview = true;

  Panel1.align = platform::Align::Bottom;
  Memo1.align = platform::Align::Client;
  Memo1.readOnly = true;
  Memo1.tabOrder = 0;
  Button1.parent = Panel1.name;
  Button1.caption = "OK";
  Button1.isDefault = true;
  Button1.modalResult = platform::kMrOk;
  Button1.anchorRight = true;
  Button1.rightGap = form.clientWidth - Button1.left - Button1.width;
  Button1.tabOrder = 1;
  form.Realign();

  form.onShow = [this] { FormShow(); };
  form.onKeyPress = [this](char& key) { FormKeyPress(key); };
}

void TInstF2::ShowText(int tag) {
  const ProductProfile& p = Profile();
  std::string path;
  if (tag == 1) {
    form.caption = support::Cp1251("Описание ") + p.ProductNounGenitive +
                   support::Cp1251(" [файл readme.txt]");
    path = p.StartDir + "\\readme.txt";
  } else if (tag == 2) {
    form.caption = support::Cp1251("Лицензионное соглашение [файл license.txt]");
    path = p.StartDir + "\\license.txt";
  } else {
    return;
  }
  if (!platform::files().FileExists(path)) return;
  Memo1.lines.clear();
  if (!LoadReflowed(path)) return;
  form.modalResult = platform::kMrNone;
  platform::ui().ShowModal(form);
}

bool TInstF2::LoadReflowed(const std::string& path) {
  std::string error;
  auto file = platform::files().Open(path, platform::OpenMode::ReadShareRead, &error);
  std::string text;
  bool ok = file != nullptr;
  if (ok) {
    text = platform::ReadToEnd(*file);
    ok = static_cast<int64_t>(text.size()) == file->Size();
    if (!ok) error = "Stream read error";  // what the streams say of a short read
  }
  if (!ok) {
    // The failure the program does not handle itself: the application's
    // error box, with the system's text for it.
    platform::MessageBoxRequest box;
    box.kind = platform::MessageKind::ApplicationError;
    box.text = path + "\r\n\r\n" + error;
    box.buttons = platform::kButtonOk;
    platform::ui().MessageBox(box);
    return false;
  }
  // A NUL byte would cut the text short in the window; show it as a blank.
  for (char& c : text) {
    if (c == '\0') c = ' ';
  }
  Memo1.lines = ReflowParagraphs(SplitTextLines(text));
  return true;
}

void TInstF2::FormShow() { form.activeControl = Memo1.name; }

void TInstF2::FormKeyPress(char& key) {
  if (key == platform::kCharEscape) {
    key = 0;
    form.Close();
  }
}

}  // namespace installer
