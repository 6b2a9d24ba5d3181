// SPDX-License-Identifier: MIT
// The start of a command-line program, such as the publishers' tool.
#pragma once

#include <string>
#include <vector>

namespace vellum::platform {

// Readies the process for a command-line program and returns its arguments after the program's
// name, in UTF-8. On Windows they are taken from the system's UTF-16 command line, which holds
// every name the ANSI code page cannot; standard input and output pass bytes through unchanged,
// and the console shows UTF-8. Elsewhere a file size limit makes a write fail with an error
// instead of ending the process.
std::vector<std::string> StartConsoleProgram(int argc, char** argv);

}  // namespace vellum::platform
