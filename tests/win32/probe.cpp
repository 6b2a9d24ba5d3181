// SPDX-License-Identifier: MIT
// A helper for the outside test of Vellum.exe under Wine, run beside it in the same Wine session:
//   probe settings FILE HEIGHT WIDTH START_PAGE TITLE BORDER   writes a settings file
//   probe box CAPTION SECONDS     waits for a message box of that caption and prints its text,
//                                 whether it shows an icon, and its number of buttons
//   probe window TITLE SECONDS    waits for a visible viewer window of that title and prints its
//                                 outer and client sizes
// Exit code 0 on success, 1 when the box did not appear, 2 on bad arguments.
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/settings_lines.h"
#include "tests/win32/win32_test_support.h"

namespace {

using vellum::testing::win32::FindMessageBox;
using vellum::testing::win32::ReadMessageBox;

std::string Narrow(const wchar_t* wide) {
  return vellum::platform::win32::ToAnsi(std::wstring_view(wide));
}

// The file's path is taken as given, so that it may name a folder the ANSI code page cannot; the
// fields are stored in the ANSI code page, as a book made on this system holds them.
int WriteSettings(const std::wstring& file, const std::vector<std::string>& args) {
  const std::string line = vellum::testing::SettingsLine(
      vellum::testing::Fields(args[1], args[2], args[3], args[4], args[5]));
  std::ofstream out(std::filesystem::path(file), std::ios::binary | std::ios::trunc);
  out << line << "\r\n";
  return out ? 0 : 1;
}

int DescribeBox(const std::wstring& caption, int seconds) {
  HWND box = FindMessageBox(caption, seconds * 1000, 0);
  if (box == nullptr) {
    std::fprintf(stderr, "probe: no message box captioned '%ls'\n", caption.c_str());
    return 1;
  }
  const auto seen = ReadMessageBox(box);
  std::printf("text=%s\nicon=%d\nbuttons=%d\n", vellum::platform::win32::ToAnsi(seen.text).c_str(),
              seen.has_icon ? 1 : 0, seen.buttons);
  return 0;
}

int DescribeWindow(const std::wstring& title, int seconds) {
  const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
  HWND window = nullptr;
  while ((window = ::FindWindowW(L"VellumViewerWindow", title.c_str())) == nullptr ||
         !::IsWindowVisible(window)) {
    if (::GetTickCount64() >= deadline) {
      std::fprintf(stderr, "probe: no viewer window titled '%ls'\n", title.c_str());
      return 1;
    }
    ::Sleep(100);
  }
  RECT outer{};
  RECT client{};
  ::GetWindowRect(window, &outer);
  ::GetClientRect(window, &client);
  std::printf("outer=%ldx%ld\nclient=%ldx%ld\n", outer.right - outer.left, outer.bottom - outer.top,
              client.right, client.bottom);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  try {
    std::vector<std::string> args;
    for (int i = 2; i < argc; ++i) args.push_back(Narrow(argv[i]));
    const std::string command = argc > 1 ? Narrow(argv[1]) : "";
    if (command == "settings" && args.size() == 6) return WriteSettings(argv[2], args);
    if (command == "box" && args.size() == 2) return DescribeBox(argv[2], std::stoi(args[1]));
    if (command == "window" && args.size() == 2) {
      return DescribeWindow(argv[2], std::stoi(args[1]));
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "probe: %s\n", e.what());
    return 2;
  }
  std::fprintf(stderr,
               "usage: probe settings FILE H W START TITLE BORDER | box CAPTION SECONDS |\n"
               "       probe window TITLE SECONDS\n");
  return 2;
}
