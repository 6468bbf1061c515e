// Code-page text services of the win32 platform. Every call passes an explicit
// length, so texts with embedded NULs are converted whole.
#include "platform/win32/win32.h"
#include "platform/win32/windows_api.h"
#include "support/cp1251.h"

namespace platform::win32 {

namespace {

class Win32Text : public Text {
 public:
  std::string OemToAnsi(const std::string& oem) override {
    std::string out(oem.size(), '\0');
    if (!oem.empty()) OemToCharBuffA(oem.data(), out.data(), static_cast<DWORD>(oem.size()));
    return out;
  }

  std::string Utf8ToAnsi(const std::string& utf8) override {
    // Decoded here rather than by MultiByteToWideChar, so that malformed bytes
    // and characters beyond the 16-bit range give one "_" each on every system.
    std::wstring wide;
    for (char32_t cp : support::DecodeUtf8(utf8))
      wide += cp > 0xFFFF ? L'\uFFFD' : static_cast<wchar_t>(cp);
    if (wide.empty()) return std::string();
    const int wn = static_cast<int>(wide.size());
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), wn, nullptr, 0,
                                      "_", nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), wn, out.data(), n, "_", nullptr);
    return out;
  }

  std::string UpperCase(const std::string& s) override {
    std::string out(s);
    if (!out.empty()) CharUpperBuffA(out.data(), static_cast<DWORD>(out.size()));
    return out;
  }

  std::string LowerCase(const std::string& s) override {
    std::string out(s);
    if (!out.empty()) CharLowerBuffA(out.data(), static_cast<DWORD>(out.size()));
    return out;
  }

  int Compare(const std::string& a, const std::string& b, bool ignoreCase) override {
    const int r = CompareStringA(LOCALE_USER_DEFAULT, ignoreCase ? NORM_IGNORECASE : 0, a.data(),
                                 static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()));
    if (r == 0) return a < b ? -1 : (a == b ? 0 : 1);  // the call failed: compare bytes
    return r - CSTR_EQUAL;
  }
};

}  // namespace

std::unique_ptr<Text> MakeText() { return std::make_unique<Win32Text>(); }

}  // namespace platform::win32
