// Real windows for form descriptions. Every form is one top-level window of
// the class "MentorixForm"; its controls are child windows whose ids are
// 1000 + the control's index. Labels are windows of the class
// "MentorixLabel" that paint every label overlapping them in the form's
// order, so that transparent labels (a title over its shadow) compose as the
// form describes whichever of them repaints. Panels and bevels are drawn by
// the form itself; panel children are placed in client coordinates.
#include "platform/win32/form_view.h"

#include <algorithm>
#include <exception>
#include <map>
#include <memory>
#include <vector>

#include "platform/win32/win32.h"
#include "platform/win32/windows_api.h"
// After <windows.h>.
#include <commctrl.h>

namespace platform::win32 {

namespace {

const char* const kFormClass = "MentorixForm";
const char* const kLabelClass = "MentorixLabel";
constexpr int kFirstId = 1000;
constexpr int kCheckBoxWidth = 16;

// ------------------------------------------------------------ fonts

HFONT FontFor(const FontSpec& spec) {
  static std::map<std::string, HFONT> cache;
  const std::string key = spec.name + "|" + std::to_string(spec.height) + "|" +
                          (spec.bold ? "b" : "") + (spec.italic ? "i" : "");
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  HFONT font = CreateFontA(-spec.height, 0, 0, 0, spec.bold ? FW_BOLD : FW_NORMAL,
                           spec.italic ? TRUE : FALSE, FALSE, FALSE, RUSSIAN_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, spec.name.c_str());
  cache[key] = font;
  return font;
}

class GdiMetrics : public TextMetrics {
 public:
  int Width(const FontSpec& font, const std::string& text) override {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, FontFor(font));
    SIZE size{0, 0};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return size.cx;
  }
  int LineHeight(const FontSpec& font) override {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, FontFor(font));
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return tm.tmHeight;
  }
  int WrappedHeight(const FontSpec& font, const std::string& text, int width) override {
    RECT r{0, 0, width, 0};
    Measure(font, text.empty() ? std::string(" ") : text, r,
            DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    return r.bottom - r.top;
  }

 private:
  void Measure(const FontSpec& font, const std::string& text, RECT& r, UINT flags) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, FontFor(font));
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, flags);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
  }
};

// ------------------------------------------------------------ one shown form

struct Shown {
  std::string caption;
  bool visible = true, enabled = true;
  int x = -1, y = -1, w = -1, h = -1;
  std::vector<CheckItem> items;
  int itemIndex = -1;
  std::vector<std::string> lines;
  int position = -1;
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
  WindowState shownState_ = WindowState::Normal;
};

// Views on screen, the innermost modal one last.
std::vector<View*>& Stack() {
  static std::vector<View*> stack;
  return stack;
}

View* ViewOf(HWND h) { return reinterpret_cast<View*>(GetWindowLongPtrA(h, GWLP_USERDATA)); }

LRESULT CALLBACK FormProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
    SetWindowLongPtrA(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  View* view = ViewOf(h);
  if (view && view->hwnd() == h) return view->Proc(msg, wp, lp);
  return DefWindowProcA(h, msg, wp, lp);
}

LRESULT CALLBACK LabelProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PAINT) {
    View* view = ViewOf(GetParent(h));
    if (view) {
      view->PaintLabel(h);
      return 0;
    }
  }
  if (msg == WM_ERASEBKGND) return 1;
  if (msg == WM_NCHITTEST) return HTTRANSPARENT;
  return DefWindowProcA(h, msg, wp, lp);
}

// Check list boxes toggle an item when its box is clicked, on a double click
// and on the space bar; the form's event runs after each toggle.
WNDPROC listBoxProc = nullptr;
LRESULT CALLBACK CheckListProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  View* view = ViewOf(GetParent(h));
  int toggle = -1;
  if (msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK) {
    const LRESULT hit = SendMessageA(h, LB_ITEMFROMPOINT, 0, lp);
    const int index = LOWORD(hit);
    if (HIWORD(hit) == 0 &&
        (msg == WM_LBUTTONDBLCLK || static_cast<short>(LOWORD(lp)) < kCheckBoxWidth)) {
      toggle = index;
    }
  } else if (msg == WM_CHAR && wp == ' ') {
    toggle = static_cast<int>(SendMessageA(h, LB_GETCURSEL, 0, 0));
    if (toggle < 0) return 0;
  }
  const LRESULT result =
      msg == WM_CHAR && wp == ' ' ? 0 : CallWindowProcA(listBoxProc, h, msg, wp, lp);
  if (toggle >= 0 && view) {
    const auto* c = reinterpret_cast<const Control*>(GetPropA(h, "MentorixControl"));
    if (c) {
      const std::string name = c->name;
      view->Fire([&] { view->form().ToggleItem(name, toggle); });
    }
    InvalidateRect(h, nullptr, TRUE);
  }
  return result;
}

void RegisterClasses() {
  static bool done = false;
  if (done) return;
  done = true;
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  WNDCLASSA wc{};
  wc.lpfnWndProc = FormProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.hIcon = LoadIconA(GetModuleHandleA(nullptr), "MAINICON");
  if (!wc.hIcon) wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  wc.lpszClassName = kFormClass;
  RegisterClassA(&wc);
  WNDCLASSA lc{};
  lc.lpfnWndProc = LabelProc;
  lc.hInstance = GetModuleHandleA(nullptr);
  lc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  lc.lpszClassName = kLabelClass;
  RegisterClassA(&lc);
}

bool View::Create(HWND owner) {
  RegisterClasses();
  DWORD style = WS_CLIPCHILDREN, exStyle = 0;
  switch (form_.borderStyle) {
    case BorderStyle::Dialog:
      style |= WS_POPUP | WS_CAPTION | WS_DLGFRAME;
      exStyle |= WS_EX_DLGMODALFRAME;
      break;
    case BorderStyle::Sizeable:
      style |= WS_POPUP | WS_CAPTION | WS_THICKFRAME;
      break;
    case BorderStyle::None:
      style |= WS_POPUP;
      break;
  }
  if (form_.borderStyle != BorderStyle::None && form_.systemMenu) style |= WS_SYSMENU;
  if (form_.minimizeBox) style |= WS_MINIMIZEBOX;
  if (form_.maximizeBox) style |= WS_MAXIMIZEBOX;
  if (!owner) exStyle |= WS_EX_APPWINDOW;

  int w = form_.width, h = form_.height;
  if (!form_.outerSizeDesigned) {
    RECT r{0, 0, form_.clientWidth, form_.clientHeight};
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
    w = r.right - r.left;
    h = form_.borderStyle == BorderStyle::None ? form_.clientHeight : r.bottom - r.top;
    if (form_.borderStyle == BorderStyle::None) w = form_.width > 0 ? form_.width : w;
  }
  int x = form_.left, y = form_.top;
  if (form_.position == FormPosition::ScreenCenter) {
    x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
    y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
  }
  hwnd_ = CreateWindowExA(exStyle, kFormClass, form_.caption.c_str(), style, x, y, w, h, owner,
                          nullptr, GetModuleHandleA(nullptr), this);
  if (!hwnd_) return false;
  shownCaption_ = form_.caption;

  RECT client;
  GetClientRect(hwnd_, &client);
  form_.clientWidth = client.right;
  form_.clientHeight = client.bottom;
  form_.Realign();
  const auto& all = form_.Controls();
  for (size_t i = 0; i < all.size(); ++i) CreateControl(*all[i], static_cast<int>(i));
  // The new controls are still empty: show the form's texts before reading any back.
  Push();
  Pull();
  return true;
}

void View::CreateControl(Control& c, int index) {
  const char* cls = nullptr;
  DWORD style = WS_CHILD, exStyle = 0;
  switch (c.kind) {
    case ControlKind::Label:
      cls = kLabelClass;
      break;
    case ControlKind::Edit:
      cls = "EDIT";
      style |= ES_AUTOHSCROLL;
      exStyle |= WS_EX_CLIENTEDGE;
      break;
    case ControlKind::Button:
      cls = "BUTTON";
      style |= c.isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
      break;
    case ControlKind::Memo:
      cls = "EDIT";
      style |= ES_MULTILINE | WS_VSCROLL | ES_AUTOVSCROLL | (c.readOnly ? ES_READONLY : 0);
      exStyle |= WS_EX_CLIENTEDGE;
      break;
    case ControlKind::CheckListBox:
      cls = "LISTBOX";
      style |= LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOTIFY | WS_VSCROLL;
      exStyle |= WS_EX_CLIENTEDGE;
      break;
    case ControlKind::ListBox:
      cls = "LISTBOX";
      style |= LBS_NOTIFY | LBS_HASSTRINGS | WS_VSCROLL;
      exStyle |= WS_EX_CLIENTEDGE;
      break;
    case ControlKind::ComboBox:
      cls = "COMBOBOX";
      style |= CBS_DROPDOWNLIST | CBS_HASSTRINGS | WS_VSCROLL;
      break;
    case ControlKind::ProgressBar:
      cls = PROGRESS_CLASSA;
      break;
    case ControlKind::Bevel:
    case ControlKind::Panel:
    case ControlKind::Timer:
      return;  // drawn by the form, or no window at all
  }
  if (c.tabOrder >= 0) style |= WS_TABSTOP;
  const RECT r = WindowRect(c);
  HWND h =
      CreateWindowExA(exStyle, cls, "", style, r.left, r.top, r.right - r.left, r.bottom - r.top,
                      hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstId + index)),
                      GetModuleHandleA(nullptr), nullptr);
  if (!h) return;
  SendMessageA(h, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(c.font)), FALSE);
  SetPropA(h, "MentorixControl", reinterpret_cast<HANDLE>(&c));
  if (c.kind == ControlKind::CheckListBox) {
    listBoxProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CheckListProc)));
  }
  byHwnd_[h] = &c;
  hwnds_[&c] = h;
  Shown& s = shown_[&c];
  s.visible = false;
  s.enabled = true;
  s.x = r.left;
  s.y = r.top;
  s.w = r.right - r.left;
  s.h = r.bottom - r.top;
}

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
      const UINT_PTR id = static_cast<UINT_PTR>(kFirstId + IndexOf(&c));
      const bool on = c.enabled && c.interval > 0;
      if (on && !s.timerOn) SetTimer(hwnd_, id, static_cast<UINT>(c.interval), nullptr);
      if (!on && s.timerOn) KillTimer(hwnd_, id);
      s.timerOn = on;
      continue;
    }
    if (c.kind == ControlKind::Bevel || c.kind == ControlKind::Panel) {
      const RECT r = ClientRect(c);
      const bool visible = EffectivelyVisible(c);
      if (r.left != s.x || r.top != s.y || r.right - r.left != s.w || r.bottom - r.top != s.h ||
          visible != s.visible) {
        InvalidateRect(hwnd_, nullptr, TRUE);
        s.x = r.left, s.y = r.top, s.w = r.right - r.left, s.h = r.bottom - r.top;
        s.visible = visible;
      }
      continue;
    }
    HWND h = HwndOf(&c);
    if (!h) continue;
    const RECT r = WindowRect(c);
    const bool moved =
        r.left != s.x || r.top != s.y || r.right - r.left != s.w || r.bottom - r.top != s.h;
    if (moved) {
      MoveWindow(h, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
      s.x = r.left, s.y = r.top, s.w = r.right - r.left, s.h = r.bottom - r.top;
    }
    switch (c.kind) {
      case ControlKind::Memo:
        if (c.lines != s.lines) {
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
        break;
      case ControlKind::CheckListBox:
        PushList(c, h, s);
        break;
      case ControlKind::ListBox:
      case ControlKind::ComboBox:
        PushItems(c, h, s);
        break;
      case ControlKind::ProgressBar:
        if (s.position < 0) SendMessageA(h, PBM_SETRANGE32, c.minimum, c.maximum);
        if (c.position != s.position) SendMessageA(h, PBM_SETPOS, c.position, 0);
        s.position = c.position;
        break;
      default:
        if (c.caption != s.caption) {
          SetWindowTextA(h, c.caption.c_str());
          s.caption = c.caption;
          if (c.kind == ControlKind::Label) labelsChanged = true;
        }
        break;
    }
    const bool visible = EffectivelyVisible(c);
    if (visible != s.visible) {
      ShowWindow(h, visible ? SW_SHOWNA : SW_HIDE);
      s.visible = visible;
      if (c.kind == ControlKind::Label) labelsChanged = true;
    }
    if (c.enabled != s.enabled) {
      EnableWindow(h, c.enabled);
      s.enabled = c.enabled;
    }
    if (moved && c.kind == ControlKind::Label) labelsChanged = true;
  }
  if (labelsChanged) {
    for (auto& [h, c] : byHwnd_) {
      if (c->kind == ControlKind::Label) InvalidateRect(h, nullptr, FALSE);
    }
  }
  if (form_.windowState != shownState_) {
    ShowWindow(hwnd_, form_.windowState == WindowState::Minimized ? SW_MINIMIZE : SW_RESTORE);
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

bool View::PreTranslate(MSG& msg) {
  if (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd)) return false;
  if (msg.message == WM_KEYDOWN) {
    unsigned shift = 0;
    if (GetKeyState(VK_SHIFT) < 0) shift |= kShiftShift;
    if (GetKeyState(VK_CONTROL) < 0) shift |= kShiftCtrl;
    if (GetKeyState(VK_MENU) < 0) shift |= kShiftAlt;
    uint16_t key = static_cast<uint16_t>(msg.wParam);
    Fire([&] { key = form_.KeyDown(key, shift); });
    if (key == 0 || !hwnd_) return true;
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

void View::PaintForm(HDC dc) {
  for (const auto& c : form_.Controls()) {
    if (!EffectivelyVisible(*c)) continue;
    const RECT r = ClientRect(*c);
    if (c->kind == ControlKind::Bevel && c->bevelBottomLine) {
      RECT line{r.left, r.bottom - 2, r.right, r.bottom - 1};
      FillRect(dc, &line, GetSysColorBrush(COLOR_BTNSHADOW));
      line = RECT{r.left, r.bottom - 1, r.right, r.bottom};
      FillRect(dc, &line, GetSysColorBrush(COLOR_BTNHIGHLIGHT));
    } else if (c->kind == ControlKind::Panel && c->bevelWidth > 0) {
      RECT frame = r;
      for (int i = 0; i < c->bevelWidth; ++i) {
        DrawEdge(dc, &frame, BDR_RAISEDINNER, BF_RECT);
        InflateRect(&frame, -1, -1);
      }
    }
  }
}

void View::PaintLabel(HWND label) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(label, &ps);
  Control* self = ControlOf(label);
  RECT area{0, 0, 0, 0};
  GetClientRect(label, &area);
  FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
  if (self) {
    const RECT mine = WindowRect(*self);
    SetBkMode(dc, TRANSPARENT);
    for (const auto& owned : form_.Controls()) {
      const Control& c = *owned;
      if (c.kind != ControlKind::Label || !EffectivelyVisible(c)) continue;
      const RECT other = ClientRect(c);
      RECT overlap;
      if (!IntersectRect(&overlap, &mine, &other)) continue;
      RECT box{other.left - mine.left, other.top - mine.top, other.right - mine.left,
               other.bottom - mine.top};
      if (!c.transparent && &c != self) {
        OffsetRect(&overlap, -mine.left, -mine.top);
        FillRect(dc, &overlap, GetSysColorBrush(COLOR_BTNFACE));
      }
      HGDIOBJ old = SelectObject(dc, FontFor(c.font));
      SetTextColor(dc, c.font.color);
      UINT flags = DT_NOPREFIX | DT_EXPANDTABS | (c.wordWrap ? DT_WORDBREAK : DT_NOCLIP) |
                   (c.alignment == TextAlign::Right ? DT_RIGHT : DT_LEFT);
      DrawTextA(dc, c.caption.c_str(), static_cast<int>(c.caption.size()), &box, flags);
      SelectObject(dc, old);
    }
  }
  EndPaint(label, &ps);
}

LRESULT View::Proc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND: {
      Control* c = ControlOf(reinterpret_cast<HWND>(lp));
      if (!c) break;
      const std::string name = c->name;
      const HWND h = reinterpret_cast<HWND>(lp);
      if (c->kind == ControlKind::Button && HIWORD(wp) == BN_CLICKED) {
        Fire([&] { form_.Click(name); });
        return 0;
      }
      const bool list = c->kind == ControlKind::ListBox;
      if ((list && HIWORD(wp) == LBN_SELCHANGE) ||
          (c->kind == ControlKind::ComboBox && HIWORD(wp) == CBN_SELCHANGE)) {
        const int index =
            static_cast<int>(SendMessageA(h, list ? LB_GETCURSEL : CB_GETCURSEL, 0, 0));
        shown_[c].itemIndex = index;
        Fire([&] { form_.Select(name, index); });
        return 0;
      }
      if (list && HIWORD(wp) == LBN_DBLCLK) {
        Fire([&] { form_.DoubleClick(name); });
        return 0;
      }
      break;
    }
    case WM_TIMER: {
      const auto& all = form_.Controls();
      const size_t index = static_cast<size_t>(wp) - kFirstId;
      if (index < all.size() && all[index]->kind == ControlKind::Timer) {
        const std::string name = all[index]->name;
        Fire([&] { form_.Tick(name); });
      }
      return 0;
    }
    case WM_CLOSE:
      Fire([&] { form_.Close(); });
      return 0;
    case WM_ACTIVATE:
      // As a dialog does: the control that had the focus gets it back when
      // the window is activated again (after a message box, for example).
      if (LOWORD(wp) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) savedFocus_ = focus;
      } else if (!HIWORD(wp)) {
        if (savedFocus_ && IsWindow(savedFocus_) && IsWindowVisible(savedFocus_) &&
            IsWindowEnabled(savedFocus_)) {
          SetFocus(savedFocus_);
        } else {
          FocusActive();
        }
        return 0;
      }
      break;
    case WM_SIZE:
      if (wp != SIZE_MINIMIZED && hwnd_) {
        form_.clientWidth = LOWORD(lp);
        form_.clientHeight = HIWORD(lp);
        form_.Realign();
        Push();
        InvalidateRect(hwnd_, nullptr, TRUE);
      }
      break;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lp);
      if (form_.minWidth > 0) info->ptMinTrackSize.x = form_.minWidth;
      if (form_.minHeight > 0) info->ptMinTrackSize.y = form_.minHeight;
      return 0;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd_, &ps);
      PaintForm(dc);
      EndPaint(hwnd_, &ps);
      return 0;
    }
    case WM_CTLCOLORSTATIC: {
      Control* c = ControlOf(reinterpret_cast<HWND>(lp));
      if (c && c->kind == ControlKind::Memo) {
        SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
      }
      break;
    }
    case WM_MEASUREITEM: {
      auto* mi = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
      const auto& all = form_.Controls();
      const size_t index = static_cast<size_t>(mi->CtlID) - kFirstId;
      mi->itemHeight = index < all.size() ? static_cast<UINT>(all[index]->itemHeight) : 13;
      return TRUE;
    }
    case WM_DRAWITEM: {
      auto* di = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
      Control* c = ControlOf(di->hwndItem);
      if (!c || c->kind != ControlKind::CheckListBox) break;
      const bool selected = di->itemState & ODS_SELECTED;
      FillRect(di->hDC, &di->rcItem, GetSysColorBrush(COLOR_WINDOW));
      if (di->itemID >= c->items.size()) return TRUE;
      const CheckItem& item = c->items[di->itemID];
      RECT box{di->rcItem.left + 2, di->rcItem.top, di->rcItem.left + 2 + 13, di->rcItem.top + 13};
      DrawFrameControl(di->hDC, &box, DFC_BUTTON,
                       DFCS_BUTTONCHECK | DFCS_FLAT | (item.checked ? DFCS_CHECKED : 0));
      RECT text = di->rcItem;
      text.left += kCheckBoxWidth + 2;
      if (selected) FillRect(di->hDC, &text, GetSysColorBrush(COLOR_HIGHLIGHT));
      SetBkMode(di->hDC, TRANSPARENT);
      SetTextColor(di->hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
      RECT inner = text;
      inner.left += 2;
      DrawTextA(di->hDC, item.caption.c_str(), static_cast<int>(item.caption.size()), &inner,
                DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
      if (di->itemState & ODS_FOCUS) DrawFocusRect(di->hDC, &text);
      return TRUE;
    }
    default:
      break;
  }
  return DefWindowProcA(hwnd_, msg, wp, lp);
}

// Runs the message loop until the innermost view is done. Returns false when
// WM_QUIT arrived (it is posted again for the outer loops).
bool Loop(View& view) {
  MSG msg;
  while (!view.Done()) {
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got <= 0) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return false;
    }
    if (view.PreTranslate(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return true;
}

}  // namespace

int ShowFormModal(Form& form) {
  HWND owner = Stack().empty() ? nullptr : Stack().back()->hwnd();
  form.modalResult = kMrNone;
  form.closeRequested = false;
  auto view = std::make_unique<View>(form, true);
  if (!view->Create(owner)) return kMrCancel;
  if (owner) EnableWindow(owner, FALSE);
  Stack().push_back(view.get());
  ShowWindow(view->hwnd(), SW_SHOW);
  view->Fire([&] { form.Shown(); });
  Loop(*view);
  Stack().pop_back();
  if (owner) {
    EnableWindow(owner, TRUE);
    SetActiveWindow(owner);
  }
  view.reset();
  form.closeRequested = false;
  return form.modalResult != kMrNone ? form.modalResult : kMrCancel;
}

int RunMainForm(Form& form) {
  auto view = std::make_unique<View>(form, false);
  if (!view->Create(nullptr)) return 1;
  Stack().push_back(view.get());
  ShowWindow(view->hwnd(), form.windowState == WindowState::Minimized ? SW_SHOWMINIMIZED : SW_SHOW);
  UpdateWindow(view->hwnd());
  view->Fire([&] { form.Shown(); });
  Loop(*view);
  Stack().pop_back();
  return 0;
}

void InstallFormView() {
  static GdiMetrics metrics;
  SetTextMetrics(&metrics);
  SetFormPresenter(ShowFormModal);
}

}  // namespace platform::win32
