#include "installer/inst_f3.h"

#include "support/cp1251.h"

namespace installer {

using platform::ControlKind;

TInstF3::TInstF3() : form("InstF3") {
  form.borderStyle = platform::BorderStyle::None;
  form.systemMenu = false;
  form.SetClientSize(632, 65);
  auto& panel = form.Add("Panel1", ControlKind::Panel, 0, 0, 632, 65);
  panel.align = platform::Align::Client;
  panel.bevelWidth = 2;
  auto& label = form.Add("Label1", ControlKind::Label, 16, 13, 400, 13);
  label.parent = "Panel1";
  label.autoSize = true;
  label.SetCaption(support::Cp1251("Копирование файлов"));
  auto& bar = form.Add("ProgressBar1", ControlKind::ProgressBar, 2, 37, 628, 16);
  bar.parent = "Panel1";
  bar.minimum = 0;
  bar.maximum = 100;
  form.Realign();
}

}  // namespace installer
