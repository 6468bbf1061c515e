// The browse button's folder chooser: where it starts, the tree, typed names
// and the question for a folder that does not exist.
#include "installer/folder_chooser.h"

#include <gtest/gtest.h>

#include "tests/installer/installer_fixture.h"

namespace installer_test {
namespace {

class FolderChooserTest : public InstallerTest {
 protected:
  void SetUp() override {
    InstallerTest::SetUp();
    files_->ForceDirectories(Dist("work\\beta"));
    files_->ForceDirectories(Dist("work\\Alpha"));
    WriteDistFile("work\\file.txt");
  }
  std::vector<std::string> Captions(platform::Form& f, const char* control) {
    std::vector<std::string> out;
    for (const auto& item : f[control].items) out.push_back(item.caption);
    return out;
  }
};

TEST_F(FolderChooserTest, StartsAtTheFieldOrAtProgramFiles) {
  installer::ProductDefinition product = installer::ShippedProduct();
  Start(product);
  installer::Profile().ProgramFilesDir = Dist("work");
  main_->form["Edit1"].caption = Dist("missing");
  ExpectForm("FolderChooser", [&](platform::Form& f) {
    EXPECT_EQ(f.caption, A("Выбор каталога"));
    EXPECT_EQ(f["Label1"].caption, A("Имя каталога:"));
    EXPECT_EQ(f["Label2"].caption, A("Каталоги:"));
    EXPECT_EQ(f["Label3"].caption, A("Диски:"));
    EXPECT_EQ(f["Button3"].caption, A("Сеть..."));
    EXPECT_EQ(f["Edit1"].caption, Dist("work"));
    // The tree ends with the start folder's sub-folders, sorted, files left out.
    const auto items = Captions(f, "ListBox1");
    ASSERT_GE(items.size(), 3u);
    EXPECT_EQ(items[items.size() - 3].find("work") != std::string::npos, true);
    EXPECT_EQ(items[items.size() - 2].substr(items[items.size() - 2].find_first_not_of(' ')),
              "Alpha");
    EXPECT_EQ(items.back().substr(items.back().find_first_not_of(' ')), "beta");
    // Opening "beta" and accepting it.
    f.Select("ListBox1", static_cast<int>(items.size()) - 1);
    EXPECT_EQ(f["Edit1"].caption, Dist("work\\beta"));
    f.DoubleClick("ListBox1");
    f.Click("Button1");
  });
  main_->form.Click("Button1");
  EXPECT_EQ(main_->form["Edit1"].caption, Dist("work\\beta"));

  // Cancel leaves the field as it was; the chooser starts at the field's folder.
  ExpectForm("FolderChooser", [&](platform::Form& f) {
    EXPECT_EQ(f["Edit1"].caption, Dist("work\\beta"));
    f.Click("Button2");
  });
  main_->form.Click("Button1");
  EXPECT_EQ(main_->form["Edit1"].caption, Dist("work\\beta"));
}

TEST_F(FolderChooserTest, TypedFolderThatDoesNotExistNeedsAYes) {
  installer::TFolderChooser chooser;
  std::string folder = Dist("work");
  ExpectForm("FolderChooser", [&](platform::Form& f) {
    f["Edit1"].caption = "New Folder";  // relative to the folder shown
    f.Click("Button1");
    EXPECT_EQ(f.modalResult, platform::kMrNone);  // answered No: the chooser stays
    f.Click("Button1");
  });
  ui_.ExpectMessage(platform::kButtonNo, A("Указанный каталог не существует. Создать его?"));
  ui_.ExpectMessage(platform::kButtonYes, A("Создать его?"));
  ASSERT_TRUE(chooser.Execute(folder));
  EXPECT_EQ(folder, Dist("work\\New Folder"));
  EXPECT_FALSE(files_->DirectoryExists(folder));  // nothing is created
  EXPECT_EQ(ui_.Shown()[0].kind, platform::MessageKind::Confirmation);
}

TEST_F(FolderChooserTest, TypedNames) {
  struct Case {
    const char* typed;
    std::string expected;
  };
  const std::string drive = Dist("").substr(0, 2);
  for (const Case& c :
       {Case{"  Alpha  ", Dist("work\\Alpha")}, Case{"beta\\", Dist("work\\beta")}, Case{"", ""}}) {
    SCOPED_TRACE(c.typed);
    installer::TFolderChooser chooser;
    std::string folder = Dist("work");
    ExpectForm("FolderChooser", [&](platform::Form& f) {
      f["Edit1"].caption = c.typed;
      f.Click("Button1");
      if (f.modalResult == platform::kMrNone) f.Click("Button2");
    });
    EXPECT_EQ(chooser.Execute(folder), !c.expected.empty());
    if (!c.expected.empty()) {
      EXPECT_EQ(folder, c.expected);
    }
  }
}

TEST_F(FolderChooserTest, DriveRootKeepsItsBackslash) {
  installer::TFolderChooser chooser;
  std::string folder = Dist("work");
  ExpectForm("FolderChooser", [&](platform::Form& f) {
    f.Select("ListBox1", 0);  // the root of the drive
    f.DoubleClick("ListBox1");
    EXPECT_EQ(f["Edit1"].caption.size(), 3u);
    f.Click("Button1");
  });
  ASSERT_TRUE(chooser.Execute(folder));
  EXPECT_EQ(folder, Dist("work").substr(0, 3));
  EXPECT_EQ(folder.back(), '\\');
}

}  // namespace
}  // namespace installer_test
