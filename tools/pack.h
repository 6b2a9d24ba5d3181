// SPDX-License-Identifier: MIT
// `vellum-settings pack`: a book folder with its viewers as one archive for readers, and the
// check that a folder delivered as it is keeps `vellum` executable.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace vellum::tools {

struct PackOptions {
  std::string path;           // the book folder, or the Vellum.ini in it
  std::string output;         // default: beside the book folder, named after it
  std::string format;         // "zip" or "tar.gz"; default: from the output's name, else zip
  bool linux_viewer = false;  // with neither, both viewers where there are any
  bool windows_viewer = false;
  bool force = false;  // pack a book that check finds errors in
};

// Writes the archive and says what is in it and what was left out. The book has been checked.
// Returns the exit code; throws on a file error.
int Pack(const PackOptions& options, std::ostream& out);

// A warning for the book folder `directory` (ending in a separator) whose `vellum` has lost its
// executable bit; nullopt when there is none to give.
std::optional<std::string> ViewerModeWarning(const platform::Path& directory);

}  // namespace vellum::tools
