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
  explicit TemporaryFile(Bytes path) : path_(std::move(path)) {}
  ~TemporaryFile() {
    if (!path_.empty()) std::remove(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  const Bytes& path() const { return path_; }
  // The file was renamed into place: it stays.
  void Keep() { path_.clear(); }

 private:
  Bytes path_;
};

}  // namespace vellum::platform
