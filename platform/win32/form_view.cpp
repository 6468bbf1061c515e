// Real windows for form descriptions. Every form is one top-level window of
// the class "MentorixForm"; its controls are child windows whose ids are
// 1000 + the control's index. Labels are windows of the class
// "MentorixLabel" that paint every label overlapping them in the form's
// order, so that transparent labels (a title over its shadow) compose as the
// form describes whichever of them repaints. Panels and bevels are drawn by
// the form itself; panel children are placed in client coordinates.
#include "platform/win32/form_view.h"

#include <memory>

#include "platform/win32/form_view_internal.h"
#include "platform/win32/win32.h"
#include "platform/win32/windows_api.h"
// After <windows.h>.
#include <commctrl.h>

namespace platform::win32 {

namespace detail {

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

namespace {

// The window class and styles of a control's own window; no class for the
// controls that have none.
struct ChildWindow {
  const char* cls = nullptr;
  DWORD style = WS_CHILD, exStyle = 0;
};

ChildWindow ChildWindowOf(const Control& c) {
  ChildWindow w;
  switch (c.kind) {
    case ControlKind::Label:
      w.cls = kLabelClass;
      break;
    case ControlKind::Edit:
      w.cls = "EDIT";
      w.style |= ES_AUTOHSCROLL;
      w.exStyle |= WS_EX_CLIENTEDGE;
      break;
    case ControlKind::Button:
      w.cls = "BUTTON";
      w.style |= c.isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
      break;
    case ControlKind::Memo:
      w.cls = "EDIT";
      w.style |= ES_MULTILINE | WS_VSCROLL | ES_AUTOVSCROLL | (c.readOnly ? ES_READONLY : 0);
      w.exStyle |= WS_EX_CLIENTEDGE;
      break;
    case ControlKind::CheckListBox:
      w.cls = "LISTBOX";
      w.style |= LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOTIFY | WS_VSCROLL;
      w.exStyle |= WS_EX_CLIENTEDGE;
      break;
    case ControlKind::ListBox:
      w.cls = "LISTBOX";
      w.style |= LBS_NOTIFY | LBS_HASSTRINGS | WS_VSCROLL;
      w.exStyle |= WS_EX_CLIENTEDGE;
      break;
    case ControlKind::ComboBox:
      w.cls = "COMBOBOX";
      w.style |= CBS_DROPDOWNLIST | CBS_HASSTRINGS | WS_VSCROLL;
      break;
    case ControlKind::ProgressBar:
      w.cls = PROGRESS_CLASSA;
      break;
    case ControlKind::Bevel:
    case ControlKind::Panel:
    case ControlKind::Timer:
      break;  // drawn by the form, or no window at all
  }
  if (c.tabOrder >= 0) w.style |= WS_TABSTOP;
  return w;
}

}  // namespace

void View::CreateControl(Control& c, int index) {
  const ChildWindow w = ChildWindowOf(c);
  if (!w.cls) return;
  const RECT r = WindowRect(c);
  HWND h = CreateWindowExA(w.exStyle, w.cls, "", w.style, r.left, r.top, r.right - r.left,
                           r.bottom - r.top, hwnd_,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstId + index)),
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
    if (!view.PreTranslate(msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (!view.Done()) view.FollowFocus();
  }
  return true;
}

}  // namespace detail

using namespace detail;

int ShowFormModal(Form& form) {
  HWND owner = Stack().empty() ? nullptr : Stack().back()->hwnd();
  form.modalResult = kMrNone;
  form.closeRequested = false;
  form.visible = true;
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

namespace {

// The application window: a window of no size whose caption is the
// application title, so that the task bar shows that title while the main
// window, which it owns, carries its own caption. Activating it activates
// the innermost window shown; closing it closes the main window (with its
// confirmation); minimizing it hides the windows it owns.
LRESULT CALLBACK ApplicationProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  HWND top = Stack().empty() ? nullptr : Stack().back()->hwnd();
  HWND main = Stack().empty() ? nullptr : Stack().front()->hwnd();
  switch (msg) {
    case WM_QUERYENDSESSION:
      if (detail::ShutdownBlocked()) return FALSE;
      break;
    case WM_ACTIVATE:
      if (LOWORD(wp) != WA_INACTIVE && !HIWORD(wp) && top && IsWindowVisible(top)) {
        SetActiveWindow(top);
        return 0;
      }
      break;
    case WM_SYSCOMMAND:
      if ((wp & 0xFFF0) == SC_CLOSE) {
        if (main) PostMessageA(main, WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    case WM_CLOSE:
      if (main) PostMessageA(main, WM_CLOSE, 0, 0);
      return 0;
    default:
      break;
  }
  return DefWindowProcA(h, msg, wp, lp);
}

HWND CreateApplicationWindow() {
  static const char* const kClass = "MentorixApplication";
  WNDCLASSA wc{};
  wc.lpfnWndProc = ApplicationProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hIcon = LoadIconA(GetModuleHandleA(nullptr), "MAINICON");
  if (!wc.hIcon) wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  wc.lpszClassName = kClass;
  RegisterClassA(&wc);
  HWND h = CreateWindowExA(0, kClass, App().title.c_str(),
                           WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                           GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0,
                           0, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (h) ShowWindow(h, SW_SHOWNORMAL);
  return h;
}

}  // namespace

namespace {
bool shutdownBlocked = false;
bool applicationWindowMade = false;
}  // namespace

bool detail::ShutdownBlocked() { return shutdownBlocked; }

void SetShutdownBlocked(bool on, const std::string& reason) {
  shutdownBlocked = on;
  // A run without windows (/VERYSILENT) makes none just for this: a window
  // would be seen, and a hidden run is ended with the session as before.
  if (!applicationWindowMade) return;
  HWND h = detail::ApplicationWindow();
  if (!h) return;
  if (!on) {
    ShutdownBlockReasonDestroy(h);
    return;
  }
  std::wstring wide(reason.size() + 1, L'\0');
  const int n = MultiByteToWideChar(CP_ACP, 0, reason.c_str(), -1, wide.data(),
                                    static_cast<int>(wide.size()));
  wide.resize(n > 0 ? static_cast<size_t>(n) : 1);
  ShutdownBlockReasonCreate(h, wide.c_str());
}

HWND detail::ApplicationWindow() {
  static HWND h = CreateApplicationWindow();
  applicationWindowMade = true;
  return h;
}

int RunMainForm(Form& form) {
  form.visible = true;
  auto view = std::make_unique<View>(form, false);
  if (!view->Create(ApplicationWindow())) return 1;
  Stack().push_back(view.get());
  ShowWindow(view->hwnd(), form.windowState == WindowState::Minimized ? SW_SHOWMINIMIZED : SW_SHOW);
  UpdateWindow(view->hwnd());
  view->Fire([&] { form.Shown(); });
  Loop(*view);
  Stack().pop_back();
  return 0;
}

void InstallFormView() {
  SetTextMetrics(&GdiTextMetrics());
  SetFormPresenter(ShowFormModal);
  // Shows what the running handler changed so far in every shown form.
  SetFormRefresher([] {
    for (View* view : Stack()) view->Fire([] {});
  });
}

}  // namespace platform::win32
