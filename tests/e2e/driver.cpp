// A small Win32 GUI driver for the end-to-end tests of setup.exe under Wine.
// It finds top-level windows by caption, reads their controls with WM_GETTEXT
// (GetWindowText cannot read another process's controls), presses keys and
// buttons with posted messages, and answers message boxes. Output is UTF-8,
// one line per window or control, tab-separated.
//
//   driver wait CAPTION [MS]          wait until a window with CAPTION exists
//   driver gone CAPTION [MS]          wait until no such window exists
//   driver dump CAPTION               caption, client size, then every child:
//                                     class, id, left, top, width, height,
//                                     visible, enabled, text
//   driver key CAPTION VK             post a key press (virtual key code)
//   driver altkey CAPTION VK          post a key press with Alt held (WM_SYSKEYDOWN)
//   driver focus CAPTION              the focused control and the button with
//                                     the bold default frame: "focus<TAB>text"
//                                     and "default<TAB>text"
//   driver click CAPTION BUTTON       press the child button with that text
//   driver close CAPTION              ask the window to close (its close box)
//   driver settext CAPTION ID TEXT    type TEXT into the child with that id
//   driver bars                       every visible progress bar in a visible
//                                     window: low, high and position of its range
//   driver watch STOPFILE             print "watching", then sample the visible
//                                     top-level windows every 20 ms until STOPFILE
//                                     exists; print each one seen once: its
//                                     program's file name, class and caption
//
// CAPTION may end in "*" to match a prefix. The exit status is 0 on success,
// 1 when the window or control was not found in time.
// QueryFullProcessImageNameW.
#define _WIN32_WINNT 0x0600
#include <windows.h>
// After <windows.h>.
#include <commctrl.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                      nullptr);
  return s;
}

std::wstring TextOf(HWND h) {
  const LRESULT n = SendMessageW(h, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  SendMessageW(h, WM_GETTEXT, static_cast<WPARAM>(n + 1), reinterpret_cast<LPARAM>(text.data()));
  text.resize(wcslen(text.c_str()));
  return text;
}

std::string Escaped(const std::wstring& w) {
  std::string s = Utf8(w), out;
  for (char c : s) {
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\t')
      out += "\\t";
    else
      out += c;
  }
  return out;
}

bool Matches(const std::wstring& text, const std::wstring& pattern) {
  if (!pattern.empty() && pattern.back() == L'*') {
    return text.compare(0, pattern.size() - 1, pattern, 0, pattern.size() - 1) == 0;
  }
  return text == pattern;
}

struct Search {
  std::wstring pattern;
  DWORD pid = 0;
  HWND found = nullptr;
};

BOOL CALLBACK FindTop(HWND h, LPARAM lp) {
  auto* s = reinterpret_cast<Search*>(lp);
  if (!IsWindowVisible(h)) return TRUE;
  if (Matches(TextOf(h), s->pattern)) {
    s->found = h;
    return FALSE;
  }
  return TRUE;
}

HWND FindTopWindow(const std::wstring& caption, int waitMs) {
  for (int waited = 0;; waited += 100) {
    Search s{caption};
    EnumWindows(FindTop, reinterpret_cast<LPARAM>(&s));
    if (s.found || waited >= waitMs) return s.found;
    Sleep(100);
  }
}

BOOL CALLBACK CollectChild(HWND h, LPARAM lp) {
  reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
  return TRUE;
}

std::vector<HWND> Children(HWND top) {
  std::vector<HWND> all;
  EnumChildWindows(top, CollectChild, reinterpret_cast<LPARAM>(&all));
  return all;
}

int Dump(HWND top) {
  RECT client;
  GetClientRect(top, &client);
  RECT outer;
  GetWindowRect(top, &outer);
  std::printf("window\t%s\t%ld\t%ld\t%ld\t%ld\n", Escaped(TextOf(top)).c_str(), client.right,
              client.bottom, outer.right - outer.left, outer.bottom - outer.top);
  for (HWND h : Children(top)) {
    if (GetParent(h) != top) continue;
    wchar_t cls[64] = L"";
    GetClassNameW(h, cls, 64);
    RECT r;
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&r), 2);
    std::printf("%s\t%d\t%ld\t%ld\t%ld\t%ld\t%d\t%d\t%s\n", Utf8(cls).c_str(), GetDlgCtrlID(h),
                r.left, r.top, r.right - r.left, r.bottom - r.top, IsWindowVisible(h) ? 1 : 0,
                IsWindowEnabled(h) ? 1 : 0, Escaped(TextOf(h)).c_str());
  }
  return 0;
}

HWND FindButton(HWND top, const std::wstring& text) {
  for (HWND h : Children(top)) {
    wchar_t cls[64] = L"";
    GetClassNameW(h, cls, 64);
    if (_wcsicmp(cls, L"Button") == 0 && Matches(TextOf(h), text)) return h;
  }
  return nullptr;
}

BOOL CALLBACK PrintBars(HWND top, LPARAM) {
  if (!IsWindowVisible(top)) return TRUE;
  for (HWND h : Children(top)) {
    wchar_t cls[64] = L"";
    GetClassNameW(h, cls, 64);
    if (_wcsicmp(cls, L"msctls_progress32") != 0 || !IsWindowVisible(h)) continue;
    // Both queries answer in the result: they work across processes.
    std::printf("bar\t%ld\t%ld\t%ld\n", static_cast<long>(SendMessageW(h, PBM_GETRANGE, TRUE, 0)),
                static_cast<long>(SendMessageW(h, PBM_GETRANGE, FALSE, 0)),
                static_cast<long>(SendMessageW(h, PBM_GETPOS, 0, 0)));
  }
  return TRUE;
}

// The file name of the program that owns a window.
std::wstring ProgramOf(HWND h) {
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  wchar_t path[MAX_PATH] = L"";
  DWORD size = MAX_PATH;
  if (process) {
    if (!QueryFullProcessImageNameW(process, 0, path, &size)) path[0] = L'\0';
    CloseHandle(process);
  }
  const wchar_t* slash = wcsrchr(path, L'\\');
  return slash ? slash + 1 : path;
}

BOOL CALLBACK NoteWindow(HWND h, LPARAM lp) {
  if (!IsWindowVisible(h)) return TRUE;
  wchar_t cls[64] = L"", caption[256] = L"";
  GetClassNameW(h, cls, 64);
  // GetWindowText reads another program's caption without waiting for it.
  GetWindowTextW(h, caption, 256);
  reinterpret_cast<std::set<std::string>*>(lp)->insert(Utf8(ProgramOf(h)) + "\t" + Utf8(cls) +
                                                       "\t" + Escaped(caption));
  return TRUE;
}

int Watch(const wchar_t* stopFile) {
  std::printf("watching\n");
  std::fflush(stdout);
  std::set<std::string> seen;
  for (int i = 0; i < 30000 && GetFileAttributesW(stopFile) == INVALID_FILE_ATTRIBUTES; ++i) {
    EnumWindows(NoteWindow, reinterpret_cast<LPARAM>(&seen));
    Sleep(20);
  }
  for (const std::string& line : seen) std::printf("%s\n", line.c_str());
  std::printf("end\n");
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && std::wstring(argv[1]) == L"bars") {
    EnumWindows(PrintBars, 0);
    return 0;
  }
  if (argc == 3 && std::wstring(argv[1]) == L"watch") return Watch(argv[2]);
  if (argc < 3) {
    std::fprintf(stderr, "usage: driver wait|gone|dump|key|click|close CAPTION [ARG]\n");
    return 2;
  }
  const std::wstring cmd = argv[1], caption = argv[2];
  const std::wstring arg = argc > 3 ? argv[3] : L"";
  if (cmd == L"gone") {
    const int limit = arg.empty() ? 5000 : _wtoi(arg.c_str());
    for (int waited = 0; waited <= limit; waited += 100) {
      if (!FindTopWindow(caption, 0)) return 0;
      Sleep(100);
    }
    return 1;
  }
  HWND top = FindTopWindow(caption, cmd == L"wait" && !arg.empty() ? _wtoi(arg.c_str()) : 5000);
  if (!top) {
    std::fprintf(stderr, "no window \"%s\"\n", Utf8(caption).c_str());
    return 1;
  }
  if (cmd == L"wait") return 0;
  if (cmd == L"dump") return Dump(top);
  if (cmd == L"close") return PostMessageW(top, WM_CLOSE, 0, 0) ? 0 : 1;
  if (cmd == L"settext") {
    HWND child = GetDlgItem(top, _wtoi(arg.c_str()));
    const std::wstring text = argc > 4 ? argv[4] : L"";
    if (!child) return 1;
    SendMessageW(child, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    return 0;
  }
  if (cmd == L"focus") {
    GUITHREADINFO info{sizeof info};
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(top, nullptr), &info)) return 1;
    std::printf("focus\t%s\n", info.hwndFocus ? Escaped(TextOf(info.hwndFocus)).c_str() : "");
    for (HWND h : Children(top)) {
      wchar_t cls[64] = L"";
      GetClassNameW(h, cls, 64);
      if (_wcsicmp(cls, L"Button") == 0 &&
          (GetWindowLongW(h, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
        std::printf("default\t%s\n", Escaped(TextOf(h)).c_str());
    }
    return 0;
  }
  if (cmd == L"key" || cmd == L"altkey") {
    // The program's message loop sees the key as typed into its focused control.
    const bool alt = cmd == L"altkey";
    const UINT vk = static_cast<UINT>(_wtoi(arg.c_str()));
    SetForegroundWindow(top);
    HWND target = top;
    const DWORD thread = GetWindowThreadProcessId(top, nullptr);
    GUITHREADINFO info{sizeof info};
    if (GetGUIThreadInfo(thread, &info) && info.hwndFocus) target = info.hwndFocus;
    // Alt held: the system key messages, with the context bit (29) set.
    const LPARAM down =
        1 | (static_cast<LPARAM>(MapVirtualKeyW(vk, 0)) << 16) | (alt ? LPARAM{1} << 29 : 0);
    PostMessageW(target, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, down);
    PostMessageW(target, alt ? WM_SYSKEYUP : WM_KEYUP, vk, down | (1u << 30) | (1u << 31));
    return 0;
  }
  if (cmd == L"click") {
    HWND button = nullptr;
    for (int waited = 0; !button && waited <= 5000; waited += 100) {
      button = FindButton(top, arg);
      if (!button) Sleep(100);
    }
    if (!button) {
      std::fprintf(stderr, "no button \"%s\"\n", Utf8(arg).c_str());
      return 1;
    }
    return PostMessageW(button, BM_CLICK, 0, 0) ? 0 : 1;
  }
  std::fprintf(stderr, "unknown command\n");
  return 2;
}
