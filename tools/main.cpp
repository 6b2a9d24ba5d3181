// SPDX-License-Identifier: MIT
// vellum-settings: the publishers' companion to the viewer.
#include <iostream>

#include "platform/console.h"
#include "tools/cli.h"

int main(int argc, char** argv) {
  // decode and encode pass bytes through unchanged; a failed write ends in an error message.
  const auto args = vellum::platform::StartConsoleProgram(argc, argv);
  return vellum::tools::RunSettingsTool(args, std::cin, std::cout, std::cerr);
}
