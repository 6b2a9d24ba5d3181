// SPDX-License-Identifier: MIT
#include "tests/win32/win32_test_support.h"

#include <chrono>

namespace vellum::testing::win32 {

namespace {

std::wstring TextOf(HWND hwnd) {
  wchar_t buffer[1024] = {};
  ::GetWindowTextW(hwnd, buffer, static_cast<int>(std::size(buffer)));
  return buffer;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t buffer[64] = {};
  ::GetClassNameW(hwnd, buffer, static_cast<int>(std::size(buffer)));
  return buffer;
}

struct Search {
  const std::wstring* caption;
  DWORD process_id;
  HWND found;
};

BOOL CALLBACK MatchBox(HWND hwnd, LPARAM lparam) {
  auto* search = reinterpret_cast<Search*>(lparam);
  if (!::IsWindowVisible(hwnd) || ClassOf(hwnd) != L"#32770") return TRUE;
  DWORD process = 0;
  ::GetWindowThreadProcessId(hwnd, &process);
  if (search->process_id != 0 && process != search->process_id) return TRUE;
  if (!search->caption->empty() && TextOf(hwnd) != *search->caption) return TRUE;
  search->found = hwnd;
  return FALSE;
}

BOOL CALLBACK ReadChild(HWND child, LPARAM lparam) {
  auto* seen = reinterpret_cast<MessageBoxSeen*>(lparam);
  if (!::IsWindowVisible(child)) return TRUE;
  const std::wstring kind = ClassOf(child);
  if (kind == L"Button") {
    ++seen->buttons;
  } else if (kind == L"Static") {
    const LONG_PTR style = ::GetWindowLongPtrW(child, GWL_STYLE);
    if ((style & SS_TYPEMASK) == SS_ICON) {
      if (::SendMessageW(child, STM_GETICON, 0, 0) != 0) seen->has_icon = true;
    } else if (::GetDlgCtrlID(child) == 0xFFFF) {
      seen->text = TextOf(child);
    }
  }
  return TRUE;
}

}  // namespace

HWND FindMessageBox(const std::wstring& caption, DWORD timeout_ms, DWORD process_id) {
  const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
  for (;;) {
    Search search{&caption, process_id, nullptr};
    ::EnumWindows(&MatchBox, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr || ::GetTickCount64() >= deadline) return search.found;
    ::Sleep(20);
  }
}

MessageBoxSeen ReadMessageBox(HWND box) {
  MessageBoxSeen seen;
  seen.caption = TextOf(box);
  ::GetWindowRect(box, &seen.rect);
  ::EnumChildWindows(box, &ReadChild, reinterpret_cast<LPARAM>(&seen));
  return seen;
}

BoxAnswerer::BoxAnswerer() : thread_([this] { Watch(); }) {}

BoxAnswerer::~BoxAnswerer() {
  stop_ = true;
  thread_.join();
}

std::vector<MessageBoxSeen> BoxAnswerer::seen() const {
  std::lock_guard lock(mutex_);
  return seen_;
}

void BoxAnswerer::Watch() {
  const std::wstring any;
  while (!stop_) {
    HWND box = FindMessageBox(any, 0, ::GetCurrentProcessId());
    if (box == nullptr) {
      ::Sleep(20);
      continue;
    }
    // Let the box finish laying itself out before reading it.
    ::Sleep(50);
    MessageBoxSeen seen = ReadMessageBox(box);
    {
      std::lock_guard lock(mutex_);
      seen_.push_back(std::move(seen));
    }
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    // Wait until it is gone, so that it is counted once.
    for (int i = 0; i < 250 && ::IsWindow(box) && ::IsWindowVisible(box); ++i) ::Sleep(20);
  }
}

}  // namespace vellum::testing::win32
