// SPDX-License-Identifier: MIT
#include "tools/viewer_run.h"

#include "viewer/Unit1.h"

namespace vellum::tools {

ViewerRun RunViewerHeadless(const Bytes& program_path) {
  platform::headless::HeadlessApplication app(program_path);
  // With no script, the message loop returns at once: nothing waits for a reader.
  Project1Main(app);
  ViewerRun run;
  if (!app.window_records().empty()) run.main_window = app.window_records().front();
  run.boxes = app.message_boxes();
  return run;
}

}  // namespace vellum::tools
