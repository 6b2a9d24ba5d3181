// SPDX-License-Identifier: MIT
#include "platform/platform.h"

#include <algorithm>

namespace vellum::platform {

namespace {

int ClampOuterSize(int value) {
  return std::clamp(value, Window::kMinOuterSize, Window::kMaxOuterSize);
}

}  // namespace

void Window::SetTitle(const Bytes& title) {
  SetTitleImpl(title);
  title_ = title;
}

void Window::Show(ShowState state) { ShowImpl(state); }

void Window::SetOuterHeight(int height) { SetOuterHeightImpl(ClampOuterSize(height)); }

void Window::SetOuterWidth(int width) { SetOuterWidthImpl(ClampOuterSize(width)); }

void Window::FireShow() noexcept {
  app_.Guarded([&] { events_.OnShow(); });
}

void Window::FireCloseRequest() noexcept {
  app_.Guarded([&] { events_.OnCloseRequest(); });
}

void Window::FireNewWindow(Automation& pp_disp, bool& cancel) noexcept {
  app_.Guarded([&] { events_.OnNewWindow(pp_disp, cancel); });
}

void Application::ReportError(std::string_view what) noexcept {
  try {
    const std::string text(what);
    if (error_handler_) {
      error_handler_(text);
    } else {
      ShowMessageBox(ProgramPath(), text, BoxIcon::Error);
    }
  } catch (...) {
    // The report itself failed (no memory, no display): nothing is left to tell the reader.
  }
}

}  // namespace vellum::platform
