// Internals of the window layer shared by its source files: the view of one
// shown form, which keeps the form's data and its windows in step.
#pragma once

#include <exception>
#include <map>
#include <string>
#include <vector>

#include "platform/form.h"
#include "platform/win32/windows_api.h"

namespace platform::win32::detail {

const char* const kFormClass = "MentorixForm";
const char* const kLabelClass = "MentorixLabel";
constexpr int kFirstId = 1000;
constexpr int kCheckBoxWidth = 16;

// A font of the given face and pixel height (cached; never released).
HFONT FontFor(const Font& desc);
// Text metrics from the system's fonts.
TextMetrics& GdiTextMetrics();

// What a control's window shows, to change only what differs.
struct Shown {
  std::string caption;
  bool visible = true, enabled = true;
  int x = -1, y = -1, w = -1, h = -1;
  std::vector<CheckItem> items;
  int itemIndex = -1;
  std::vector<std::string> lines;
  int position = -1;
  int minimum = 0, maximum = -1;  // progress bar range; -1: not yet set
  bool timerOn = false;
};

class View {
 public:
  View(Form& form, bool modal) : form_(form), modal_(modal) {}
  ~View() {
    if (hwnd_) {
      SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
      DestroyWindow(hwnd_);
    }
  }

  bool Create(HWND owner);
  Form& form() { return form_; }
  HWND hwnd() const { return hwnd_; }
  bool IsMain() const { return !modal_; }
  bool Done() const {
    return App().terminated || (modal_ ? form_.modalResult != kMrNone : form_.closeRequested);
  }

  // Runs an event of the form: reads the user's input into the form, runs
  // the event, then shows what changed.
  // An exception that leaves a handler is shown in the application's error
  // box (its title as caption) and the window goes on.
  template <typename F>
  void Fire(F&& event) {
    Pull();
    try {
      event();
    } catch (const std::exception& e) {
      MessageBoxA(hwnd_, e.what(), App().title.c_str(), MB_OK | MB_ICONERROR);
    }
    if (!hwnd_) return;
    Push();
  }

  bool PreTranslate(MSG& msg);
  // As in a dialog, the bold default frame sits on the focused push button,
  // and on the form's default button while the focus is anywhere else in the
  // window (Enter presses the framed one). Called after every message.
  void FollowFocus();
  LRESULT Proc(UINT msg, WPARAM wp, LPARAM lp);
  void PaintLabel(HWND label);

 private:
  Control* ControlOf(HWND h) {
    auto it = byHwnd_.find(h);
    return it == byHwnd_.end() ? nullptr : it->second;
  }
  HWND HwndOf(const Control* c) {
    auto it = hwnds_.find(c);
    return it == hwnds_.end() ? nullptr : it->second;
  }
  int IndexOf(const Control* c) const {
    const auto& all = form_.Controls();
    for (size_t i = 0; i < all.size(); ++i) {
      if (all[i].get() == c) return static_cast<int>(i);
    }
    return -1;
  }
  RECT ClientRect(const Control& c) const {
    int x = 0, y = 0;
    form_.ClientBounds(c, x, y);
    return RECT{x, y, x + c.width, y + c.height};
  }
  // The window of a control. An auto-sized label's window is a few pixels
  // wider than its text measures: some font substitutes draw slightly wider
  // than they measure, and the last letter must not be cut off.
  RECT WindowRect(const Control& c) const {
    RECT r = ClientRect(c);
    if (c.kind == ControlKind::Label && c.autoSize && !c.wordWrap) r.right += 1 + c.font.height / 2;
    return r;
  }
  bool EffectivelyVisible(const Control& c) {
    if (!c.visible) return false;
    if (c.parent.empty()) return true;
    Control* p = form_.Find(c.parent);
    return !p || EffectivelyVisible(*p);
  }
  void CreateControl(Control& c, int index);
  void Pull();
  void Push();
  void PushList(Control& c, HWND h, Shown& s);
  bool OnCommand(WPARAM wp, LPARAM lp);
  bool OnActivate(WPARAM wp);
  void OnTimer(WPARAM id);
  void OnSize(int clientWidth, int clientHeight);
  void PushTimer(const Control& c, Shown& s);
  void PushPainted(const Control& c, Shown& s);
  // A control with a window of its own; true when a label changed.
  bool PushWindow(Control& c, HWND h, Shown& s);
  void FocusActive();
  void Navigate(bool backwards);
  Control* FindButton(bool isDefault);
  void PaintForm(HDC dc);

  Form& form_;
  bool modal_;
  HWND hwnd_ = nullptr;
  std::map<HWND, Control*> byHwnd_;
  std::map<const Control*, HWND> hwnds_;
  std::map<const Control*, Shown> shown_;
  std::string shownCaption_, focused_;
  HWND savedFocus_ = nullptr;
  HWND framedFor_ = nullptr;  // the focus FollowFocus last framed a button for
  WindowState shownState_ = WindowState::Normal;
  bool shownVisible_ = true;  // the presenters show the window right after Create
};

// Views on screen, the innermost modal one last.
std::vector<View*>& Stack();
// The window that carries the application title on the task bar and owns
// the main window (created on first use).
HWND ApplicationWindow();
// Whether the session's end is refused (SetShutdownBlocked).
bool ShutdownBlocked();
View* ViewOf(HWND h);

}  // namespace platform::win32::detail
