// SPDX-License-Identifier: MIT
// Whole files, beside OpenForReading: what a kind of file a path names, a whole-file read, and
// the write that replaces a file in one step (a temporary file flushed to the disk, then renamed
// into place). Paths are byte strings in the system's ANSI code page (on Linux: the bytes as
// they are), as the publishers' tool names files. Each system's half is in its own folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace vellum::platform {

// A file operation failed. what() is "<path>: <cause>", one line.
class FileError : public PlatformError {
 public:
  FileError(const Bytes& path, const std::string& cause);
};

enum class PathKind { kMissing, kFile, kDirectory, kOther };

PathKind KindOf(const Bytes& path);

// What a file is read as. A settings file is opened as the viewer opens it: without waiting,
// and only when it is a regular file (on Windows: a file on a disk); any other file may also be
// a pipe or a device.
enum class ReadAs { kSettingsFile, kAnyFile };

// The whole file, or nullopt when there is no file at `path`. Throws FileError.
std::optional<Bytes> ReadWholeFile(const Bytes& path, ReadAs kind);

enum class Overwrite { kRefuse, kReplace };

// Writes `bytes` to a new temporary file in the folder of `path`, flushes it to the disk and
// renames it over `path`: a failure at any point leaves the previous file as it was, and no
// temporary file behind. A replaced file keeps its permissions; a symbolic link is written
// through. With kRefuse an existing file is never replaced. Throws FileError.
void WriteFileReplacing(const Bytes& path, std::string_view bytes, Overwrite overwrite);

// An absolute form of `directory` with links resolved, as the running program's own path
// would give it, ending in a separator. Throws FileError.
Bytes CanonicalDirectory(const Bytes& directory);

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
