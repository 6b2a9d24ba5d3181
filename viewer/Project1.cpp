// SPDX-License-Identifier: MIT
// The program entry: the application object, the main window and the message loop.
#include <cstdio>
#include <exception>

#include "platform/platform.h"
#include "viewer/Unit1.h"

namespace {

int RunProgram(const vellum::platform::StartupArgs& args) {
  try {
    auto app = vellum::platform::CreateApplication(args);
    return vellum::Project1Main(*app);
  } catch (const std::exception& e) {
    // Reached when there is no window system to report to, or the backend has told the reader.
    std::fprintf(stderr, "vellum: %s\n", e.what());
    return 1;
  }
}

}  // namespace

#if defined(_WIN32)
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  vellum::platform::StartupArgs args;
  args.instance = instance;
  args.show_command = show_command;
  return RunProgram(args);
}
#else
int main(int argc, char** argv) {
  vellum::platform::StartupArgs args;
  args.argc = argc;
  args.argv = argv;
  return RunProgram(args);
}
#endif
