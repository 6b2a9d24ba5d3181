// SPDX-License-Identifier: MIT
// The `vellum-settings` command line: show, check, new, set, decode, encode and pack.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vellum::tools {

// Exit codes of the tool.
inline constexpr int kExitOk = 0;
inline constexpr int kExitProblems = 1;  // `check` found something a reader would meet
inline constexpr int kExitError = 2;     // bad usage, or a file that cannot be read or written

// Runs the tool on `args` (UTF-8, without the program name). Output goes to `out`, one-line
// error messages to `err`; `in` is read by decode and encode. Returns the exit code.
int RunSettingsTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                    std::ostream& err);

}  // namespace vellum::tools
