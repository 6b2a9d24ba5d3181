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
  ByteString file;       // the settings file, in the system's file-name bytes
  ByteString directory;  // the folder, absolute, ending in a separator
};

// `path` is a folder, or a settings file in it; empty means the current folder. For `show`
// and `check` the file must be the one the viewer reads ("Vellum.ini"). Throws UsageError and
// FileError.
SettingsLocation LocateForViewer(const std::string& path);

// `path` is a folder (the settings file in it) or any file. Throws UsageError and FileError.
SettingsLocation LocateAnyFile(const std::string& path);

// The program file the viewer would run from in `directory`: the viewer found there, else the
// name this system's viewer has.
ByteString ViewerProgramPath(const ByteString& directory);

enum class PageState { kNotOpened, kFound, kFolder, kMissing };

// Something the reader meets that a publisher must fix.
struct Problem {
  std::string kind;    // "message box", "error report", "start page"
  Bytes caption;       // of a box: the application title
  Bytes text;          // the viewer's own text, byte for byte; for a start page, its path
  std::string detail;  // what caused it, for the publisher
};

struct Inspection {
  SettingsLocation location;
  ByteString program_path;
  ViewerRun run;          // what the viewer read and did
  Bytes start_page_path;  // the path the browser was asked to open, if any
  PageState page = PageState::kNotOpened;
  std::vector<Problem> problems;
  std::vector<std::string> notes;  // worth knowing, never shown to a reader
};

// Starts the viewer headless from the folder and reads what it read and did, from that one run.
// Never shows anything.
Inspection Inspect(const SettingsLocation& location);

}  // namespace vellum::tools
