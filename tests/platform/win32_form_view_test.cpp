// The window layer keeps a shown form's real windows in step with changes the
// handlers make later: a progress bar's range and position, and the form's
// own visibility. A timer on the form steps through the changes; each tick
// first checks what the windows show for the previous step. Needs a display
// (Wine under Xvfb); skipped without one.
#ifdef _WIN32
#include <gtest/gtest.h>

#include "platform/win32/windows_api.h"
// After <windows.h>.
#include <commctrl.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/form.h"
#include "platform/platform.h"
#include "platform/win32/form_view.h"
#include "platform/win32/win32.h"

namespace {

bool HaveDisplay() {
  char display[256] = {};
  return GetEnvironmentVariableA("DISPLAY", display, sizeof display) > 0;
}

struct BarState {
  int low, high, position;
};

BarState ReadBar(HWND bar) {
  return {static_cast<int>(SendMessageA(bar, PBM_GETRANGE, TRUE, 0)),
          static_cast<int>(SendMessageA(bar, PBM_GETRANGE, FALSE, 0)),
          static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0))};
}

// A borderless strip like the copy window: a progress bar and a timer. Each
// step changes the form; the next tick checks the windows, then runs the
// next step. The last tick ends the modal loop.
class StepForm {
 public:
  explicit StepForm(const std::string& caption) : form("StepForm") {
    form.caption = caption;
    form.borderStyle = platform::BorderStyle::None;
    form.SetClientSize(300, 40);
    form.left = 40;
    form.top = 40;
    auto& bar = form.Add("Bar", platform::ControlKind::ProgressBar, 2, 10, 296, 16);
    bar.maximum = 100;
    auto& timer = form.Add("Timer", platform::ControlKind::Timer, 0, 0, 0, 0);
    timer.interval = 30;
    timer.onClick = [this] { Tick(); };
  }

  platform::Form form;
  // Each step: check the windows for the step before, then change the form.
  std::vector<std::function<void(HWND window, HWND bar)>> steps;

 private:
  void Tick() {
    HWND window = FindWindowA("MentorixForm", form.caption.c_str());
    HWND bar = window ? FindWindowExA(window, nullptr, PROGRESS_CLASSA, nullptr) : nullptr;
    if (!window || !bar) {
      ADD_FAILURE() << "the form's windows were not found";
      form.modalResult = platform::kMrCancel;
      return;
    }
    // A step may show a modal box, whose loop delivers further ticks.
    if (busy_ || next_ >= steps.size()) return;
    busy_ = true;
    steps[next_++](window, bar);
    busy_ = false;
    if (next_ == steps.size()) form.modalResult = platform::kMrOk;
  }
  size_t next_ = 0;
  bool busy_ = false;
};

TEST(Win32FormView, ProgressBarFollowsRangeAndPositionSetWhileShown) {
  if (!HaveDisplay()) GTEST_SKIP() << "no display";
  StepForm f("progress range test");
  platform::Control& bar = f.form["Bar"];
  std::vector<BarState> seen;
  auto look = [&](HWND bar) { seen.push_back(ReadBar(bar)); };
  f.steps = {
      [&](HWND, HWND h) {
        look(h);  // as created: the designed range
        bar.maximum = 125;
        bar.position = 110;
      },
      [&](HWND, HWND h) {
        look(h);
        bar.position = 125;
      },
      [&](HWND, HWND h) {
        look(h);
        // A smaller range and a position inside it: the bar must not keep
        // the position the control clamped to.
        bar.maximum = 50;
        bar.position = 50;
      },
      [&](HWND, HWND h) {
        look(h);
        bar.minimum = 10;
        bar.maximum = 20;
        bar.position = 15;
      },
      [&](HWND, HWND h) { look(h); },
  };
  EXPECT_EQ(platform::win32::ShowFormModal(f.form), platform::kMrOk);
  ASSERT_EQ(seen.size(), 5u);
  const BarState expected[] = {
      {0, 100, 0}, {0, 125, 110}, {0, 125, 125}, {0, 50, 50}, {10, 20, 15}};
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].low, expected[i].low) << "step " << i;
    EXPECT_EQ(seen[i].high, expected[i].high) << "step " << i;
    EXPECT_EQ(seen[i].position, expected[i].position) << "step " << i;
  }
}

TEST(Win32FormView, FormCanBeHiddenAndShownWhileModal) {
  if (!HaveDisplay()) GTEST_SKIP() << "no display";
  StepForm f("visibility test");
  f.form.visible = false;  // left over from an earlier showing: showing sets it again
  std::vector<bool> seen;
  f.steps = {
      [&](HWND w, HWND) {
        seen.push_back(IsWindowVisible(w) != FALSE);
        f.form.visible = false;
      },
      [&](HWND w, HWND) {
        seen.push_back(IsWindowVisible(w) != FALSE);
        f.form.visible = true;
      },
      [&](HWND w, HWND) { seen.push_back(IsWindowVisible(w) != FALSE); },
  };
  // Hidden, the modal loop goes on: the timer still ticks and ends it.
  EXPECT_EQ(platform::win32::ShowFormModal(f.form), platform::kMrOk);
  EXPECT_EQ(seen, (std::vector<bool>{true, false, true}));
  EXPECT_TRUE(f.form.visible);
}

struct DialogSearch {
  HWND found = nullptr;
};

BOOL CALLBACK FindOwnMessageBox(HWND window, LPARAM data) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  char cls[32] = {};
  GetClassNameA(window, cls, sizeof cls);
  if (pid == GetCurrentProcessId() && IsWindowVisible(window) && lstrcmpA(cls, "#32770") == 0) {
    reinterpret_cast<DialogSearch*>(data)->found = window;
    return FALSE;
  }
  return TRUE;
}

TEST(Win32FormView, WindowsBehindAMessageBoxShowWhatTheHandlerChanged) {
  if (!HaveDisplay()) GTEST_SKIP() << "no display";
  // The message pump and the message box refresh the shown forms through the
  // window layer, as in the program.
  platform::win32::InstallFormView();
  StepForm f("message box test");
  platform::Control& bar = f.form["Bar"];
  BarState behindBox{-1, -1, -1};
  bool boxSeen = false;
  // All in the activation, with no timer running: no other event of the
  // form can show the changes while the box is up.
  f.form["Timer"].interval = 0;
  f.form.onActivate = [&] {
    HWND window = FindWindowA("MentorixForm", f.form.caption.c_str());
    HWND h = window ? FindWindowExA(window, nullptr, PROGRESS_CLASSA, nullptr) : nullptr;
    f.form.modalResult = platform::kMrOk;
    if (!h) return;
    bar.maximum = 125;
    bar.position = 60;
    // While the box is up, read the bar and close the box.
    std::thread helper([&] {
      for (int i = 0; i < 300 && !boxSeen; ++i) {
        DialogSearch search;
        EnumWindows(FindOwnMessageBox, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
          boxSeen = true;
          behindBox = ReadBar(h);
          PostMessageA(search.found, WM_COMMAND, IDOK, 0);
        }
        Sleep(50);
      }
    });
    platform::MessageBoxRequest box;
    box.kind = platform::MessageKind::Information;
    box.text = "progress";
    box.buttons = platform::kButtonOk;
    platform::ui().MessageBox(box);
    helper.join();
  };
  EXPECT_EQ(platform::win32::ShowFormModal(f.form), platform::kMrOk);
  platform::SetTextMetrics(nullptr);
  platform::win32::SetFormRefresher(nullptr);
  platform::win32::SetFormPresenter(nullptr);
  ASSERT_TRUE(boxSeen);
  EXPECT_EQ(behindBox.high, 125);
  EXPECT_EQ(behindBox.position, 60);
}

}  // namespace
#endif
