// SPDX-License-Identifier: MIT
// Program file and file reading on POSIX systems (Linux).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/platform.h"

namespace vellum::platform {

namespace {

std::string ErrnoText(const std::string& what, const std::string& path, int err) {
  return what + " '" + path + "': " + std::strerror(err);
}

class PosixInputFile final : public InputFile {
 public:
  PosixInputFile(int fd, std::uint64_t size, Bytes path)
      : fd_(fd), size_(size), path_(std::move(path)) {}
  ~PosixInputFile() override { ::close(fd_); }
  PosixInputFile(const PosixInputFile&) = delete;
  PosixInputFile& operator=(const PosixInputFile&) = delete;

  std::size_t Read(char* buffer, std::size_t size) override {
    for (;;) {
      ssize_t n = ::read(fd_, buffer, size);
      if (n >= 0) return static_cast<std::size_t>(n);
      if (errno != EINTR) throw PlatformError(ErrnoText("Cannot read", path_, errno));
    }
  }

  std::uint64_t SizeHint() const override { return size_; }

 private:
  int fd_;
  std::uint64_t size_;
  Bytes path_;
};

}  // namespace

Bytes RunningProgramPath() {
  std::vector<char> buffer(256);
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) throw PlatformError(ErrnoText("Cannot resolve", "/proc/self/exe", errno));
    if (static_cast<std::size_t>(n) < buffer.size()) return Bytes(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

char PathSeparator() { return '/'; }

std::unique_ptr<InputFile> OpenForReading(const Bytes& path) {
  // Opened without waiting, then taken only when it is a regular file: opening a FIFO would wait
  // for a writer, and a device or socket never ends.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) throw PlatformError(ErrnoText("Cannot open", path, errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    throw PlatformError(ErrnoText("Cannot open", path, err));
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    if (S_ISDIR(st.st_mode)) throw PlatformError(ErrnoText("Cannot open", path, EISDIR));
    throw PlatformError("Cannot open '" + path + "': not a regular file");
  }
  // Reads wait as usual from here on (a regular file never makes them wait long).
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  // Linux has no share modes; a writer that wants readers kept out takes a write lock (an
  // open-file-description lock or a classic fcntl() record lock). Honour it the way a share mode
  // would be honoured, and hold a read lock ourselves while the file is open.
  struct flock lock {};
  lock.l_type = F_RDLCK;
  lock.l_whence = SEEK_SET;
  if (::fcntl(fd, F_OFD_SETLK, &lock) != 0 && (errno == EAGAIN || errno == EACCES)) {
    ::close(fd);
    throw PlatformError("Cannot open '" + path + "': it is open for writing elsewhere");
  }
  return std::make_unique<PosixInputFile>(fd, static_cast<std::uint64_t>(st.st_size), path);
}

}  // namespace vellum::platform
