// Keeping a form and its windows in step, and the keyboard: key preview,
// Tab, Enter for the default button and Esc for the cancel button.
#include <algorithm>

#include "platform/win32/form_view_internal.h"
#include "platform/win32/windows_api.h"
// After <windows.h>.
#include <commctrl.h>

namespace platform::win32::detail {

void View::Pull() {
  if (!hwnd_) return;
  RECT wr;
  GetWindowRect(hwnd_, &wr);
  form_.left = wr.left;
  form_.top = wr.top;
  form_.width = wr.right - wr.left;
  form_.height = wr.bottom - wr.top;
  for (auto& [c, h] : hwnds_) {
    if (c->kind != ControlKind::Edit) continue;
    const int n = GetWindowTextLengthA(h);
    std::string text(static_cast<size_t>(n) + 1, '\0');
    GetWindowTextA(h, text.data(), n + 1);
    text.resize(static_cast<size_t>(n));
    const_cast<Control*>(c)->caption = text;
    shown_[c].caption = text;
  }
}

void View::PushList(Control& c, HWND h, Shown& s) {
  bool sameCaptions = s.items.size() == c.items.size();
  for (size_t i = 0; sameCaptions && i < c.items.size(); ++i) {
    sameCaptions = s.items[i].caption == c.items[i].caption;
  }
  if (!sameCaptions) {
    SendMessageA(h, LB_RESETCONTENT, 0, 0);
    SendMessageA(h, LB_SETITEMHEIGHT, 0, c.itemHeight);
    for (const auto& item : c.items) {
      SendMessageA(h, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.caption.c_str()));
    }
    if (!c.items.empty()) SendMessageA(h, LB_SETCURSEL, 0, 0);
  }
  bool sameChecks = sameCaptions;
  for (size_t i = 0; sameChecks && i < c.items.size(); ++i) {
    sameChecks = s.items[i].checked == c.items[i].checked;
  }
  if (!sameChecks) InvalidateRect(h, nullptr, TRUE);
  s.items = c.items;
}

// Items and selection of a list or combo box.
void PushItems(const Control& c, HWND h, Shown& s) {
  const bool combo = c.kind == ControlKind::ComboBox;
  bool same = s.items.size() == c.items.size();
  for (size_t i = 0; same && i < c.items.size(); ++i)
    same = s.items[i].caption == c.items[i].caption;
  if (!same) {
    SendMessageA(h, WM_SETREDRAW, FALSE, 0);
    SendMessageA(h, combo ? CB_RESETCONTENT : LB_RESETCONTENT, 0, 0);
    for (const auto& item : c.items) {
      SendMessageA(h, combo ? CB_ADDSTRING : LB_ADDSTRING, 0,
                   reinterpret_cast<LPARAM>(item.caption.c_str()));
    }
    SendMessageA(h, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(h, nullptr, TRUE);
    s.items = c.items;
    s.itemIndex = -2;
  }
  if (c.itemIndex != s.itemIndex) {
    SendMessageA(h, combo ? CB_SETCURSEL : LB_SETCURSEL, static_cast<WPARAM>(c.itemIndex), 0);
    s.itemIndex = c.itemIndex;
  }
}

// The text of a memo, one line per paragraph, shown from its start.
void PushMemo(const Control& c, HWND h, Shown& s) {
  if (c.lines == s.lines) return;
  std::string text;
  for (size_t i = 0; i < c.lines.size(); ++i) {
    if (i) text += "\r\n";
    text += c.lines[i];
  }
  SetWindowTextA(h, text.c_str());
  SendMessageA(h, EM_SETSEL, 0, 0);
  SendMessageA(h, EM_SCROLLCARET, 0, 0);
  s.lines = c.lines;
}

// Range and position of a progress bar. The range may change while the form
// is shown (the copy window sets its maximum from the volumes and shortcuts).
// A new range clamps the bar's position, so the position is sent again after it.
void PushProgress(const Control& c, HWND h, Shown& s) {
  if (c.minimum != s.minimum || c.maximum != s.maximum) {
    SendMessageA(h, PBM_SETRANGE32, c.minimum, c.maximum);
    s.minimum = c.minimum;
    s.maximum = c.maximum;
    s.position = -1;
  }
  if (c.position != s.position) SendMessageA(h, PBM_SETPOS, c.position, 0);
  s.position = c.position;
}

void View::PushTimer(const Control& c, Shown& s) {
  const UINT_PTR id = static_cast<UINT_PTR>(kFirstId + IndexOf(&c));
  const bool on = c.enabled && c.interval > 0;
  if (on && !s.timerOn) SetTimer(hwnd_, id, static_cast<UINT>(c.interval), nullptr);
  if (!on && s.timerOn) KillTimer(hwnd_, id);
  s.timerOn = on;
}

// Bevels and panels are painted by the form itself: a change of place or
// visibility repaints it.
void View::PushPainted(const Control& c, Shown& s) {
  const RECT r = ClientRect(c);
  const bool visible = EffectivelyVisible(c);
  if (r.left != s.x || r.top != s.y || r.right - r.left != s.w || r.bottom - r.top != s.h ||
      visible != s.visible) {
    InvalidateRect(hwnd_, nullptr, TRUE);
    s.x = r.left, s.y = r.top, s.w = r.right - r.left, s.h = r.bottom - r.top;
    s.visible = visible;
  }
}

bool View::PushWindow(Control& c, HWND h, Shown& s) {
  bool labelChanged = false;
  const RECT r = WindowRect(c);
  const bool moved =
      r.left != s.x || r.top != s.y || r.right - r.left != s.w || r.bottom - r.top != s.h;
  if (moved) {
    MoveWindow(h, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    s.x = r.left, s.y = r.top, s.w = r.right - r.left, s.h = r.bottom - r.top;
  }
  switch (c.kind) {
    case ControlKind::Memo:
      PushMemo(c, h, s);
      break;
    case ControlKind::CheckListBox:
      PushList(c, h, s);
      break;
    case ControlKind::ListBox:
    case ControlKind::ComboBox:
      PushItems(c, h, s);
      break;
    case ControlKind::ProgressBar:
      PushProgress(c, h, s);
      break;
    default:
      if (c.caption != s.caption) {
        SetWindowTextA(h, c.caption.c_str());
        s.caption = c.caption;
        labelChanged = c.kind == ControlKind::Label;
      }
      break;
  }
  const bool visible = EffectivelyVisible(c);
  if (visible != s.visible) {
    ShowWindow(h, visible ? SW_SHOWNA : SW_HIDE);
    s.visible = visible;
    labelChanged = labelChanged || c.kind == ControlKind::Label;
  }
  if (c.enabled != s.enabled) {
    EnableWindow(h, c.enabled);
    s.enabled = c.enabled;
  }
  return labelChanged || (moved && c.kind == ControlKind::Label);
}

void View::Push() {
  if (!hwnd_) return;
  if (form_.caption != shownCaption_) {
    SetWindowTextA(hwnd_, form_.caption.c_str());
    shownCaption_ = form_.caption;
  }
  bool labelsChanged = false;
  for (const auto& owned : form_.Controls()) {
    Control& c = *owned;
    Shown& s = shown_[&c];
    if (c.kind == ControlKind::Timer) {
      PushTimer(c, s);
    } else if (c.kind == ControlKind::Bevel || c.kind == ControlKind::Panel) {
      PushPainted(c, s);
    } else if (HWND h = HwndOf(&c)) {
      if (PushWindow(c, h, s)) labelsChanged = true;
    }
  }
  // Labels may overlap (the title and its shadow): when one changes, all
  // of them are painted again.
  if (labelsChanged) {
    for (auto& [h, c] : byHwnd_) {
      if (c->kind == ControlKind::Label) InvalidateRect(h, nullptr, FALSE);
    }
  }
  if (form_.visible != shownVisible_) {
    ShowWindow(hwnd_, form_.visible ? SW_SHOW : SW_HIDE);
    shownVisible_ = form_.visible;
  }
  if (form_.windowState != shownState_) {
    HWND target = IsMain() ? ApplicationWindow() : hwnd_;
    ShowWindow(target, form_.windowState == WindowState::Minimized ? SW_MINIMIZE : SW_RESTORE);
    shownState_ = form_.windowState;
  }
  if (form_.activeControl != focused_) FocusActive();
}

void View::FocusActive() {
  focused_ = form_.activeControl;
  Control* c = form_.Find(form_.activeControl);
  HWND h = c ? HwndOf(c) : nullptr;
  if (h && IsWindowVisible(h) && IsWindowEnabled(h)) SetFocus(h);
}

Control* View::FindButton(bool isDefault) {
  for (const auto& c : form_.Controls()) {
    if (c->kind == ControlKind::Button && (isDefault ? c->isDefault : c->isCancel) &&
        EffectivelyVisible(*c) && c->enabled) {
      return c.get();
    }
  }
  return nullptr;
}

void View::Navigate(bool backwards) {
  std::vector<Control*> order;
  for (const auto& c : form_.Controls()) {
    HWND h = HwndOf(c.get());
    if (c->tabOrder >= 0 && h && EffectivelyVisible(*c) && c->enabled) order.push_back(c.get());
  }
  if (order.empty()) return;
  std::stable_sort(order.begin(), order.end(),
                   [](const Control* a, const Control* b) { return a->tabOrder < b->tabOrder; });
  Control* current = ControlOf(GetFocus());
  size_t at = 0;
  for (size_t i = 0; i < order.size(); ++i) {
    if (order[i] == current) at = i;
  }
  const size_t n = order.size();
  const size_t next = current ? (backwards ? (at + n - 1) % n : (at + 1) % n) : 0;
  HWND h = HwndOf(order[next]);
  SetFocus(h);
  if (order[next]->kind == ControlKind::Edit) SendMessageA(h, EM_SETSEL, 0, -1);
}

void View::FollowFocus() {
  HWND focus = GetFocus();
  if (!hwnd_ || focus == framedFor_ || !focus || !IsChild(hwnd_, focus)) return;
  framedFor_ = focus;
  Control* focused = ControlOf(focus);
  const Control* framed =
      focused && focused->kind == ControlKind::Button ? focused : FindButton(true);
  for (const auto& [h, c] : byHwnd_) {
    if (c->kind != ControlKind::Button) continue;
    const LONG_PTR wanted = c == framed ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
    if ((GetWindowLongPtrA(h, GWL_STYLE) & BS_TYPEMASK) != wanted)
      SendMessageA(h, BM_SETSTYLE, static_cast<WPARAM>(wanted), TRUE);
  }
}

bool View::PreTranslate(MSG& msg) {
  if (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd)) return false;
  if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
    unsigned shift = 0;
    if (GetKeyState(VK_SHIFT) < 0) shift |= kShiftShift;
    if (GetKeyState(VK_CONTROL) < 0) shift |= kShiftCtrl;
    if (GetKeyState(VK_MENU) < 0 || (msg.lParam & (1 << 29))) shift |= kShiftAlt;
    uint16_t key = static_cast<uint16_t>(msg.wParam);
    Fire([&] { key = form_.KeyDown(key, shift); });
    if (key == 0 || !hwnd_) return true;
    // Keys pressed with Alt (F10 too) reach the form's handlers like any
    // other; what they leave goes on to the system (Alt+F4 closes the window).
    if (msg.message == WM_SYSKEYDOWN) return false;
    if (key == VK_TAB && !(shift & (kShiftCtrl | kShiftAlt))) {
      Navigate(shift & kShiftShift);
      return true;
    }
    if (key == VK_RETURN) {
      Control* focus = ControlOf(GetFocus());
      Control* button = focus && focus->kind == ControlKind::Button ? focus : FindButton(true);
      if (button) {
        const std::string name = button->name;
        Fire([&] { form_.Click(name); });
      }
      return true;
    }
    if (key == VK_ESCAPE) {
      if (Control* cancel = FindButton(false)) {
        const std::string name = cancel->name;
        Fire([&] { form_.Click(name); });
        return true;
      }
    }
    return false;
  }
  if (msg.message == WM_CHAR) {
    char ch = static_cast<char>(msg.wParam);
    Fire([&] { ch = form_.KeyPress(ch); });
    // Enter and Esc never reach the controls (no beep, no line break).
    return ch == 0 || ch == '\r' || ch == kCharEscape;
  }
  return false;
}

}  // namespace platform::win32::detail
