// SPDX-License-Identifier: MIT
// What a reader meets when the viewer starts from a folder. The viewer's own start sequence
// (Project1Main, TForm1) runs on the headless backend, which shows nothing and only records, so
// the tool can never disagree with the viewer about a settings file.
#pragma once

#include <vector>

#include "platform/headless/headless.h"

namespace vellum::tools {

using platform::Bytes;

struct ViewerRun {
  // What was done to the main window by the time the start sequence was over.
  platform::headless::WindowRecord main_window;
  // In the order the reader sees them; an Error icon marks the error report.
  std::vector<platform::headless::MessageBoxRecord> boxes;
};

// Starts the viewer as if its program file were `program_path`; it reads the settings file
// beside that path and records what it does. Throws what the viewer's start throws.
ViewerRun RunViewerHeadless(const Bytes& program_path);

}  // namespace vellum::tools
