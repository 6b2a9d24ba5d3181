// SPDX-License-Identifier: MIT
#include "platform/headless/headless.h"

#include <algorithm>

namespace vellum::platform::headless {

HeadlessWindow::HeadlessWindow(HeadlessApplication& app, WindowEvents& events,
                               HeadlessWindow* owner, WindowRecord& record)
    : Window(app, events), app_(app), owner_(owner), record_(record) {}

HeadlessWindow::~HeadlessWindow() { app_.Forget(this); }

void HeadlessWindow::NavigateToFile(const Path& path) {
  if (!navigation_error_.empty()) {
    std::string why = std::move(navigation_error_);
    navigation_error_.clear();
    throw PlatformError(why);
  }
  record_.navigations.push_back(path);
  record_.calls.push_back("navigate");
}

HeadlessWindow::NewWindowAnswer HeadlessWindow::RequestNewWindow(Automation pp_disp, bool cancel) {
  FireNewWindow(pp_disp, cancel);
  return {pp_disp, cancel};
}

void HeadlessWindow::SetTitleImpl(const Bytes& title) {
  record_.title = title;
  record_.calls.push_back("title");
}

void HeadlessWindow::ShowImpl(ShowState state) {
  record_.visible = true;
  if (state == ShowState::Maximized) record_.maximized = true;
  record_.title_when_shown = Title();
}

void HeadlessWindow::MaximizeImpl() {
  record_.maximized = true;
  record_.calls.push_back("maximize");
}

void HeadlessWindow::SetOuterHeightImpl(int height) {
  record_.outer_height = height;
  record_.calls.push_back("height " + std::to_string(height));
}

void HeadlessWindow::SetOuterWidthImpl(int width) {
  record_.outer_width = width;
  record_.calls.push_back("width " + std::to_string(width));
}

void HeadlessWindow::SetBorderImpl(Border border) {
  record_.border = border;
  record_.calls.push_back(border == Border::FixedDialog ? "border fixed" : "border resizable");
}

std::unique_ptr<Window> HeadlessApplication::CreateViewerWindow(WindowEvents& events,
                                                                Window* owner) {
  if (creations_left_ == 0) throw PlatformError("Cannot create a window");
  if (creations_left_ > 0) --creations_left_;
  WindowRecord& record = records_.emplace_back();
  auto window =
      std::make_unique<HeadlessWindow>(*this, events, static_cast<HeadlessWindow*>(owner), record);
  windows_.push_back(window.get());
  return window;
}

void HeadlessApplication::ShowMessageBox(const Bytes& caption, const Bytes& text, BoxIcon icon) {
  boxes_.push_back({caption, text, icon});
}

void HeadlessApplication::RunLoop() {
  if (script_) script_();
  RunPending();
}

void HeadlessApplication::RunPending() {
  while (!posted_.empty()) {
    auto task = std::move(posted_.front());
    posted_.pop_front();
    task();
  }
}

void HeadlessApplication::Forget(HeadlessWindow* window) { std::erase(windows_, window); }

}  // namespace vellum::platform::headless
