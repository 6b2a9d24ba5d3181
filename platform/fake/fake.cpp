// SPDX-License-Identifier: MIT
#include "platform/fake/fake.h"

#include <algorithm>

namespace vellum::platform::fake {

FakeWindow::FakeWindow(FakeApplication& app, WindowEvents& events, FakeWindow* owner, int serial)
    : Window(app, events), app_(app), owner_(owner), serial_(serial) {}

FakeWindow::~FakeWindow() { app_.Forget(this); }

void FakeWindow::NavigateToFile(const Path& path) {
  if (!navigation_error_.empty()) {
    std::string why = std::move(navigation_error_);
    navigation_error_.clear();
    throw PlatformError(why);
  }
  navigations_.push_back(path.ToBytes());
  calls_.push_back("navigate");
}

FakeWindow::NewWindowAnswer FakeWindow::RequestNewWindow(Automation pp_disp, bool cancel) {
  FireNewWindow(pp_disp, cancel);
  return {pp_disp, cancel};
}

void FakeWindow::SetTitleImpl(const Bytes&) { calls_.push_back("title"); }

void FakeWindow::ShowImpl(ShowState state) {
  ++show_count_;
  FireShow();
  visible_ = true;
  if (state == ShowState::Maximized) maximized_ = true;
  title_when_shown_ = Title();
}

void FakeWindow::MaximizeImpl() {
  maximized_ = true;
  calls_.push_back("maximize");
}

void FakeWindow::SetOuterHeightImpl(int height) {
  outer_height_ = height;
  calls_.push_back("height " + std::to_string(height));
}

void FakeWindow::SetOuterWidthImpl(int width) {
  outer_width_ = width;
  calls_.push_back("width " + std::to_string(width));
}

void FakeWindow::SetBorderImpl(Border border) {
  border_ = border;
  calls_.push_back(border == Border::FixedDialog ? "border fixed" : "border resizable");
}

std::unique_ptr<Window> FakeApplication::CreateViewerWindow(WindowEvents& events, Window* owner) {
  if (creations_left_ == 0) throw PlatformError("Cannot create a window");
  if (creations_left_ > 0) --creations_left_;
  auto window =
      std::make_unique<FakeWindow>(*this, events, static_cast<FakeWindow*>(owner), ++created_);
  windows_.push_back(window.get());
  return window;
}

void FakeApplication::ShowMessageBox(const Bytes& caption, const Bytes& text, BoxIcon icon) {
  boxes_.push_back({caption, text, icon});
}

void FakeApplication::Run() {
  if (terminated_) return;
  running_ = true;
  if (script_) script_();
  RunPending();
  running_ = false;
}

void FakeApplication::RunPending() {
  while (!posted_.empty()) {
    auto task = std::move(posted_.front());
    posted_.pop_front();
    task();
  }
}

void FakeApplication::Forget(FakeWindow* window) { std::erase(windows_, window); }

}  // namespace vellum::platform::fake
