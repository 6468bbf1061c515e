// The real folder chooser and file-open dialog of the win32 platform: a helper
// thread finds the dialog of this process and accepts it. Needs a display
// (Wine under Xvfb); skipped without one.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <thread>

#include "platform/platform.h"
#include "platform/win32/windows_api.h"
#include "tests/common/test_paths.h"

namespace {

bool HaveDisplay() {
  char display[256] = {};
  return GetEnvironmentVariableA("DISPLAY", display, sizeof display) > 0;
}

struct Search {
  HWND found = nullptr;
};

BOOL CALLBACK FindOwnDialog(HWND window, LPARAM data) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  char cls[32] = {};
  GetClassNameA(window, cls, sizeof cls);
  if (pid == GetCurrentProcessId() && IsWindowVisible(window) && lstrcmpA(cls, "#32770") == 0) {
    reinterpret_cast<Search*>(data)->found = window;
    return FALSE;
  }
  return TRUE;
}

// Waits for a dialog of this process, lets prepare fill it, then presses OK.
template <typename Prepare>
void AcceptDialog(Prepare prepare) {
  for (int i = 0; i < 300; ++i) {
    Search search;
    EnumWindows(FindOwnDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found) {
      Sleep(500);  // let the dialog finish its start-up (start folder, lists)
      prepare(search.found);
      PostMessageA(search.found, WM_COMMAND, IDOK, 0);
      return;
    }
    Sleep(50);
  }
}

TEST(Win32Dialogs, FolderChooserStartsAtTheGivenFolder) {
  if (!HaveDisplay()) GTEST_SKIP() << "no display";
  // The system folder: Wine's chooser cannot select every folder, but it can
  // select this one.
  const std::string start = platform::shell().SystemDir();
  std::thread helper(AcceptDialog<void (*)(HWND)>, [](HWND) {});
  std::string folder = start;
  const bool ok = platform::ui().ChooseFolder("Folder", folder);
  helper.join();
  ASSERT_TRUE(ok);
  EXPECT_EQ(platform::text().UpperCase(folder), platform::text().UpperCase(start));
}

TEST(Win32Dialogs, FileDialogReturnsTheChosenFile) {
  if (!HaveDisplay()) GTEST_SKIP() << "no display";
  testing_support::TempFolder dir;
  const std::string file = dir / "readme.txt";
  ASSERT_TRUE(testing_support::WriteFileBytes(file, "x"));
  std::thread helper([&] {
    AcceptDialog([&](HWND dialog) {
      // The file-name box of the common dialog (cmb13, or edt1 in the old style).
      if (!SetDlgItemTextA(dialog, 0x47C, file.c_str()))
        SetDlgItemTextA(dialog, 0x480, file.c_str());
    });
  });
  std::string chosen;
  const bool ok = platform::ui().OpenFileDialog("Open", "Text|*.txt|All|*.*", chosen);
  helper.join();
  ASSERT_TRUE(ok);
  EXPECT_EQ(platform::text().UpperCase(chosen), platform::text().UpperCase(file));
}

}  // namespace
#endif
