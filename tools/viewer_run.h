// SPDX-License-Identifier: MIT
// What a reader meets when the viewer starts from a folder. The viewer's own start sequence
// (Project1Main, TForm1) runs on a stand-in for the window system that shows nothing and only
// records, so the tool can never disagree with the viewer about a settings file.
#pragma once

#include <optional>
#include <vector>

#include "platform/platform.h"

namespace vellum::tools {

using platform::Bytes;

struct ReaderBox {
  Bytes caption;
  Bytes text;
  platform::BoxIcon icon = platform::BoxIcon::None;  // None: a message box; Error: error report
};

struct ViewerRun {
  Bytes title;                   // the main window's title once the start sequence is over
  std::vector<Bytes> navigated;  // full paths the browser control was asked to open
  bool maximized = false;
  std::optional<int> outer_height;  // as applied, within the window system's limits
  std::optional<int> outer_width;
  platform::Border border = platform::Border::Resizable;
  std::vector<ReaderBox> boxes;  // in the order the reader sees them
  bool ended = false;            // the program ended by itself
};

// Starts the viewer as if its program file were `program_path`; it reads the settings file
// beside that path and records what it does. Throws what the viewer's start throws.
ViewerRun RunViewerHeadless(const Bytes& program_path);

}  // namespace vellum::tools
