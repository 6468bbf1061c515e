// Drawing of the window layer: fonts, text metrics, labels, bevels, panel
// frames and check list items, and the message handling of form windows.
#include <algorithm>

#include "platform/win32/form_view_internal.h"
#include "platform/win32/windows_api.h"
// After <windows.h>.
#include <commctrl.h>

namespace platform::win32::detail {

HFONT FontFor(const Font& desc) {
  static std::map<std::string, HFONT> cache;
  const std::string key = desc.name + "|" + std::to_string(desc.height) + "|" +
                          (desc.bold ? "b" : "") + (desc.italic ? "i" : "");
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  HFONT font = CreateFontA(-desc.height, 0, 0, 0, desc.bold ? FW_BOLD : FW_NORMAL,
                           desc.italic ? TRUE : FALSE, FALSE, FALSE, RUSSIAN_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, desc.name.c_str());
  cache[key] = font;
  return font;
}

namespace {

class GdiMetrics : public TextMetrics {
 public:
  int Width(const Font& font, const std::string& text) override {
    HDC dc = MeasuringDc(font);
    SIZE size{0, 0};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
  }
  int LineHeight(const Font& font) override {
    HDC dc = MeasuringDc(font);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    return tm.tmHeight;
  }
  int WrappedHeight(const Font& font, const std::string& text, int width) override {
    RECT r{0, 0, width, 0};
    Measure(font, text.empty() ? std::string(" ") : text, r,
            DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    return r.bottom - r.top;
  }

 private:
  void Measure(const Font& font, const std::string& text, RECT& r, UINT flags) {
    DrawTextA(MeasuringDc(font), text.c_str(), static_cast<int>(text.size()), &r, flags);
  }

  // One memory device context like the screen's, kept for the process: the
  // labels of a running installation are measured for every file, and each
  // GetDC of the screen is a trip to the window system (under Wine a server
  // request for the desktop's visible region). The fonts are the cache's and
  // live as long, so the one selected last may stay selected.
  HDC MeasuringDc(const Font& font) {
    if (!dc_) dc_ = CreateCompatibleDC(nullptr);
    SelectObject(dc_, FontFor(font));
    return dc_;
  }

  HDC dc_ = nullptr;
};

}  // namespace

TextMetrics& GdiTextMetrics() {
  static GdiMetrics metrics;
  return metrics;
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

// A button pressed, or a new selection or a double click in a list or combo
// box: the form's event. False for notifications the form does not take.
bool View::OnCommand(WPARAM wp, LPARAM lp) {
  const HWND h = reinterpret_cast<HWND>(lp);
  Control* c = ControlOf(h);
  if (!c) return false;
  const std::string name = c->name;
  if (c->kind == ControlKind::Button && HIWORD(wp) == BN_CLICKED) {
    Fire([&] { form_.Click(name); });
    return true;
  }
  const bool list = c->kind == ControlKind::ListBox;
  if ((list && HIWORD(wp) == LBN_SELCHANGE) ||
      (c->kind == ControlKind::ComboBox && HIWORD(wp) == CBN_SELCHANGE)) {
    const int index = static_cast<int>(SendMessageA(h, list ? LB_GETCURSEL : CB_GETCURSEL, 0, 0));
    shown_[c].itemIndex = index;
    Fire([&] { form_.Select(name, index); });
    return true;
  }
  if (list && HIWORD(wp) == LBN_DBLCLK) {
    Fire([&] { form_.DoubleClick(name); });
    return true;
  }
  return false;
}

// As a dialog does: the control that had the focus gets it back when the
// window is activated again (after a message box, for example). True when
// the focus was set here.
bool View::OnActivate(WPARAM wp) {
  if (LOWORD(wp) == WA_INACTIVE) {
    HWND focus = GetFocus();
    if (focus && IsChild(hwnd_, focus)) savedFocus_ = focus;
    return false;
  }
  if (HIWORD(wp)) return false;  // activated while minimized
  if (savedFocus_ && IsWindow(savedFocus_) && IsWindowVisible(savedFocus_) &&
      IsWindowEnabled(savedFocus_)) {
    SetFocus(savedFocus_);
  } else {
    FocusActive();
  }
  return true;
}

// A timer's tick; the timer's id is its control's.
void View::OnTimer(WPARAM id) {
  const auto& all = form_.Controls();
  const size_t index = static_cast<size_t>(id) - kFirstId;
  if (index < all.size() && all[index]->kind == ControlKind::Timer) {
    const std::string name = all[index]->name;
    Fire([&] { form_.Tick(name); });
  }
}

// A new client size: the aligned controls follow it.
void View::OnSize(int clientWidth, int clientHeight) {
  form_.clientWidth = clientWidth;
  form_.clientHeight = clientHeight;
  form_.Realign();
  Push();
  InvalidateRect(hwnd_, nullptr, TRUE);
}

// One item of a check list box: the box, then the caption, highlighted when
// selected.
void DrawCheckItem(const DRAWITEMSTRUCT& di, const Control& c) {
  const bool selected = di.itemState & ODS_SELECTED;
  FillRect(di.hDC, &di.rcItem, GetSysColorBrush(COLOR_WINDOW));
  if (di.itemID >= c.items.size()) return;
  const CheckItem& item = c.items[di.itemID];
  RECT box{di.rcItem.left + 2, di.rcItem.top, di.rcItem.left + 2 + 13, di.rcItem.top + 13};
  DrawFrameControl(di.hDC, &box, DFC_BUTTON,
                   DFCS_BUTTONCHECK | DFCS_FLAT | (item.checked ? DFCS_CHECKED : 0));
  RECT text = di.rcItem;
  text.left += kCheckBoxWidth + 2;
  if (selected) FillRect(di.hDC, &text, GetSysColorBrush(COLOR_HIGHLIGHT));
  SetBkMode(di.hDC, TRANSPARENT);
  SetTextColor(di.hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  RECT inner = text;
  inner.left += 2;
  DrawTextA(di.hDC, item.caption.c_str(), static_cast<int>(item.caption.size()), &inner,
            DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  if (di.itemState & ODS_FOCUS) DrawFocusRect(di.hDC, &text);
}

LRESULT View::Proc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_QUERYENDSESSION:
      if (ShutdownBlocked()) return FALSE;
      break;
    case WM_COMMAND:
      if (OnCommand(wp, lp)) return 0;
      break;
    case WM_TIMER:
      OnTimer(wp);
      return 0;
    case WM_CLOSE:
      Fire([&] { form_.Close(); });
      return 0;
    case WM_SYSCOMMAND:
      // The main window is minimized with the application window, which
      // keeps the task bar button.
      if (IsMain() && (wp & 0xFFF0) == SC_MINIMIZE) {
        ShowWindow(ApplicationWindow(), SW_MINIMIZE);
        return 0;
      }
      break;
    case WM_ACTIVATE:
      if (OnActivate(wp)) return 0;
      break;
    case WM_SIZE:
      if (wp != SIZE_MINIMIZED && hwnd_) OnSize(LOWORD(lp), HIWORD(lp));
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
      DrawCheckItem(*di, *c);
      return TRUE;
    }
    default:
      break;
  }
  return DefWindowProcA(hwnd_, msg, wp, lp);
}

}  // namespace platform::win32::detail
