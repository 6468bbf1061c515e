#include "installer/inst_f4.h"

#include "installer/profile.h"
#include "platform/platform.h"
#include "support/cp1251.h"

namespace installer {

using platform::ControlKind;

TInstF4::TInstF4() : form("InstF4") {
  form.borderStyle = platform::BorderStyle::Dialog;
  form.SetClientSize(359, 366);
  form.position = platform::FormPosition::ScreenCenter;

  auto& text = form.Add("StaticText1", ControlKind::Label, 0, 0, 359, 0);
  text.align = platform::Align::Top;
  text.wordWrap = true;
  text.autoSize = true;
  auto& panel = form.Add("Panel1", ControlKind::Panel, 0, 0, 359, 46);
  panel.align = platform::Align::Bottom;
  auto& list = form.Add("CheckListBox1", ControlKind::CheckListBox, 0, 0, 359, 0);
  list.align = platform::Align::Client;
  list.itemHeight = 13;
  list.tabOrder = 0;
  list.onClick = [this] { CheckListBox1Click(); };
  auto& ok = form.Add("Button1", ControlKind::Button, 180, 11, 75, 25);
  ok.parent = "Panel1";
  ok.caption = "OK";
  ok.isDefault = true;
  ok.modalResult = platform::kMrOk;
  ok.tabOrder = 1;
  auto& cancel = form.Add("Button2", ControlKind::Button, 268, 11, 75, 25);
  cancel.parent = "Panel1";
  cancel.caption = support::Cp1251("Отмена");
  cancel.isCancel = true;
  cancel.modalResult = platform::kMrCancel;
  cancel.tabOrder = 2;
  form.Realign();

  form.onShow = [this] { FormShow(); };
}

void TInstF4::FormShow() { form.activeControl = "CheckListBox1"; }

void TInstF4::CheckListBox1Click() {
  bool any = false;
  for (const auto& item : form["CheckListBox1"].items) any = any || item.checked;
  form["Button1"].enabled = any;
}

void TInstF4::Prepare() {
  ProductProfile& p = Profile();
  auto& list = form["CheckListBox1"];
  if (p.AllowEmptyChoice) list.onClick = nullptr;
  if (p.ComponentCount > 0) {
    form.caption = p.ChooserCaption;
    auto& text = form["StaticText1"];
    text.SetCaption(p.ChooserText);
    form.SetClientSize(form.clientWidth, form["Panel1"].height + text.height + p.ChooserListHeight);
  }
  list.items.clear();
  for (int32_t i = 0; i < p.ComponentCount && i < kComponentSlots; ++i) {
    platform::CheckItem item{p.ComponentCaptions[static_cast<size_t>(i)], true};
    const std::string dir = platform::text().UpperCase(p.ComponentDirs[static_cast<size_t>(i)]);
    for (int32_t k = 0; k < p.ExcludeDirCount && k < kExcludeDirSlots; ++k) {
      if (platform::text().UpperCase(p.ExcludeDirs[static_cast<size_t>(k)]) == dir) {
        item.checked = false;
        break;
      }
    }
    list.items.push_back(item);
  }
  form.Realign();
}

}  // namespace installer
