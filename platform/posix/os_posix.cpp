// SPDX-License-Identifier: MIT
// Program file, file reading and file-name text on POSIX systems (Linux).
#include <dirent.h>
#include <fcntl.h>
#include <glib.h>
#include <link.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "text/text.h"

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

Path::Path(std::string_view bytes) : native_(bytes) {}

Path Path::FromUtf8(std::string_view utf8) { return Native(String(utf8)); }

Bytes Path::ToBytes() const { return native_; }

std::string Path::ToUtf8() const {
  return text::IsValidUtf8(native_) ? native_ : text::Windows1252ToUtf8(native_);
}

std::optional<std::string> Path::NamesAfter(const Path& folder) const {
  const String& prefix = folder.native();
  if (native_.size() <= prefix.size() || native_.compare(0, prefix.size(), prefix) != 0) {
    return std::nullopt;
  }
  return native_.substr(prefix.size());
}

Path Path::Append(std::string_view name) const {
  if (text::IsValidUtf8(name)) return Native(native_ + String(name));
  const String read = native_ + text::Windows1252ToUtf8(name);
  struct stat st {};
  if (::stat(read.c_str(), &st) == 0) return Native(read);
  return Native(native_ + String(name));
}

Bytes LowerCaseAfterFirst(const Path& name) {
  const std::string& text = name.native();
  if (text.empty()) return text;
  if (!text::IsValidUtf8(text)) {
    Bytes lowered = text;
    for (std::size_t i = 1; i < lowered.size(); ++i)
      lowered[i] = text::LowerWindows1252(lowered[i]);
    return lowered;
  }
  const std::size_t first = static_cast<std::size_t>(g_utf8_next_char(text.data()) - text.data());
  gchar* rest = g_utf8_strdown(text.data() + first, static_cast<gssize>(text.size() - first));
  Bytes lowered = text.substr(0, first) + rest;
  g_free(rest);
  return lowered;
}

bool IsMultiByteCodePage() { return false; }

std::size_t CharacterLength(std::string_view, std::size_t) { return 1; }

namespace {

std::string ReadLink(const char* link) {
  std::vector<char> buffer(256);
  for (;;) {
    ssize_t n = ::readlink(link, buffer.data(), buffer.size());
    if (n < 0) throw PlatformError(ErrnoText("Cannot resolve", link, errno));
    if (static_cast<std::size_t>(n) < buffer.size()) {
      return std::string(buffer.data(), static_cast<std::size_t>(n));
    }
    buffer.resize(buffer.size() * 2);
  }
}

// The dynamic loader the program asks for (its PT_INTERP), empty for a static program.
std::string RequestedLoader() {
  std::string loader;
  ::dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void* found) {
        // The first object is the program itself.
        for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
          if (info->dlpi_phdr[i].p_type == PT_INTERP) {
            *static_cast<std::string*>(found) =
                reinterpret_cast<const char*>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr);
          }
        }
        return 1;
      },
      &loader);
  return loader;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

}  // namespace

Path RunningProgramPath() {
  const std::string exe = ReadLink("/proc/self/exe");
  // Started through the dynamic loader ("ld-linux-x86-64.so.2 ./vellum", the way to start a
  // program from a medium that keeps no executable bits), /proc/self/exe is the loader. The
  // program is then the loader's first argument, which glibc's loader hands on as AT_EXECFN,
  // relative to the folder the program was started from.
  const std::string loader = RequestedLoader();
  const auto* started = reinterpret_cast<const char*>(::getauxval(AT_EXECFN));
  if (!loader.empty() && started != nullptr && SameFile(exe, loader) &&
      !SameFile(started, loader)) {
    return ResolvedPath(Path::Native(started));
  }
  return Path::Native(exe);
}

char PathSeparator() { return '/'; }

std::unique_ptr<InputFile> OpenForReading(const Path& file) {
  const std::string path = file.ToUtf8();  // for messages only
  // Opened without waiting, then taken only when it is a regular file: opening a FIFO would wait
  // for a writer, and a device or socket never ends.
  int fd = ::open(file.native().c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
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

std::vector<DirectoryEntry> ListDirectory(const Path& directory) {
  const Bytes& path = directory.native();
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) throw PlatformError(ErrnoText("Cannot list", directory.ToUtf8(), errno));
  const Bytes prefix = path.empty() || path.back() == '/' ? path : path + '/';
  std::vector<DirectoryEntry> entries;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir);
    if (entry == nullptr) break;
    const Bytes name = entry->d_name;
    if (name == "." || name == "..") continue;
    DirectoryEntry item{name, Path::Native(prefix + name), entry->d_type == DT_DIR};
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
      struct stat st {};
      item.is_directory = ::stat(item.path.native().c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    entries.push_back(std::move(item));
  }
  const int err = errno;
  ::closedir(dir);
  if (err != 0) throw PlatformError(ErrnoText("Cannot list", directory.ToUtf8(), err));
  return entries;
}

std::vector<std::string> StartConsoleProgram(int argc, char** argv) {
  std::signal(SIGXFSZ, SIG_IGN);
  return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
}

}  // namespace vellum::platform
