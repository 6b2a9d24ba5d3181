// SPDX-License-Identifier: MIT
// Whole files on Windows.
#include <windows.h>

#include <algorithm>
#include <iterator>
#include <random>

#include "platform/files.h"
#include "platform/temporary_file.h"
#include "platform/win32/text.h"
#include "text/text.h"

namespace vellum::platform {

namespace {

[[noreturn]] void Fail(const Path& path, const std::string& what, DWORD code) {
  // One line: the system's sentence without its full stop.
  std::string cause = win32::ErrorCodeUtf8(code);
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

// The whole path of `path`, taken from the current folder when it is relative.
Path FullPath(const Path& path, const char* what) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetFullPathNameW(path.native().c_str(), static_cast<DWORD>(buffer.size()),
                                       buffer.data(), nullptr);
    if (n == 0) Fail(path, what, ::GetLastError());
    if (n < buffer.size()) {
      buffer.resize(n);
      return Path::Native(std::move(buffer));
    }
    buffer.resize(n);
  }
}

}  // namespace

PathKind KindOf(const Path& path) {
  const DWORD attributes = ::GetFileAttributesW(path.native().c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::kDirectory;
  return PathKind::kFile;
}

std::optional<bool> IsExecutableFile(const Path&) { return std::nullopt; }

Path CanonicalDirectory(const Path& directory) {
  std::wstring full = FullPath(directory, "cannot resolve the folder").native();
  if (full.back() != L'\\' && full.back() != L'/') full += L'\\';
  return Path::Native(std::move(full));
}

Path FinalTarget(const Path& path) { return path; }

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
  if (!file.ok()) Fail(path, "cannot resolve the path", ::GetLastError());
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetFinalPathNameByHandleW(
        file.get(), name.data(), static_cast<DWORD>(name.size()), FILE_NAME_NORMALIZED);
    if (n == 0) Fail(path, "cannot resolve the path", ::GetLastError());
    if (n < name.size()) {
      name.resize(n);
      return Path::Native(name);
    }
    name.resize(n);
  }
}

std::optional<Bytes> ReadWholeFile(const Path& path, ReadAs kind) {
  Handle file(::CreateFileW(path.native().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
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

void WriteFileReplacing(const Path& requested_path, std::string_view bytes, Overwrite overwrite) {
  // Whole paths from here on: the folder of the temporary file, and what ReplaceFile wants.
  const Path path = FullPath(requested_path, "cannot resolve the path");
  const bool exists = KindOf(path) != PathKind::kMissing;
  if (exists && overwrite == Overwrite::kRefuse) {
    throw FileError(path, "already exists (use --force to replace it)");
  }
  // ".NAME.XXXXXX" beside the file, as on POSIX systems: the next holder of the file's lock
  // finds what a killed write left.
  const std::wstring folder = path.Directory().native();
  const std::wstring stem = folder + L"." + path.FileName().native() + L".";
  std::random_device random;
  constexpr wchar_t kLetters[] = L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::wstring temp_name;
  HANDLE created = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && created == INVALID_HANDLE_VALUE; ++attempt) {
    temp_name = stem;
    for (std::size_t i = 0; i < kTemporarySuffixLength; ++i) {
      temp_name += kLetters[random() % (std::size(kLetters) - 1)];
    }
    created = ::CreateFileW(temp_name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (created == INVALID_HANDLE_VALUE) {
    Fail(path, "cannot create a temporary file in " + Path::Native(folder).ToUtf8(),
         ::GetLastError());
  }
  TemporaryFile temp(Path::Native(temp_name));
  {
    Handle file(created);
    const std::string temp_shown = temp.path().ToUtf8();
    std::size_t done = 0;
    while (done < bytes.size()) {
      DWORD n = 0;
      const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
      if (!::WriteFile(file.get(), bytes.data() + done, chunk, &n, nullptr)) {
        Fail(path, "cannot write " + temp_shown, ::GetLastError());
      }
      done += n;
    }
    if (!::FlushFileBuffers(file.get())) Fail(path, "cannot write " + temp_shown, ::GetLastError());
    if (!file.Close()) Fail(path, "cannot write " + temp_shown, ::GetLastError());
  }
  if (exists) {
    // Keeps the replaced file's attributes and access rights.
    if (!::ReplaceFileW(path.native().c_str(), temp_name.c_str(), nullptr,
                        REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
      Fail(path, "cannot replace", ::GetLastError());
    }
  } else if (!::MoveFileExW(temp_name.c_str(), path.native().c_str(), MOVEFILE_WRITE_THROUGH)) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) {
      throw FileError(path, "already exists (use --force to replace it)");
    }
    Fail(path, "cannot create", code);
  }
  temp.Keep();
}

namespace {

// The lock is taken on one byte far past any settings file's end: it keeps other runs of the
// tool waiting without keeping anybody from reading the file.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

class Win32FileLock final : public FileLock, public InputFile {
 public:
  Win32FileLock(HANDLE file, Path path) : file_(file), path_(std::move(path)) {}
  ~Win32FileLock() override { ::CloseHandle(file_); }  // closing the handle releases its lock
  Win32FileLock(const Win32FileLock&) = delete;
  Win32FileLock& operator=(const Win32FileLock&) = delete;

  InputFile& file() override { return *this; }
  std::size_t Read(char* buffer, std::size_t size) override {
    const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD read = 0;
    if (!::ReadFile(file_, buffer, chunk, &read, nullptr)) {
      Fail(path_, "cannot read", ::GetLastError());
    }
    return read;
  }
  std::uint64_t SizeHint() const override { return 0; }

 private:
  HANDLE file_;
  Path path_;
};

bool SameFile(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION x{}, y{};
  return ::GetFileInformationByHandle(a, &x) && ::GetFileInformationByHandle(b, &y) &&
         x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
         x.nFileIndexLow == y.nFileIndexLow;
}

}  // namespace

std::unique_ptr<FileLock> FileLock::Acquire(const Path& path) {
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  for (;;) {
    HANDLE file = ::CreateFileW(path.native().c_str(), GENERIC_READ, kShareAll, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      const DWORD code = ::GetLastError();
      if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return nullptr;
      Fail(path, "cannot open", code);
    }
    auto lock = std::make_unique<Win32FileLock>(file, path);
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) {
      Fail(path, "cannot lock", ::GetLastError());
    }
    // The file may have been replaced while this run waited: lock the one the name holds now.
    Handle now(::CreateFileW(path.native().c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!now.ok()) {
      const DWORD code = ::GetLastError();
      if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return nullptr;
      Fail(path, "cannot open", code);
    }
    if (SameFile(file, now.get())) {
      if (::GetFileType(file) != FILE_TYPE_DISK) {
        throw FileError(path, "cannot open: not a file on a disk");
      }
      RemoveLeftoverTemporaries(path);
      return lock;
    }
  }
}

}  // namespace vellum::platform
