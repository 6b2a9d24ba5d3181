// SPDX-License-Identifier: MIT
// The headless backend: windows that show nothing and record what was done to them, a message
// loop that runs a script and the posted tasks, and real answers to new-window requests. The
// viewer's unit tests run every rule on it without a display, and the publishers' tool starts
// the viewer on it to tell what a reader would meet. What a window recorded outlives the window.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vellum::platform::headless {

class HeadlessApplication;

// What was done to one window, in the order of its calls.
struct WindowRecord {
  bool visible = false;
  bool maximized = false;
  // As applied, within the window system's limits; nullopt while the design size stands.
  std::optional<int> outer_width;
  std::optional<int> outer_height;
  Border border = Border::Resizable;
  Bytes title;                    // as last set
  Bytes title_when_shown;         // as it was when the window last became visible
  std::vector<Path> navigations;  // as the browser was given them
  // Calls in order, e.g. "navigate", "height 600", "width 800", "border fixed", "maximize".
  std::vector<std::string> calls;
};

class HeadlessWindow final : public Window, public Browser {
 public:
  HeadlessWindow(HeadlessApplication& app, WindowEvents& events, HeadlessWindow* owner,
                 WindowRecord& record);
  ~HeadlessWindow() override;

  Browser& browser() override { return *this; }
  void NavigateToFile(const Path& path) override;

  HeadlessWindow* owner() const { return owner_; }
  bool visible() const { return record_.visible; }
  bool maximized() const { return record_.maximized; }
  std::optional<int> outer_width() const { return record_.outer_width; }
  std::optional<int> outer_height() const { return record_.outer_height; }
  Border border() const { return record_.border; }
  const Bytes& title_when_shown() const { return record_.title_when_shown; }
  const std::vector<Path>& navigations() const { return record_.navigations; }
  const std::vector<std::string>& calls() const { return record_.calls; }

  // Toolkit events, as the reader or a page would raise them.
  void RequestClose() { FireCloseRequest(); }
  struct NewWindowAnswer {
    Automation pp_disp;
    bool cancel;
  };
  NewWindowAnswer RequestNewWindow(Automation pp_disp = {}, bool cancel = false);

  // Makes the next navigation request fail as a rejecting browser control would.
  void FailNavigation(std::string why) { navigation_error_ = std::move(why); }

 private:
  void SetTitleImpl(const Bytes& title) override;
  void ShowImpl(ShowState state) override;
  void HideImpl() override { record_.visible = false; }
  void MaximizeImpl() override;
  void SetOuterHeightImpl(int height) override;
  void SetOuterWidthImpl(int width) override;
  void SetBorderImpl(Border border) override;

  HeadlessApplication& app_;
  HeadlessWindow* owner_;
  WindowRecord& record_;
  std::string navigation_error_;
};

struct MessageBoxRecord {
  Bytes caption;
  Bytes text;
  BoxIcon icon;
};

class HeadlessApplication final : public Application {
 public:
  explicit HeadlessApplication(Path program_path) : program_path_(std::move(program_path)) {}

  std::unique_ptr<Window> CreateViewerWindow(WindowEvents& events, Window* owner) override;
  Path ProgramPath() override { return program_path_; }
  ShowState StartupShowState() override { return startup_state_; }
  void ShowMessageBox(const Bytes& caption, const Bytes& text, BoxIcon icon) override;

  // Controls.
  void SetStartupShowState(ShowState state) { startup_state_ = state; }
  void WhileRunning(std::function<void()> script) { script_ = std::move(script); }
  // The next `count` window creations succeed, the one after fails.
  void FailWindowCreationAfter(int count) { creations_left_ = count; }
  // Runs posted tasks as the message loop would, until none is left.
  void RunPending();

  // What happened.
  const std::vector<HeadlessWindow*>& windows() const { return windows_; }  // alive, in order
  HeadlessWindow* main_window() const { return windows_.empty() ? nullptr : windows_.front(); }
  // Every window ever created, gone ones included, in creation order.
  const std::deque<WindowRecord>& window_records() const { return records_; }
  const std::vector<MessageBoxRecord>& message_boxes() const { return boxes_; }

 private:
  friend class HeadlessWindow;
  // The loop runs the script set with WhileRunning, then every posted task.
  void RunLoop() override;
  void QuitLoop() override {}
  void Queue(std::function<void()> task) override { posted_.push_back(std::move(task)); }
  void Forget(HeadlessWindow* window);

  Path program_path_;
  ShowState startup_state_ = ShowState::Normal;
  std::function<void()> script_;
  std::vector<HeadlessWindow*> windows_;
  std::deque<WindowRecord> records_;  // a deque: a record stays where its window points
  std::vector<MessageBoxRecord> boxes_;
  std::deque<std::function<void()>> posted_;
  int creations_left_ = -1;
};

}  // namespace vellum::platform::headless
