// Helpers for the end-to-end tests of an installation run under Wine.
//
//   install_tools lnk PATH            read a shell link back through IShellLinkA:
//                                     prints "target\targuments\tworking folder"
//   install_tools hold PATH RELEASE   open PATH without sharing and keep it open
//                                     until the file RELEASE exists (at most 5 min)
//   install_tools record OUT ARGS...  write the working folder and ARGS, one per
//                                     line, to OUT (a stand-in post-install program)
//   install_tools version PATH        print the FileVersion and ProductVersion
//                                     strings of PATH's version resource
//   install_tools exec FILE           run the command line held in FILE (UTF-8)
//                                     exactly as written there, wait for it, print
//                                     "exit code N" and exit with that code (Wine
//                                     would requote a command line given as
//                                     arguments, and keeps 8 bits of an exit code)
//
// Output is UTF-8. Exit status 0 on success, 1 on failure.
#include <objbase.h>
#include <shlobj.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

std::string Utf8FromAnsi(const char* ansi) {
  const int wn = MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
  std::wstring w(static_cast<size_t>(wn), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi, -1, w.data(), wn);
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, s.data(), n, nullptr, nullptr);
  if (!s.empty() && s.back() == '\0') s.pop_back();
  return s;
}

int ReadLink(const wchar_t* path) {
  CoInitialize(nullptr);
  IShellLinkA* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link)))) {
    return 1;
  }
  IPersistFile* file = nullptr;
  int rc = 1;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
      SUCCEEDED(file->Load(path, STGM_READ))) {
    char target[MAX_PATH] = "", args[1024] = "", dir[MAX_PATH] = "";
    link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
    link->GetArguments(args, sizeof args);
    link->GetWorkingDirectory(dir, MAX_PATH);
    std::printf("%s\t%s\t%s\n", Utf8FromAnsi(target).c_str(), Utf8FromAnsi(args).c_str(),
                Utf8FromAnsi(dir).c_str());
    rc = 0;
  }
  if (file) file->Release();
  link->Release();
  return rc;
}

int Hold(const wchar_t* path, const wchar_t* release) {
  HANDLE h = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 1;
  std::printf("holding\n");
  std::fflush(stdout);
  for (int i = 0; i < 3000 && GetFileAttributesW(release) == INVALID_FILE_ATTRIBUTES; ++i)
    Sleep(100);
  CloseHandle(h);
  return 0;
}

int Version(const wchar_t* path) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &handle);
  if (size == 0) return 1;
  std::string data(size, '\0');
  if (!GetFileVersionInfoW(path, 0, size, data.data())) return 1;
  // The first language and code page the resource lists.
  struct Translation {
    WORD language, codePage;
  }* translation = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translation), &length) ||
      length < sizeof(Translation)) {
    return 1;
  }
  for (const wchar_t* name : {L"FileVersion", L"ProductVersion"}) {
    wchar_t key[100];
    swprintf(key, 100, L"\\StringFileInfo\\%04x%04x\\%ls", translation->language,
             translation->codePage, name);
    wchar_t* value = nullptr;
    if (!VerQueryValueW(data.data(), key, reinterpret_cast<void**>(&value), &length)) return 1;
    std::printf("%ls%s", value, name[0] == L'F' ? "\t" : "\n");
  }
  return 0;
}

int Record(int argc, wchar_t** argv) {
  FILE* f = _wfopen(argv[2], L"w");
  if (!f) return 1;
  wchar_t folder[MAX_PATH] = L"";
  GetCurrentDirectoryW(MAX_PATH, folder);
  std::fwprintf(f, L"%ls\n", folder);
  for (int i = 3; i < argc; ++i) std::fwprintf(f, L"%ls\n", argv[i]);
  std::fclose(f);
  return 0;
}

int Exec(const wchar_t* file) {
  FILE* f = _wfopen(file, L"rb");
  if (!f) return 101;
  std::string utf8;
  for (int c; (c = std::fgetc(f)) != EOF;) {
    if (c != '\r' && c != '\n') utf8 += static_cast<char>(c);
  }
  std::fclose(f);
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring line(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, line.data(), n);
  STARTUPINFOW si{sizeof si};
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return 102;
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 103;
  GetExitCodeProcess(pi.hProcess, &code);
  // The whole code: Wine hands only its low 8 bits on as the exit status.
  std::printf("exit code %lu\n", static_cast<unsigned long>(code));
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<int>(code);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && std::wstring(argv[1]) == L"lnk") return ReadLink(argv[2]);
  if (argc >= 4 && std::wstring(argv[1]) == L"hold") return Hold(argv[2], argv[3]);
  if (argc >= 3 && std::wstring(argv[1]) == L"record") return Record(argc, argv);
  if (argc == 3 && std::wstring(argv[1]) == L"exec") return Exec(argv[2]);
  if (argc == 3 && std::wstring(argv[1]) == L"version") return Version(argv[2]);
  std::fprintf(stderr, "usage: install_tools lnk PATH | hold PATH RELEASE\n");
  return 2;
}
