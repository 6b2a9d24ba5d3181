// SPDX-License-Identifier: MIT
// Helpers shared by the tests: a temporary program directory and settings files in it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tests/settings_lines.h"

namespace vellum::testing {

// A fresh directory under the temporary folder, removed with everything in it when the object
// goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The directory as the viewer sees it: in the system's file-name bytes (on Windows the ANSI
  // code page), with a trailing separator.
  std::string dir() const;
  // Writes `bytes` to `name` (file-name bytes) in the directory; returns the file's path.
  std::string Write(const std::string& name, const std::string& bytes) const;

 private:
  std::filesystem::path path_;
};

}  // namespace vellum::testing
