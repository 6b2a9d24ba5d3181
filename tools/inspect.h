// SPDX-License-Identifier: MIT
// What the viewer makes of a settings file in a folder, and what a reader would meet.
#pragma once

#include <string>
#include <vector>

#include "settings/settings.h"
#include "tools/viewer_run.h"

namespace vellum::tools {

using settings::ByteString;

// A settings file and the folder the viewer would be started from.
struct SettingsLocation {
  platform::Path file;       // the settings file
  platform::Path directory;  // the folder, absolute, ending in a separator
};

// `path` (UTF-8, as typed) is a folder, or a settings file in it; empty means the current
// folder. For `show`
// and `check` the file must be the one the viewer reads ("Vellum.ini"). Throws UsageError and
// FileError.
SettingsLocation LocateForViewer(const std::string& path);

// `path` is a folder (the settings file in it) or any file. Throws UsageError and FileError.
SettingsLocation LocateAnyFile(const std::string& path);

// The program file the viewer would run from in `directory`: the viewer found there, else the
// name this system's viewer has.
platform::Path ViewerProgramPath(const platform::Path& directory);

enum class PageState { kNotOpened, kFound, kFolder, kMissing };

// Something the reader meets that a publisher must fix; texts in UTF-8, as the reader sees them.
struct Problem {
  std::string kind;     // "message box", "error report", "start page"
  std::string caption;  // of a box: the application title
  std::string text;     // the viewer's own text; for a start page, its path
  std::string detail;   // what caused it, for the publisher
};

struct Inspection {
  SettingsLocation location;
  platform::Path program_path;
  ViewerRun run;                   // what the viewer read and did
  platform::Path start_page_path;  // the path the browser was asked to open, if any
  PageState page = PageState::kNotOpened;
  std::vector<Problem> problems;
  std::vector<std::string> notes;  // worth knowing, never shown to a reader
};

// Starts the viewer headless from the folder and reads what it read and did, from that one run.
// Never shows anything.
Inspection Inspect(const SettingsLocation& location);

}  // namespace vellum::tools
