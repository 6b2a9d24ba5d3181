// SPDX-License-Identifier: MIT
// Whole files, beside OpenForReading: what a kind of file a path names, a whole-file read, and
// the write that replaces a file in one step (a temporary file flushed to the disk, then renamed
// into place). Paths are byte strings in the system's ANSI code page (on Linux: the bytes as
// they are), as the publishers' tool names files. Each system's half is in its own folder.
#pragma once

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

}  // namespace vellum::platform
