// SPDX-License-Identifier: MIT
// Program file, file reading and file-name text on Windows. Paths are UTF-16 from the program
// file's own path on; only byte strings from the settings are read in the ANSI code page.
#include <windows.h>
// After windows.h, which they need.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "platform/win32/text.h"

namespace vellum::platform {

namespace {

class Win32InputFile final : public InputFile {
 public:
  Win32InputFile(HANDLE file, std::uint64_t size, Bytes path)
      : file_(file), size_(size), path_(std::move(path)) {}
  ~Win32InputFile() override { ::CloseHandle(file_); }
  Win32InputFile(const Win32InputFile&) = delete;
  Win32InputFile& operator=(const Win32InputFile&) = delete;

  std::size_t Read(char* buffer, std::size_t size) override {
    const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD read = 0;
    if (!::ReadFile(file_, buffer, chunk, &read, nullptr)) {
      throw PlatformError(win32::FileErrorText("Cannot read", path_, ::GetLastError()));
    }
    return read;
  }

  std::uint64_t SizeHint() const override { return size_; }

 private:
  HANDLE file_;
  std::uint64_t size_;
  Bytes path_;
};

}  // namespace

Path::Path(std::string_view bytes) : native_(win32::ToWide(bytes)) {}

Path Path::FromUtf8(std::string_view utf8) { return Native(win32::Utf8ToWide(utf8)); }

Bytes Path::ToBytes() const { return win32::ToAnsi(native_); }

std::string Path::ToUtf8() const { return win32::WideToUtf8(native_); }

std::optional<std::string> Path::NamesAfter(const Path& folder) const {
  const String& prefix = folder.native();
  if (native_.size() <= prefix.size() || native_.compare(0, prefix.size(), prefix) != 0) {
    return std::nullopt;
  }
  std::string names = win32::WideToUtf8(std::wstring_view(native_).substr(prefix.size()));
  std::replace(names.begin(), names.end(), '\\', '/');
  return names;
}

Path Path::Append(std::string_view name) const { return Native(native_ + win32::ToWide(name)); }

Bytes LowerCaseAfterFirst(const Path& name) {
  std::wstring text = name.native();
  std::size_t first = 1;
  if (text.size() > 1 && IS_HIGH_SURROGATE(text[0]) && IS_LOW_SURROGATE(text[1])) first = 2;
  if (text.size() > first) {
    ::CharLowerBuffW(text.data() + first, static_cast<DWORD>(text.size() - first));
  }
  return win32::ToAnsi(text);
}

bool IsMultiByteCodePage() {
  CPINFO info{};
  return ::GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 1;
}

std::size_t CharacterLength(std::string_view text, std::size_t i) {
  return i + 1 < text.size() && ::IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(text[i])) ? 2 : 1;
}

Path RunningProgramPath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) {
      throw PlatformError(
          win32::SystemErrorText("Cannot find", "the program file", ::GetLastError()));
    }
    if (n < buffer.size()) return Path::Native(std::wstring(buffer.data(), n));
    buffer.resize(buffer.size() * 2);
  }
}

char PathSeparator() { return '\\'; }

std::unique_ptr<InputFile> OpenForReading(const Path& file_path) {
  const std::string path = file_path.ToUtf8();  // for messages only
  // Read sharing only: a file somebody holds open for writing is not opened, and nobody may
  // open it for writing while it is open here.
  HANDLE file = ::CreateFileW(file_path.native().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    throw PlatformError(win32::FileErrorText("Cannot open", path, ::GetLastError()));
  }
  // Only a file on a disk: a pipe waits for its writer, and a device such as a console or a
  // serial port never ends.
  if (::GetFileType(file) != FILE_TYPE_DISK) {
    ::CloseHandle(file);
    throw PlatformError("Cannot open '" + path + "': not a file on a disk");
  }
  LARGE_INTEGER size{};
  const std::uint64_t hint = ::GetFileSizeEx(file, &size) && size.QuadPart > 0
                                 ? static_cast<std::uint64_t>(size.QuadPart)
                                 : 0;
  try {
    return std::make_unique<Win32InputFile>(file, hint, path);
  } catch (...) {
    ::CloseHandle(file);
    throw;
  }
}

std::vector<DirectoryEntry> ListDirectory(const Path& directory) {
  std::wstring prefix = directory.native();
  if (!prefix.empty() && prefix.back() != L'\\' && prefix.back() != L'/') prefix += L'\\';
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileExW((prefix + L"*").c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) {
    throw PlatformError(win32::FileErrorText("Cannot list", directory.ToUtf8(), ::GetLastError()));
  }
  std::vector<DirectoryEntry> entries;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    entries.push_back({win32::WideToUtf8(name), Path::Native(prefix + name),
                       (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (::FindNextFileW(search, &found));
  const DWORD err = ::GetLastError();
  ::FindClose(search);
  if (err != ERROR_NO_MORE_FILES) {
    throw PlatformError(win32::FileErrorText("Cannot list", directory.ToUtf8(), err));
  }
  return entries;
}

std::vector<std::string> StartConsoleProgram(int, char**) {
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  std::vector<std::string> args;
  for (int i = 1; argv != nullptr && i < argc; ++i) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(std::max(n, 1)), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, utf8.data(), n, nullptr, nullptr);
    utf8.pop_back();  // the terminator
    args.push_back(std::move(utf8));
  }
  if (argv != nullptr) ::LocalFree(argv);
  ::SetConsoleOutputCP(CP_UTF8);
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  return args;
}

}  // namespace vellum::platform
