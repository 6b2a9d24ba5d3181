// SPDX-License-Identifier: MIT
#include "tools/viewer_run.h"

#include "viewer/Unit1.h"

namespace vellum::tools {

// The program entry's sequence, with the main window kept to the end to be asked what it read.
ViewerRun RunViewerHeadless(const platform::Path& program_path) {
  platform::headless::HeadlessApplication app(program_path);
  SetDefaultErrorReport(app);
  ViewerRun run;
  {
    TForm1 main_form(app, nullptr);
    main_form.window().Show(app.StartupShowState());
    // With no script, the message loop returns at once: nothing waits for a reader.
    app.Run();
    if (main_form.LoadedSettings()) run.load = *main_form.LoadedSettings();
  }
  run.main_window = app.window_records().front();
  run.boxes = app.message_boxes();
  return run;
}

}  // namespace vellum::tools
