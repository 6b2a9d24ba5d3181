// SPDX-License-Identifier: MIT
// What a reader meets when the viewer starts from a folder. The viewer's own start sequence
// (TForm1 and its show) runs on the headless backend, which shows nothing and only records, so
// the tool can never disagree with the viewer about a settings file.
#pragma once

#include <vector>

#include "platform/headless/headless.h"
#include "settings/settings.h"

namespace vellum::tools {

using platform::Bytes;

struct ViewerRun {
  // The settings as the main window's show read them, failures and their causes included.
  settings::LoadOutcome load;
  // What was done to the main window by the time the start sequence was over.
  platform::headless::WindowRecord main_window;
  // In the order the reader sees them; an Error icon marks the error report.
  std::vector<platform::headless::MessageBoxRecord> boxes;
};

// Starts the viewer as if its program file were `program_path`; it reads the settings file
// beside that path and records what it does. Throws what the viewer's start throws.
ViewerRun RunViewerHeadless(const platform::Path& program_path);

}  // namespace vellum::tools
