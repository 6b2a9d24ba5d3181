// SPDX-License-Identifier: MIT
// Whole files on Windows.
#include <windows.h>

#include <algorithm>

#include "platform/files.h"
#include "platform/temporary_file.h"
#include "platform/win32/text.h"
#include "text/text.h"

namespace vellum::platform {

namespace {

// The folder part of `path` ("." for a bare name), without a trailing separator.
Bytes FolderOf(const Bytes& path) { return text::SplitPath(path).first; }

[[noreturn]] void Fail(const Bytes& path, const std::string& what, DWORD code) {
  // One line: the system's sentence without its full stop.
  std::string cause = win32::ErrorCodeText(code);
  while (!cause.empty() && cause.back() == '.') cause.pop_back();
  throw FileError(path, what + ": " + cause);
}

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }
  bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
  bool Close() {
    if (!ok()) return true;
    const bool closed = ::CloseHandle(h_) != 0;
    h_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE h_;
};
}  // namespace

PathKind KindOf(const Bytes& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::kDirectory;
  return PathKind::kFile;
}

Bytes CanonicalDirectory(const Bytes& directory) {
  char buffer[MAX_PATH * 4];
  const DWORD n = ::GetFullPathNameA(directory.c_str(), sizeof buffer, buffer, nullptr);
  if (n == 0 || n >= sizeof buffer) Fail(directory, "cannot resolve the folder", ::GetLastError());
  Bytes full(buffer, n);
  if (full.back() != '\\' && full.back() != '/') full += '\\';
  return full;
}

namespace {

// A handle that reads nothing of the file, for its identity and name; a folder included.
HANDLE OpenForQuery(const Path& path) {
  return ::CreateFileW(path.native().c_str(), FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

std::optional<FileIdentity> IdentityOf(const Path& path) {
  Handle file(OpenForQuery(path));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file.ok() || !::GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

Path ResolvedPath(const Path& path) {
  Handle file(OpenForQuery(path));
  if (!file.ok()) Fail(path.ToBytes(), "cannot resolve the path", ::GetLastError());
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetFinalPathNameByHandleW(
        file.get(), name.data(), static_cast<DWORD>(name.size()), FILE_NAME_NORMALIZED);
    if (n == 0) Fail(path.ToBytes(), "cannot resolve the path", ::GetLastError());
    if (n < name.size()) {
      name.resize(n);
      return Path::Native(name);
    }
    name.resize(n);
  }
}

std::optional<Bytes> ReadWholeFile(const Bytes& path, ReadAs kind) {
  Handle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok()) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return std::nullopt;
    Fail(path, "cannot open", code);
  }
  if (kind == ReadAs::kSettingsFile && ::GetFileType(file.get()) != FILE_TYPE_DISK) {
    throw FileError(path, "cannot open: not a file on a disk");
  }
  Bytes bytes;
  char buffer[65536];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &n, nullptr)) {
      Fail(path, "cannot read", ::GetLastError());
    }
    if (n == 0) return bytes;
    bytes.append(buffer, n);
  }
}

void WriteFileReplacing(const Bytes& requested_path, std::string_view bytes, Overwrite overwrite) {
  // Whole paths from here on: the folder of the temporary file, and what ReplaceFile wants.
  char buffer[MAX_PATH * 4];
  const DWORD length = ::GetFullPathNameA(requested_path.c_str(), sizeof buffer, buffer, nullptr);
  if (length == 0 || length >= sizeof buffer) {
    Fail(requested_path, "cannot resolve the path", ::GetLastError());
  }
  const Bytes path(buffer, length);
  const bool exists = KindOf(path) != PathKind::kMissing;
  if (exists && overwrite == Overwrite::kRefuse) {
    throw FileError(path, "already exists (use --force to replace it)");
  }
  const Bytes folder = FolderOf(path);
  char temp_name[MAX_PATH];
  if (::GetTempFileNameA(folder.c_str(), "vel", 0, temp_name) == 0) {
    Fail(path, "cannot create a temporary file in " + folder, ::GetLastError());
  }
  TemporaryFile temp(temp_name);
  {
    Handle file(::CreateFileA(temp.path().c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.ok()) Fail(path, "cannot write " + temp.path(), ::GetLastError());
    std::size_t done = 0;
    while (done < bytes.size()) {
      DWORD n = 0;
      const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
      if (!::WriteFile(file.get(), bytes.data() + done, chunk, &n, nullptr)) {
        Fail(path, "cannot write " + temp.path(), ::GetLastError());
      }
      done += n;
    }
    if (!::FlushFileBuffers(file.get())) {
      Fail(path, "cannot write " + temp.path(), ::GetLastError());
    }
    if (!file.Close()) Fail(path, "cannot write " + temp.path(), ::GetLastError());
  }
  if (exists) {
    // Keeps the replaced file's attributes and access rights.
    if (!::ReplaceFileA(path.c_str(), temp.path().c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                        nullptr, nullptr)) {
      Fail(path, "cannot replace", ::GetLastError());
    }
  } else if (!::MoveFileExA(temp.path().c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH)) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) {
      throw FileError(path, "already exists (use --force to replace it)");
    }
    Fail(path, "cannot create", code);
  }
  temp.Keep();
}

}  // namespace vellum::platform
