#include "installer/inst_f4.h"

#include "installer/profile.h"
#include "platform/platform.h"
#include "support/cp1251.h"

namespace installer {

using platform::ControlKind;

TInstF4::TInstF4()
    : form("InstF4"),
      StaticText1(form.Add("StaticText1", ControlKind::Label, 0, 0, 359, 0)),
      Panel1(form.Add("Panel1", ControlKind::Panel, 0, 0, 359, 46)),
      CheckListBox1(form.Add("CheckListBox1", ControlKind::CheckListBox, 0, 0, 359, 0)),
      Button1(form.Add("Button1", ControlKind::Button, 180, 11, 75, 25)),
      Button2(form.Add("Button2", ControlKind::Button, 268, 11, 75, 25)) {
  form.borderStyle = platform::BorderStyle::Dialog;
  form.SetClientSize(359, 366);
  form.position = platform::FormPosition::ScreenCenter;

  StaticText1.align = platform::Align::Top;
  StaticText1.wordWrap = true;
  StaticText1.autoSize = true;
  Panel1.align = platform::Align::Bottom;
  CheckListBox1.align = platform::Align::Client;
  CheckListBox1.itemHeight = 13;
  CheckListBox1.tabOrder = 0;
  CheckListBox1.onClick = [this] { CheckListBox1Click(); };
  Button1.parent = Panel1.name;
  Button1.caption = "OK";
  Button1.isDefault = true;
  Button1.modalResult = platform::kMrOk;
  Button1.tabOrder = 1;
  Button2.parent = Panel1.name;
  Button2.caption = support::Cp1251("Отмена");
  Button2.isCancel = true;
  Button2.modalResult = platform::kMrCancel;
  Button2.tabOrder = 2;
  form.Realign();

  form.onShow = [this] { FormShow(); };
}

void TInstF4::FormShow() { form.activeControl = CheckListBox1.name; }

void TInstF4::CheckListBox1Click() {
  bool any = false;
  for (const auto& item : CheckListBox1.items) any = any || item.checked;
  Button1.enabled = any;
}

void TInstF4::Prepare() {
  ProductProfile& p = Profile();
  if (p.AllowEmptyChoice) CheckListBox1.onClick = nullptr;
  if (p.ComponentCount > 0) {
    form.caption = p.ChooserCaption;
    StaticText1.SetCaption(p.ChooserText);
    form.SetClientSize(form.clientWidth, Panel1.height + StaticText1.height + p.ChooserListHeight);
  }
  CheckListBox1.items.clear();
  const auto captions = InUse(p.ComponentCaptions, p.ComponentCount);
  for (size_t i = 0; i < captions.size(); ++i) {
    platform::CheckItem item{captions[i], true};
    const std::string dir = platform::text().UpperCase(p.ComponentDirs[i]);
    for (const std::string& excluded : InUse(p.ExcludeDirs, p.ExcludeDirCount)) {
      if (platform::text().UpperCase(excluded) == dir) {
        item.checked = false;
        break;
      }
    }
    CheckListBox1.items.push_back(item);
  }
  form.Realign();
}

}  // namespace installer
