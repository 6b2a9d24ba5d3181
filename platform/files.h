// SPDX-License-Identifier: MIT
// Files and folders: a file opened for reading, what kind of file a path names, the entries of a
// folder, a whole-file read, the write that replaces a file in one step (a temporary file flushed
// to the disk, then renamed into place) and the lock a read-modify-write holds. Every path is a
// `Path`, as the viewer names files: on Windows UTF-16, so that no folder name is out of reach.
// Each system's half is in its own folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace vellum::platform {

// A file opened for reading only, sharing read access only: while it is open, nobody else may
// write to it, and it is not opened while somebody else writes to it.
class InputFile {
 public:
  virtual ~InputFile() = default;
  // Reads up to `size` bytes into `buffer`; returns 0 at the end of the file.
  // Throws PlatformError on a read error.
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
  // The file's size when it was opened, for reserving memory; 0 when unknown.
  virtual std::uint64_t SizeHint() const = 0;
};

// Opens a regular file (on Windows: a file on a disk) without ever waiting: a directory, FIFO,
// pipe, socket or device is refused at once. Throws PlatformError when the file cannot be opened
// for reading, is not a regular file, or is held open for writing.
std::unique_ptr<InputFile> OpenForReading(const Path& path);

// A file operation failed. what() is "<path in UTF-8>: <cause>", one line.
class FileError : public PlatformError {
 public:
  FileError(const Path& path, const std::string& cause);
};

enum class PathKind { kMissing, kFile, kDirectory, kOther };

PathKind KindOf(const Path& path);

// True when the file at `path` is a regular file its owner may run (Unix mode bit 0100); nullopt
// when there is no such file, or on a system that keeps no such bit (Windows).
std::optional<bool> IsExecutableFile(const Path& path);

// One entry of a folder.
struct DirectoryEntry {
  Bytes name;                 // in UTF-8 on Windows; on Linux the bytes the file system holds
  Path path;                  // the folder's path and the name
  bool is_directory = false;  // links followed
};

// The entries of a folder, "." and ".." left out, in no particular order. Throws PlatformError
// when the folder cannot be read.
std::vector<DirectoryEntry> ListDirectory(const Path& directory);

// What a file is read as. A settings file is opened as the viewer opens it: without waiting,
// and only when it is a regular file (on Windows: a file on a disk); any other file may also be
// a pipe or a device.
enum class ReadAs { kSettingsFile, kAnyFile };

// The whole file, or nullopt when there is no file at `path`. Throws FileError.
std::optional<Bytes> ReadWholeFile(const Path& path, ReadAs kind);

enum class Overwrite { kRefuse, kReplace };

// Writes `bytes` to a new temporary file in the folder of `path`, flushes it to the disk and
// renames it over `path`: a failure at any point leaves the previous file as it was, and no
// temporary file behind. A replaced file keeps its permissions; a symbolic link is written
// through. With kRefuse an existing file is never replaced. Throws FileError.
void WriteFileReplacing(const Path& path, std::string_view bytes, Overwrite overwrite);

// An absolute form of `directory` (relative ones are taken from the current folder) with links
// resolved, as the running program's own path would give it, ending in a separator. Throws
// FileError.
Path CanonicalDirectory(const Path& directory);

// The file a chain of symbolic links at `path` ends in, absolute; `path` itself when it is no
// link (and on Windows). Throws FileError when a link leads nowhere.
Path FinalTarget(const Path& path);

// An exclusive lock on an existing file, held for a whole read-modify-write. Another run that
// asks for it waits until it is released, then finds the file that replaced the one it waited
// for. On POSIX systems it is an fcntl write lock, which the viewer honours (it reads the file as
// unreadable meanwhile); on Windows a LockFileEx lock, which the viewer's share modes need not.
class FileLock {
 public:
  // Waits for the lock on the file at `path`, then removes the temporary files that a write
  // killed half-way left beside it. nullptr when there is no file. Throws FileError.
  static std::unique_ptr<FileLock> Acquire(const Path& path);
  virtual ~FileLock() = default;
  // The locked file, read from where the last read ended (its start at first).
  virtual InputFile& file() = 0;
};

// One file or folder, whichever path reaches it, links followed: the device and inode number on
// POSIX systems, the volume serial number and file ID on Windows.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  bool operator==(const FileIdentity&) const = default;
  bool operator<(const FileIdentity& other) const {
    return volume != other.volume ? volume < other.volume : file < other.file;
  }
};

// The identity of what `path` names; nullopt when nothing can be reached there.
std::optional<FileIdentity> IdentityOf(const Path& path);

// The full path of an existing file or folder with every link, "." and ".." resolved, as the
// system spells it. Throws FileError.
Path ResolvedPath(const Path& path);

}  // namespace vellum::platform
