// SPDX-License-Identifier: MIT
// Helpers for the Windows tests: finding, reading and acknowledging the message boxes the program
// shows. The temporary program directory and settings lines are the shared tests/test_support.h.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/text.h"

namespace vellum::testing::win32 {

struct MessageBoxSeen {
  std::wstring caption;
  std::wstring text;
  bool has_icon = false;
  int buttons = 0;
  RECT rect{};
};

// A visible message box captioned `caption` (any caption when empty), of process `process_id`
// (any process when 0); waits up to `timeout_ms`. nullptr when none appeared.
HWND FindMessageBox(const std::wstring& caption, DWORD timeout_ms, DWORD process_id);
MessageBoxSeen ReadMessageBox(HWND box);

// Acknowledges, from a thread of its own, every message box this process shows while the
// object lives, as a reader would press OK, and records what each one showed.
class BoxAnswerer {
 public:
  BoxAnswerer();
  ~BoxAnswerer();
  BoxAnswerer(const BoxAnswerer&) = delete;
  BoxAnswerer& operator=(const BoxAnswerer&) = delete;

  std::vector<MessageBoxSeen> seen() const;

 private:
  void Watch();

  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<MessageBoxSeen> seen_;
  std::thread thread_;
};

}  // namespace vellum::testing::win32
