// SPDX-License-Identifier: MIT
// Files for the publishers' tool: whole-file reads and writes that replace a file in one step.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "settings/scramble.h"

namespace vellum::tools {

using settings::ByteString;

// A file operation failed. what() is "<path>: <cause>", one line.
class FileError : public std::runtime_error {
 public:
  FileError(const ByteString& path, const std::string& cause);
};

enum class PathKind { kMissing, kFile, kDirectory, kOther };

PathKind KindOf(const ByteString& path);

// What a file is read as. A settings file is opened as the viewer opens it: without waiting,
// and only when it is a regular file (on Windows: a file on a disk); any other file may also be
// a pipe or a device.
enum class ReadAs { kSettingsFile, kAnyFile };

// The whole file, or nullopt when there is no file at `path`. Throws FileError.
std::optional<ByteString> ReadWholeFile(const ByteString& path, ReadAs kind);

enum class Overwrite { kRefuse, kReplace };

// Writes `bytes` to a new temporary file in the folder of `path`, flushes it to the disk and
// renames it over `path`: a failure at any point leaves the previous file as it was, and no
// temporary file behind. A replaced file keeps its permissions; a symbolic link is written
// through. With kRefuse an existing file is never replaced. Throws FileError.
void WriteFileReplacing(const ByteString& path, std::string_view bytes, Overwrite overwrite);

// An absolute form of `directory` with links resolved, as the running program's own path
// would give it, ending in a separator. Throws FileError.
ByteString CanonicalDirectory(const ByteString& directory);

}  // namespace vellum::tools
