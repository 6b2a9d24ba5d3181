// SPDX-License-Identifier: MIT
// A temporary file that is removed unless it was renamed into place, for the file writes of
// each system's files_*.cpp.
#pragma once

#include <cstddef>
#include <cstdio>
#include <utility>

#include "platform/platform.h"

namespace vellum::platform {

// Removes the file at `path` if it can; nothing is reported.
inline void RemoveQuietly(const Path& path) {
#if defined(_WIN32)
  _wremove(path.native().c_str());
#else
  std::remove(path.native().c_str());
#endif
}

// The temporary files of WriteFileReplacing are named ".NAME.XXXXXX" beside the file NAME.
inline constexpr std::size_t kTemporarySuffixLength = 6;

// Removes the temporary files that a write of `file` killed half-way left beside it. Only a holder
// of the file's lock may call it: only such a holder can have one in the making.
void RemoveLeftoverTemporaries(const Path& file);

class TemporaryFile {
 public:
  explicit TemporaryFile(Path path) : path_(std::move(path)) {}
  ~TemporaryFile() {
    if (!path_.empty()) RemoveQuietly(path_);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  const Path& path() const { return path_; }
  // The file was renamed into place: it stays.
  void Keep() { path_ = Path(); }

 private:
  Path path_;
};

}  // namespace vellum::platform
