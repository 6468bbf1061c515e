// The window model that the installer's windows are built from: events,
// alignment and auto-sized labels.
#include "platform/form.h"

#include <gtest/gtest.h>

#include "installer/inst_f2.h"

namespace {

using platform::ControlKind;
using platform::Form;

TEST(Form, ButtonsActOnlyWhenVisibleAndEnabled) {
  Form f("f");
  int clicks = 0;
  auto& b = f.Add("B", ControlKind::Button, 0, 0, 75, 25);
  b.modalResult = platform::kMrOk;
  b.onClick = [&] { ++clicks; };
  b.visible = false;
  f.Click("B");
  b.visible = true;
  b.enabled = false;
  f.Click("B");
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(f.modalResult, platform::kMrNone);
  b.enabled = true;
  b.onClick = [&] {
    EXPECT_EQ(f.modalResult, platform::kMrOk);  // set before the handler runs
    ++clicks;
  };
  f.Click("B");
  EXPECT_EQ(clicks, 1);
  EXPECT_THROW(f.Click("missing"), std::out_of_range);
}

TEST(Form, CloseAsksFirst) {
  Form f("f");
  bool allow = false;
  int closed = 0;
  f.onCloseQuery = [&](bool& canClose) { canClose = allow; };
  f.onClose = [&] { ++closed; };
  EXPECT_FALSE(f.Close());
  EXPECT_EQ(closed, 0);
  EXPECT_FALSE(f.closeRequested);
  EXPECT_EQ(f.modalResult, platform::kMrNone);
  allow = true;
  EXPECT_TRUE(f.Close());
  EXPECT_EQ(closed, 1);
  EXPECT_TRUE(f.closeRequested);
  EXPECT_EQ(f.modalResult, platform::kMrCancel);
}

TEST(Form, KeysReachTheFormOnlyWithKeyPreview) {
  Form f("f");
  int seen = 0;
  f.onKeyPress = [&](char& key) {
    ++seen;
    key = 0;
  };
  f.onKeyDown = [&](uint16_t&, unsigned) { ++seen; };
  EXPECT_EQ(f.KeyPress('x'), 'x');
  EXPECT_EQ(f.KeyDown(platform::kVkF1, 0), platform::kVkF1);
  EXPECT_EQ(seen, 0);
  f.keyPreview = true;
  EXPECT_EQ(f.KeyPress('x'), 0);
  f.KeyDown(platform::kVkF1, 0);
  EXPECT_EQ(seen, 2);
}

TEST(Form, TimersListsAndChecksIgnoreWhatCannotHappen) {
  Form f("f");
  int events = 0;
  auto& t = f.Add("T", ControlKind::Timer, 0, 0, 0, 0);
  t.enabled = false;
  t.onClick = [&] { ++events; };
  f.Tick("T");
  auto& list = f.Add("L", ControlKind::CheckListBox, 0, 0, 10, 10);
  list.items = {{"a", false}};
  list.onClick = [&] { ++events; };
  f.ToggleItem("L", 1);
  f.ToggleItem("L", -1);
  EXPECT_EQ(events, 0);
  f.ToggleItem("L", 0);
  EXPECT_TRUE(list.items[0].checked);
  auto& combo = f.Add("C", ControlKind::ComboBox, 0, 0, 10, 10);
  combo.items = {{"x", false}, {"y", false}};
  combo.onClick = [&] { ++events; };
  f.Select("C", 2);
  EXPECT_EQ(combo.itemIndex, -1);
  f.Select("C", 1);
  EXPECT_EQ(combo.itemIndex, 1);
  EXPECT_EQ(events, 2);
}

TEST(Form, ViewerLayoutFollowsTheWindowSize) {
  installer::TInstF2 viewer;
  Form& f = viewer.form;
  for (const int width : {688, 300, 1000}) {
    f.clientWidth = width;
    f.clientHeight = 400;
    f.Realign();
    EXPECT_EQ(f["Panel1"].top, 400 - 46);
    EXPECT_EQ(f["Panel1"].width, width);
    EXPECT_EQ(f["Memo1"].height, 400 - 46);
    EXPECT_EQ(f["Memo1"].width, width);
    // The OK button keeps its distance to the right edge: 600 + 75 at the designed width.
    EXPECT_EQ(f["Button1"].left + 75, width - (688 - 675)) << width;
    int x = 0, y = 0;
    f.ClientBounds(f["Button1"], x, y);
    EXPECT_EQ(y, 400 - 46 + 12);
  }
}

class FixedMetrics : public platform::TextMetrics {
 public:
  int Width(const platform::Font&, const std::string& text) override {
    return static_cast<int>(text.size()) * 7;
  }
  int LineHeight(const platform::Font&) override { return 13; }
};

TEST(Form, AutoSizedLabelsTakeTheSizeOfTheirText) {
  FixedMetrics metrics;
  platform::SetTextMetrics(&metrics);
  Form f("f");
  auto& label = f.Add("L", ControlKind::Label, 20, 20, 0, 0);
  label.autoSize = true;
  label.SetCaption("twelve chars");
  EXPECT_EQ(label.width, 84);
  EXPECT_EQ(label.height, 13);
  auto& wrapped = f.Add("W", ControlKind::Label, 0, 0, 70, 0);
  wrapped.autoSize = wrapped.wordWrap = true;
  wrapped.SetCaption("aaaa bbbb cccc dddd");  // two words (9 chars, 63 px) a line
  EXPECT_EQ(wrapped.height, 2 * 13);
  wrapped.SetCaption("line one\r\nline two\r\nthree");
  EXPECT_EQ(wrapped.height, 3 * 13);
  auto& fixed = f.Add("F", ControlKind::Label, 0, 0, 50, 10);
  fixed.SetCaption("much longer than fifty pixels");
  EXPECT_EQ(fixed.width, 50);
  platform::SetTextMetrics(nullptr);
}

}  // namespace
