// SPDX-License-Identifier: MIT
// vellum-settings: the publishers' companion to the viewer.
#include <iostream>
#include <string>
#include <vector>

#include "tools/cli.h"

#if defined(_WIN32)
#include <windows.h>
// After windows.h, which it needs.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

namespace {

std::string ToUtf8(const wchar_t* text) {
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string utf8(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), n, nullptr, nullptr);
  utf8.pop_back();  // the terminator
  return utf8;
}

}  // namespace

int main() {
  // Arguments as the system has them (UTF-16), passed on in UTF-8; output is UTF-8 as well.
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  std::vector<std::string> args;
  for (int i = 1; argv != nullptr && i < argc; ++i) args.push_back(ToUtf8(argv[i]));
  if (argv != nullptr) ::LocalFree(argv);
  ::SetConsoleOutputCP(CP_UTF8);
  // decode and encode pass bytes through unchanged.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  return vellum::tools::RunSettingsTool(args, std::cin, std::cout, std::cerr);
}
#else
#include <csignal>

int main(int argc, char** argv) {
  // A file size limit must end in an error message, not in a killed process.
  std::signal(SIGXFSZ, SIG_IGN);
  std::vector<std::string> args(argv + 1, argv + argc);
  return vellum::tools::RunSettingsTool(args, std::cin, std::cout, std::cerr);
}
#endif
