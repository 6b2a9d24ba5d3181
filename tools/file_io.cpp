// SPDX-License-Identifier: MIT
#include "tools/file_io.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "settings/settings.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vellum::tools {

namespace {

// The folder part of `path` ("." for a bare name), without a trailing separator.
ByteString FolderOf(const ByteString& path) {
  const std::size_t slash = path.find_last_of(
#if defined(_WIN32)
      "/\\"
#else
      "/"
#endif
  );
  if (slash == ByteString::npos) return ".";
  if (slash == 0) return path.substr(0, 1);
  return path.substr(0, slash);
}

#if defined(_WIN32)
std::string SystemErrorText(DWORD code) {
  char* text = nullptr;
  const DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = n > 0 && text ? std::string(text, n) : "error " + std::to_string(code);
  if (text) ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  return message;
}

[[noreturn]] void Fail(const ByteString& path, const std::string& what, DWORD code) {
  throw FileError(path, what + ": " + SystemErrorText(code));
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
#else
ByteString NameOf(const ByteString& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == ByteString::npos ? path : path.substr(slash + 1);
}

[[noreturn]] void Fail(const ByteString& path, const std::string& what, int err) {
  throw FileError(path, what + ": " + std::strerror(err));
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() { Close(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Returns 0, or the error of close().
  int Close() {
    if (fd_ < 0) return 0;
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0 ? 0 : errno;
  }

 private:
  int fd_;
};
#endif

// Removes the temporary file unless it has been renamed into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(ByteString path) : path_(std::move(path)) {}
  ~TemporaryFile() {
    if (!path_.empty()) std::remove(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  const ByteString& path() const { return path_; }
  void Keep() { path_.clear(); }

 private:
  ByteString path_;
};

}  // namespace

FileError::FileError(const ByteString& path, const std::string& cause)
    : std::runtime_error(path + ": " + cause) {}

#if defined(_WIN32)

PathKind KindOf(const ByteString& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::kDirectory;
  return PathKind::kFile;
}

ByteString CanonicalDirectory(const ByteString& directory) {
  char buffer[MAX_PATH * 4];
  const DWORD n = ::GetFullPathNameA(directory.c_str(), sizeof buffer, buffer, nullptr);
  if (n == 0 || n >= sizeof buffer) Fail(directory, "cannot resolve the folder", ::GetLastError());
  ByteString full(buffer, n);
  if (full.back() != '\\' && full.back() != '/') full += '\\';
  return full;
}

std::optional<ByteString> ReadWholeFile(const ByteString& path, ReadAs kind) {
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
  ByteString bytes;
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

void WriteFileReplacing(const ByteString& requested_path, std::string_view bytes,
                        Overwrite overwrite) {
  // Whole paths from here on: the folder of the temporary file, and what ReplaceFile wants.
  char buffer[MAX_PATH * 4];
  const DWORD length = ::GetFullPathNameA(requested_path.c_str(), sizeof buffer, buffer, nullptr);
  if (length == 0 || length >= sizeof buffer) {
    Fail(requested_path, "cannot resolve the path", ::GetLastError());
  }
  const ByteString path(buffer, length);
  const bool exists = KindOf(path) != PathKind::kMissing;
  if (exists && overwrite == Overwrite::kRefuse) {
    throw FileError(path, "already exists (use --force to replace it)");
  }
  const ByteString folder = FolderOf(path);
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

#else

PathKind KindOf(const ByteString& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return PathKind::kMissing;
  if (S_ISDIR(st.st_mode)) return PathKind::kDirectory;
  if (S_ISREG(st.st_mode)) return PathKind::kFile;
  return PathKind::kOther;
}

ByteString CanonicalDirectory(const ByteString& directory) {
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(directory.c_str(), nullptr),
                                                       &std::free);
  if (!resolved) Fail(directory, "cannot resolve the folder", errno);
  ByteString full(resolved.get());
  if (full.back() != '/') full += '/';
  return full;
}

std::optional<ByteString> ReadWholeFile(const ByteString& path, ReadAs kind) {
  const int wait = kind == ReadAs::kSettingsFile ? O_NONBLOCK | O_NOCTTY : 0;
  Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | wait));
  if (file.get() < 0) {
    if (errno == ENOENT) return std::nullopt;
    Fail(path, "cannot open", errno);
  }
  if (kind == ReadAs::kSettingsFile) {
    struct stat st {};
    if (::fstat(file.get(), &st) != 0) Fail(path, "cannot open", errno);
    if (S_ISDIR(st.st_mode)) Fail(path, "cannot open", EISDIR);
    if (!S_ISREG(st.st_mode)) throw FileError(path, "cannot open: not a regular file");
    ::fcntl(file.get(), F_SETFL, ::fcntl(file.get(), F_GETFL) & ~O_NONBLOCK);
  }
  ByteString bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(path, "cannot read", errno);
    }
    if (n == 0) return bytes;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
}

void WriteFileReplacing(const ByteString& requested_path, std::string_view bytes,
                        Overwrite overwrite) {
  ByteString path = requested_path;
  struct stat st {};
  bool exists = ::lstat(path.c_str(), &st) == 0;
  if (exists && S_ISLNK(st.st_mode)) {
    // Write through the link: the link stays, its target gets the new text.
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    if (n < 0) Fail(path, "cannot read the link", errno);
    ByteString resolved(target, static_cast<std::size_t>(n));
    path = resolved.front() == '/' ? resolved : FolderOf(path) + "/" + resolved;
    exists = ::stat(path.c_str(), &st) == 0;
  }
  if (exists && overwrite == Overwrite::kRefuse) {
    throw FileError(requested_path, "already exists (use --force to replace it)");
  }
  if (exists && S_ISDIR(st.st_mode)) throw FileError(requested_path, "is a folder");

  mode_t mode;
  if (exists) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }

  const ByteString folder = FolderOf(path);
  ByteString pattern = folder + "/." + NameOf(path) + ".XXXXXX";
  Descriptor file(::mkostemp(pattern.data(), O_CLOEXEC));
  if (file.get() < 0) Fail(requested_path, "cannot create a temporary file in " + folder, errno);
  TemporaryFile temp(pattern);

  if (::fchmod(file.get(), mode) != 0) Fail(requested_path, "cannot set permissions", errno);
  if (exists && ::geteuid() == 0) {
    // Only the superuser may hand the file back to its owner; anyone else keeps their own.
    [[maybe_unused]] const int ignored = ::fchown(file.get(), st.st_uid, st.st_gid);
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(file.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(requested_path, "cannot write " + temp.path(), errno);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(file.get()) != 0) Fail(requested_path, "cannot write " + temp.path(), errno);
  if (const int err = file.Close(); err != 0) {
    Fail(requested_path, "cannot write " + temp.path(), err);
  }

  if (overwrite == Overwrite::kRefuse) {
    // A hard link never replaces a file that appeared in the meantime.
    if (::link(temp.path().c_str(), path.c_str()) != 0) {
      const int err = errno;
      if (err == EEXIST) {
        throw FileError(requested_path, "already exists (use --force to replace it)");
      }
      if (err != EPERM && err != ENOTSUP && err != EOPNOTSUPP)
        Fail(requested_path, "cannot create", err);
      // A file system without hard links: the check above is the best there is.
      if (::rename(temp.path().c_str(), path.c_str()) != 0) {
        Fail(requested_path, "cannot create", errno);
      }
      temp.Keep();
    }
  } else if (::rename(temp.path().c_str(), path.c_str()) != 0) {
    Fail(requested_path, "cannot replace", errno);
  } else {
    temp.Keep();
  }

  // Makes the rename itself durable; a failure here leaves a complete file either way.
  Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
}

#endif

}  // namespace vellum::tools
