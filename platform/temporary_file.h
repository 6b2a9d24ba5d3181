// SPDX-License-Identifier: MIT
// A temporary file that is removed unless it was renamed into place, for the file writes of
// each system's files_*.cpp.
#pragma once

#include <cstdio>
#include <utility>

#include "platform/platform.h"

namespace vellum::platform {

class TemporaryFile {
 public:
  explicit TemporaryFile(Path path) : path_(std::move(path)) {}
  ~TemporaryFile() {
    if (path_.empty()) return;
#if defined(_WIN32)
    _wremove(path_.native().c_str());
#else
    std::remove(path_.native().c_str());
#endif
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
