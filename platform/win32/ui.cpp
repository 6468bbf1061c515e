// The user interface of the win32 platform: message boxes with Russian
// captions on their buttons whatever the system language, the shell's folder
// chooser, the common file-open dialog, the message pump and the cursor.
//
// A message box is MessageBoxA with a standard set of buttons whose captions
// are replaced while the box is activated, through a CBT hook on this thread.
// The set is chosen by the number of buttons: one button uses MB_OK, two use
// MB_OKCANCEL when one of them is Cancel (so that Esc and the close box mean
// Cancel) and MB_YESNO otherwise, three use MB_YESNOCANCEL or
// MB_ABORTRETRYIGNORE. The standard results map back to the requested
// buttons by position.
#include <vector>

#include "platform/form.h"
#include "platform/message_texts.h"
#include "platform/win32/form_view.h"
#include "platform/win32/win32.h"
#include "platform/win32/windows_api.h"

namespace platform::win32 {

namespace {

FormPresenter& presenter() {
  static FormPresenter p;
  return p;
}

FormRefresher& refresher() {
  static FormRefresher r;
  return r;
}

struct BoxLayout {
  UINT type;
  int ids[3];
};

BoxLayout LayoutFor(const std::vector<Button>& buttons) {
  const bool hasCancel = !buttons.empty() && buttons.back() == kButtonCancel;
  switch (buttons.size()) {
    case 1:
      return {MB_OK, {IDOK, 0, 0}};
    case 2:
      return hasCancel ? BoxLayout{MB_OKCANCEL, {IDOK, IDCANCEL, 0}}
                       : BoxLayout{MB_YESNO, {IDYES, IDNO, 0}};
    default:
      return hasCancel ? BoxLayout{MB_YESNOCANCEL, {IDYES, IDNO, IDCANCEL}}
                       : BoxLayout{MB_ABORTRETRYIGNORE, {IDABORT, IDRETRY, IDIGNORE}};
  }
}

// Captions to put on the buttons of the box about to be activated.
struct PendingCaptions {
  HHOOK hook = nullptr;
  std::vector<std::pair<int, std::string>> captions;
};
thread_local PendingCaptions pending;

LRESULT CALLBACK RenameButtons(int code, WPARAM wParam, LPARAM lParam) {
  const HHOOK hook = pending.hook;
  if (code == HCBT_ACTIVATE) {
    HWND box = reinterpret_cast<HWND>(wParam);
    for (const auto& [id, caption] : pending.captions) SetDlgItemTextA(box, id, caption.c_str());
    UnhookWindowsHookEx(pending.hook);
    pending.hook = nullptr;
  }
  return CallNextHookEx(hook, code, wParam, lParam);
}

UINT IconOf(MessageKind kind) {
  switch (kind) {
    case MessageKind::Warning:
      return MB_ICONWARNING;
    case MessageKind::Error:
    case MessageKind::ApplicationError:
      return MB_ICONERROR;
    case MessageKind::Information:
      return MB_ICONINFORMATION;
    case MessageKind::Confirmation:
      return MB_ICONQUESTION;
    case MessageKind::Custom:
      break;
  }
  return 0;
}

int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED && data) SendMessageA(window, BFFM_SETSELECTIONA, TRUE, data);
  return 0;
}

class Win32Ui : public Ui {
 public:
  Button MessageBox(const MessageBoxRequest& request) override {
    // The windows behind the box show what the running handler has changed
    // so far (a new caption, the progress bar), not what they showed when it
    // started.
    if (const FormRefresher& refresh = refresher()) refresh();
    std::vector<Button> buttons = ButtonsInOrder(request.buttons);
    if (buttons.empty()) buttons.push_back(kButtonOk);
    if (buttons.size() > 3) buttons.resize(3);
    const BoxLayout layout = LayoutFor(buttons);
    const Button wanted = DefaultButtonOf(request);
    UINT defaultFlag = MB_DEFBUTTON1;
    for (size_t i = 0; i < buttons.size(); ++i) {
      if (buttons[i] == wanted)
        defaultFlag = i == 1 ? MB_DEFBUTTON2 : (i == 2 ? MB_DEFBUTTON3 : MB_DEFBUTTON1);
    }
    pending.captions.clear();
    for (size_t i = 0; i < buttons.size(); ++i)
      pending.captions.emplace_back(layout.ids[i], ButtonCaption(buttons[i]));
    pending.hook = SetWindowsHookExA(WH_CBT, RenameButtons, nullptr, GetCurrentThreadId());
    const std::string caption = MessageCaption(request.kind, request.caption);
    const int result = MessageBoxA(GetActiveWindow(), request.text.c_str(), caption.c_str(),
                                   layout.type | IconOf(request.kind) | defaultFlag | MB_TASKMODAL);
    if (pending.hook) {  // the box never came up
      UnhookWindowsHookEx(pending.hook);
      pending.hook = nullptr;
    }
    for (size_t i = 0; i < buttons.size(); ++i) {
      if (layout.ids[i] == result) return buttons[i];
    }
    // Closed some other way (no box could be shown): the way out, if any.
    return (request.buttons & kButtonCancel) ? kButtonCancel : buttons.back();
  }

  bool ChooseFolder(const std::string& title, std::string& folder) override {
    CoInitialize(nullptr);
    BROWSEINFOA info{};
    info.hwndOwner = GetActiveWindow();
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(folder.c_str());
    LPITEMIDLIST pidl = SHBrowseForFolderA(&info);
    if (!pidl) return false;
    char buffer[MAX_PATH + 1] = {};
    const bool ok = SHGetPathFromIDListA(pidl, buffer) != 0;
    CoTaskMemFree(pidl);
    if (ok) folder = buffer;
    return ok;
  }

  // filter: "description|mask|description|mask", as the run-time library's dialogs take it.
  bool OpenFileDialog(const std::string& title, const std::string& filter,
                      std::string& file) override {
    std::string filters = filter;
    for (char& c : filters) {
      if (c == '|') c = '\0';
    }
    filters.append(2, '\0');
    std::vector<char> buffer(4096, '\0');
    file.copy(buffer.data(), buffer.size() - 1);
    OPENFILENAMEA info{};
    info.lStructSize = sizeof info;
    info.hwndOwner = GetActiveWindow();
    info.lpstrFilter = filter.empty() ? nullptr : filters.c_str();
    info.lpstrFile = buffer.data();
    info.nMaxFile = static_cast<DWORD>(buffer.size());
    info.lpstrTitle = title.empty() ? nullptr : title.c_str();
    info.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameA(&info)) return false;
    file = buffer.data();
    return true;
  }

  void BlockShutdown(bool on, const std::string& reason) override {
    SetShutdownBlocked(on, reason);
  }
  // The engine asks before every chunk it reads, hundreds of times a second,
  // and each look at the queue is a trip into the system (under Wine, a
  // request to its server). Within kQuietMs of a look that found the queue
  // empty the queue is not looked at again: input and repaints wait at
  // most that long. The form is brought up to date on every call.
  void ProcessMessages() override {
    if (const FormRefresher& refresh = refresher()) refresh();
    const ULONGLONG now = GetTickCount64();
    if (quietSince_ != 0 && now - quietSince_ < kQuietMs) return;
    bool any = false;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      any = true;
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));  // leave it for the main loop
        break;
      }
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    quietSince_ = any ? 0 : now;
  }

  void SetCursor(Cursor cursor) override {
    ::SetCursor(LoadCursorA(nullptr, cursor == Cursor::Wait ? IDC_WAIT : IDC_ARROW));
  }

  // Forms are shown by the window layer, which installs its presenter with
  // SetFormPresenter at start-up.
  int ShowModal(Form& form) override {
    if (!presenter()) return kMrCancel;  // nothing can show it: as if cancelled
    return presenter()(form);
  }

 private:
  static constexpr ULONGLONG kQuietMs = 10;
  ULONGLONG quietSince_ = 0;  // when a look found the queue empty; 0: look next time
};

}  // namespace

void SetFormPresenter(FormPresenter p) { presenter() = std::move(p); }
void SetFormRefresher(FormRefresher r) { refresher() = std::move(r); }

std::unique_ptr<Ui> MakeUi() { return std::make_unique<Win32Ui>(); }

}  // namespace platform::win32
