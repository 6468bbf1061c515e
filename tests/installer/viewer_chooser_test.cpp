// The text viewer's paragraph re-flow and showing, and the chooser's OK rule.
#include <gtest/gtest.h>

#include "installer/inst_f2.h"
#include "installer/inst_f4.h"
#include "tests/installer/installer_fixture.h"

namespace installer_test {
namespace {

using Lines = std::vector<std::string>;

struct ReflowCase {
  const char* name;
  Lines in;
  Lines out;
};

class ReflowTest : public ::testing::TestWithParam<ReflowCase> {};

TEST_P(ReflowTest, JoinsLinesIntoParagraphs) {
  EXPECT_EQ(installer::ReflowParagraphs(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReflowTest,
    ::testing::Values(
        ReflowCase{"sixLines",
                   {A("Первая строка"), A("вторая строка"), "", A("- пункт один"),
                    A("  продолжение"), A("* пункт два")},
                   {A("Первая строка вторая строка"), "", A("- пункт один продолжение"),
                    A("* пункт два")}},
        ReflowCase{"threeEmptyLines", {"a", "", "", "", "b"}, {"a", "", "", "", "b"}},
        ReflowCase{"copyrightInMixedCase",
                   {"text", "   CopyRight 2011 Mentorix", "all rights", "reserved"},
                   {"text", "   CopyRight 2011 Mentorix all rights reserved"}},
        ReflowCase{"spacesOnlyLineAddsATrailingBlank", {"word", "    "}, {"word "}},
        ReflowCase{"firstLineKeepsItsIndent", {"  indented", "  next"}, {"  indented next"}},
        ReflowCase{"indentedListItem", {"para", "   - item", "more"}, {"para", "   - item more"}},
        ReflowCase{"oneLine", {"single line without break"}, {"single line without break"}},
        ReflowCase{"empty", {}, {}},
        ReflowCase{"copyrightNeedsTheWholeWord", {"a", "copyrigh t"}, {"a copyrigh t"}},
        ReflowCase{"tabsAreTrimmed", {"a", "\tb\t"}, {"a b"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SplitTextLines, EveryLineBreakKind) {
  EXPECT_EQ(installer::SplitTextLines("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(installer::SplitTextLines("a\r\n\r\n"), (Lines{"a", ""}));
  EXPECT_EQ(installer::SplitTextLines("no break"), (Lines{"no break"}));
  EXPECT_EQ(installer::SplitTextLines(""), Lines{});
}

class ViewerTest : public InstallerTest {};

TEST_F(ViewerTest, ShowsTheReadmeReflowed) {
  WriteDistFile("readme.txt", A("Первая строка\r\nвторая строка\r\n\r\n- пункт один\r\n"
                                "  продолжение\r\n* пункт два\r\n"));
  Start();
  ExpectForm("InstF2", [](platform::Form& f) {
    EXPECT_EQ(f.activeControl, "Memo1");
    EXPECT_EQ(f["Memo1"].lines.size(), 4u);
    EXPECT_EQ(f["Memo1"].lines[2], A("- пункт один продолжение"));
    // Esc closes the viewer.
    EXPECT_EQ(f.KeyPress(platform::kCharEscape), 0);
    EXPECT_EQ(f.modalResult, platform::kMrCancel);
  });
  main_->form.Click("Button2");
  EXPECT_EQ(shownForms_.size(), 1u);
}

TEST_F(ViewerTest, EachShowingHoldsOnlyTheSelectedFile) {
  WriteDistFile("readme.txt", "readme");
  WriteDistFile("license.txt", "");
  Start();
  ExpectForm("InstF2", [](platform::Form& f) { f.Click("Button1"); });
  main_->form.Click("Button2");
  ExpectForm("InstF2", [](platform::Form& f) {
    EXPECT_TRUE(f["Memo1"].lines.empty());  // an empty file shows an empty viewer
    EXPECT_EQ(f.modalResult, platform::kMrNone);
  });
  main_->form.Click("Button3");
  EXPECT_EQ(shownForms_.size(), 2u);
}

TEST_F(ViewerTest, FileRemovedAfterStartShowsNothing) {
  WriteDistFile("readme.txt", "x");
  Start();
  files_->DeleteFile(Dist("readme.txt"));
  main_->form.Click("Button2");
  main_->viewer->ShowText(3);  // no such text
  EXPECT_TRUE(shownForms_.empty());
}

TEST_F(ViewerTest, UnreadableFileShowsTheErrorAndNoViewer) {
  WriteDistFile("readme.txt", "x");
  Start();
  main_->viewer->form["Memo1"].lines = {"old"};
  files_->unreadableFiles.insert(Dist("readme.txt"));
  ui_.ExpectMessage(platform::kButtonOk, Dist("readme.txt") + "\r\n\r\nAccess is denied");
  main_->form.Click("Button2");
  EXPECT_TRUE(shownForms_.empty());
  EXPECT_TRUE(main_->viewer->form["Memo1"].lines.empty());
  // The application's error box: its title as caption, the error icon.
  EXPECT_EQ(ui_.Shown()[0].caption, "Mentorix for ZOLV");
  EXPECT_EQ(ui_.Shown()[0].kind, platform::MessageKind::ApplicationError);
}

TEST(Chooser, OkFollowsTheCheckStates) {
  installer::TInstF4 chooser;
  auto& list = chooser.form["CheckListBox1"];
  list.items = {{"a", true}, {"b", true}, {"c", true}};
  for (int i = 0; i < 3; ++i) chooser.form.ToggleItem("CheckListBox1", i);
  EXPECT_FALSE(chooser.form["Button1"].enabled);
  chooser.form.Click("Button1");  // a disabled button does nothing
  EXPECT_EQ(chooser.form.modalResult, platform::kMrNone);
  chooser.form.ToggleItem("CheckListBox1", 1);
  EXPECT_TRUE(chooser.form["Button1"].enabled);
  chooser.form.Click("Button1");
  EXPECT_EQ(chooser.form.modalResult, platform::kMrOk);
  EXPECT_TRUE(chooser.form["Button2"].isCancel);
  chooser.form.Click("Button2");
  EXPECT_EQ(chooser.form.modalResult, platform::kMrCancel);
}

class ChooserTest : public InstallerTest {};

TEST_F(ChooserTest, AllowEmptyChoiceNeverDisablesOk) {
  installer::ProductDefinition product = ProductWith({"A", "B"});
  product.AllowEmptyChoice = true;
  Start(product);
  platform::Form& f = main_->chooser->form;
  f.ToggleItem("CheckListBox1", 0);
  f.ToggleItem("CheckListBox1", 1);
  EXPECT_FALSE(f["CheckListBox1"].items[0].checked || f["CheckListBox1"].items[1].checked);
  EXPECT_TRUE(f["Button1"].enabled);
}

TEST_F(ChooserTest, FirstShowingHasOkEnabledEvenWithNothingChecked) {
  WriteDistFile("setup.ini", "[ExcludeDir]\n1=A\n");
  Start(ProductWith({"A"}));
  platform::Form& f = main_->chooser->form;
  EXPECT_FALSE(f["CheckListBox1"].items[0].checked);
  EXPECT_TRUE(f["Button1"].enabled);
}

}  // namespace
}  // namespace installer_test
