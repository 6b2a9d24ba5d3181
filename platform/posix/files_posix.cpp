// SPDX-License-Identifier: MIT
// Whole files on POSIX systems (Linux).
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/files.h"
#include "platform/temporary_file.h"
#include "text/text.h"

namespace vellum::platform {

namespace {

// The folder part of `path` ("." for a bare name), without a trailing separator.
Bytes FolderOf(const Bytes& path) { return text::SplitPath(path).first; }

[[noreturn]] void Fail(const Path& path, const std::string& what, int err) {
  throw FileError(path, what + ": " + std::strerror(err));
}

// `path` absolute, with every link, "." and ".." resolved; a failure is said as `what`.
Bytes RealPath(const Path& path, const char* what) {
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.native().c_str(), nullptr),
                                                       &std::free);
  if (!resolved) Fail(path, what, errno);
  return resolved.get();
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
}  // namespace

PathKind KindOf(const Path& path) {
  struct stat st {};
  if (::stat(path.native().c_str(), &st) != 0) return PathKind::kMissing;
  if (S_ISDIR(st.st_mode)) return PathKind::kDirectory;
  if (S_ISREG(st.st_mode)) return PathKind::kFile;
  return PathKind::kOther;
}

std::optional<bool> IsExecutableFile(const Path& path) {
  struct stat st {};
  if (::stat(path.native().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return (st.st_mode & S_IXUSR) != 0;
}

Path CanonicalDirectory(const Path& directory) {
  Bytes full = RealPath(directory, "cannot resolve the folder");
  if (full.back() != '/') full += '/';
  return Path::Native(full);
}

Path FinalTarget(const Path& path) {
  struct stat st {};
  if (::lstat(path.native().c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  return Path::Native(RealPath(path, "the symbolic link leads nowhere"));
}

std::optional<FileIdentity> IdentityOf(const Path& path) {
  struct stat st {};
  if (::stat(path.native().c_str(), &st) != 0) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

Path ResolvedPath(const Path& path) {
  return Path::Native(RealPath(path, "cannot resolve the path"));
}

std::optional<Bytes> ReadWholeFile(const Path& file_path, ReadAs kind) {
  const Bytes& path = file_path.native();
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
  Bytes bytes;
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

void WriteFileReplacing(const Path& requested, std::string_view bytes, Overwrite overwrite) {
  const Bytes& requested_path = requested.native();
  Bytes path = requested_path;
  struct stat st {};
  bool exists = ::lstat(path.c_str(), &st) == 0;
  if (exists && S_ISLNK(st.st_mode)) {
    // Write through the link: the link stays, its target gets the new text.
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    if (n < 0) Fail(path, "cannot read the link", errno);
    Bytes resolved(target, static_cast<std::size_t>(n));
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

  const Bytes folder = FolderOf(path);
  Bytes pattern = folder + "/." + text::SplitPath(path).second + ".XXXXXX";
  Descriptor file(::mkostemp(pattern.data(), O_CLOEXEC));
  if (file.get() < 0)
    Fail(requested_path, "cannot create a temporary file in " + Path(folder).ToUtf8(), errno);
  TemporaryFile temp(Path::Native(pattern));

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
      Fail(requested_path, "cannot write " + temp.path().ToUtf8(), errno);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(file.get()) != 0) Fail(requested_path, "cannot write " + temp.path().ToUtf8(), errno);
  if (const int err = file.Close(); err != 0) {
    Fail(requested_path, "cannot write " + temp.path().ToUtf8(), err);
  }

  if (overwrite == Overwrite::kRefuse) {
    // A hard link never replaces a file that appeared in the meantime.
    if (::link(temp.path().native().c_str(), path.c_str()) != 0) {
      const int err = errno;
      if (err == EEXIST) {
        throw FileError(requested_path, "already exists (use --force to replace it)");
      }
      if (err != EPERM && err != ENOTSUP && err != EOPNOTSUPP)
        Fail(requested_path, "cannot create", err);
      // A file system without hard links: the check above is the best there is.
      if (::rename(temp.path().native().c_str(), path.c_str()) != 0) {
        Fail(requested_path, "cannot create", errno);
      }
      temp.Keep();
    }
  } else if (::rename(temp.path().native().c_str(), path.c_str()) != 0) {
    Fail(requested_path, "cannot replace", errno);
  } else {
    temp.Keep();
  }

  // Makes the rename itself durable; a failure here leaves a complete file either way.
  Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
}

namespace {

class PosixFileLock final : public FileLock, public InputFile {
 public:
  PosixFileLock(int fd, Path path) : fd_(fd), path_(std::move(path)) {}
  ~PosixFileLock() override { ::close(fd_); }  // closing the description releases its lock
  PosixFileLock(const PosixFileLock&) = delete;
  PosixFileLock& operator=(const PosixFileLock&) = delete;

  InputFile& file() override { return *this; }
  std::size_t Read(char* buffer, std::size_t size) override {
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, size);
      if (n >= 0) return static_cast<std::size_t>(n);
      if (errno != EINTR) Fail(path_, "cannot read", errno);
    }
  }
  std::uint64_t SizeHint() const override { return 0; }

 private:
  int fd_;
  Path path_;
};

}  // namespace

std::unique_ptr<FileLock> FileLock::Acquire(const Path& file) {
  const Bytes& path = file.native();
  for (;;) {
    // A write lock needs a descriptor open for writing; a file only its owner may read is
    // still locked for every run that can write it.
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
      if (errno == ENOENT) return nullptr;
      Fail(file, "cannot open", errno);
    }
    auto lock = std::make_unique<PosixFileLock>(fd, file);
    struct stat st {};
    if (::fstat(fd, &st) != 0) Fail(file, "cannot open", errno);
    if (!S_ISREG(st.st_mode)) throw FileError(file, "cannot open: not a regular file");
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    // An open-file-description lock: it stays while this descriptor is open, whatever other
    // descriptors of the file this process opens and closes meanwhile.
    struct flock request {};
    request.l_type = (::fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDWR ? F_WRLCK : F_RDLCK;
    request.l_whence = SEEK_SET;
    while (::fcntl(fd, F_OFD_SETLKW, &request) != 0) {
      if (errno != EINTR) Fail(file, "cannot lock", errno);
    }
    // The file may have been replaced while this run waited: lock the one the name holds now.
    struct stat now {};
    if (::stat(path.c_str(), &now) != 0) {
      if (errno == ENOENT) return nullptr;
      Fail(file, "cannot open", errno);
    }
    if (now.st_dev != st.st_dev || now.st_ino != st.st_ino) continue;
    RemoveLeftoverTemporaries(file);
    return lock;
  }
}

}  // namespace vellum::platform
