// SPDX-License-Identifier: MIT
// An in-memory backend: a fixed screen, windows that record what was done to them, and real
// answers to new-window requests. The viewer's unit tests run every rule on it without a display.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vellum::platform::fake {

class FakeApplication;

class FakeWindow final : public Window, public Browser {
 public:
  static constexpr int kDesignOuterWidth = 772;
  static constexpr int kDesignOuterHeight = 658;

  FakeWindow(FakeApplication& app, WindowEvents& events, FakeWindow* owner, int serial);
  ~FakeWindow() override;

  Browser& browser() override { return *this; }
  void NavigateToFile(const Path& path) override;
  Automation AutomationInterface() override { return static_cast<Browser*>(this); }

  // What was done to the window.
  FakeWindow* owner() const { return owner_; }
  int serial() const { return serial_; }
  bool visible() const { return visible_; }
  bool maximized() const { return maximized_; }
  int outer_width() const { return outer_width_; }
  int outer_height() const { return outer_height_; }
  Border border() const { return border_; }
  int show_count() const { return show_count_; }
  // The title as it was when the window first became visible.
  const Bytes& title_when_shown() const { return title_when_shown_; }
  const std::vector<Bytes>& navigations() const { return navigations_; }
  // Calls in order, e.g. "navigate", "height 600", "width 800", "border fixed", "maximize".
  const std::vector<std::string>& calls() const { return calls_; }

  // Toolkit events, as the reader or a page would raise them.
  void RequestClose() { FireCloseRequest(); }
  struct NewWindowAnswer {
    Automation pp_disp;
    bool cancel;
  };
  NewWindowAnswer RequestNewWindow(Automation pp_disp = nullptr, bool cancel = false);

  // Makes the next navigation request fail as a rejecting browser control would.
  void FailNavigation(std::string why) { navigation_error_ = std::move(why); }

 private:
  void SetTitleImpl(const Bytes& title) override;
  void ShowImpl(ShowState state) override;
  void HideImpl() override { visible_ = false; }
  void MaximizeImpl() override;
  void SetOuterHeightImpl(int height) override;
  void SetOuterWidthImpl(int width) override;
  void SetBorderImpl(Border border) override;

  FakeApplication& app_;
  FakeWindow* owner_;
  int serial_;
  bool visible_ = false;
  bool maximized_ = false;
  int outer_width_ = kDesignOuterWidth;
  int outer_height_ = kDesignOuterHeight;
  Border border_ = Border::Resizable;
  int show_count_ = 0;
  Bytes title_when_shown_;
  std::vector<Bytes> navigations_;
  std::vector<std::string> calls_;
  std::string navigation_error_;
};

struct MessageBoxRecord {
  Bytes caption;
  Bytes text;
  BoxIcon icon;
};

class FakeApplication final : public Application {
 public:
  explicit FakeApplication(Path program_path) : program_path_(std::move(program_path)) {}

  std::unique_ptr<Window> CreateViewerWindow(WindowEvents& events, Window* owner) override;
  Path ProgramPath() override { return program_path_; }
  ShowState StartupShowState() override { return startup_state_; }
  void ShowMessageBox(const Bytes& caption, const Bytes& text, BoxIcon icon) override;
  // Runs the script set with WhileRunning, then every posted task, unless ended before.
  void Run() override;
  void Terminate() override { terminated_ = true; }
  void Post(std::function<void()> task) override { posted_.push_back(std::move(task)); }

  // Test controls.
  void SetStartupShowState(ShowState state) { startup_state_ = state; }
  void WhileRunning(std::function<void()> script) { script_ = std::move(script); }
  // The next `count` window creations succeed, the one after fails.
  void FailWindowCreationAfter(int count) { creations_left_ = count; }
  // Runs posted tasks as the message loop would, until none is left.
  void RunPending();

  // What happened.
  const std::vector<FakeWindow*>& windows() const { return windows_; }  // alive, in creation order
  FakeWindow* main_window() const { return windows_.empty() ? nullptr : windows_.front(); }
  const std::vector<MessageBoxRecord>& message_boxes() const { return boxes_; }
  bool terminated() const { return terminated_; }
  bool running() const { return running_; }
  int windows_created() const { return created_; }
  std::size_t pending_tasks() const { return posted_.size(); }

 private:
  friend class FakeWindow;
  void Forget(FakeWindow* window);

  Path program_path_;
  ShowState startup_state_ = ShowState::Normal;
  std::function<void()> script_;
  std::vector<FakeWindow*> windows_;
  std::vector<MessageBoxRecord> boxes_;
  std::deque<std::function<void()>> posted_;
  bool terminated_ = false;
  bool running_ = false;
  int created_ = 0;
  int creations_left_ = -1;
};

}  // namespace vellum::platform::fake
