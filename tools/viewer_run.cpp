// SPDX-License-Identifier: MIT
#include "tools/viewer_run.h"

#include "viewer/Unit1.h"

namespace vellum::tools {

namespace {

class RecordingWindow final : public platform::Window, public platform::Browser {
 public:
  RecordingWindow(platform::Application& app, platform::WindowEvents& events, ViewerRun* record)
      : Window(app, events), record_(record) {}

  platform::Browser& browser() override { return *this; }
  void NavigateToFile(const platform::Path& path) override {
    if (record_) record_->navigated.push_back(path.ToBytes());
  }
  platform::Automation AutomationInterface() override { return this; }

 private:
  void SetTitleImpl(const Bytes& title) override {
    if (record_) record_->title = title;
  }
  void ShowImpl(platform::ShowState) override { FireShow(); }
  void HideImpl() override {}
  void MaximizeImpl() override {
    if (record_) record_->maximized = true;
  }
  void SetOuterHeightImpl(int height) override {
    if (record_) record_->outer_height = height;
  }
  void SetOuterWidthImpl(int width) override {
    if (record_) record_->outer_width = width;
  }
  void SetBorderImpl(platform::Border border) override {
    if (record_) record_->border = border;
  }

  ViewerRun* record_;  // null for any window but the main one
};

class RecordingApplication final : public platform::Application {
 public:
  RecordingApplication(Bytes program_path, ViewerRun& record)
      : program_path_(std::move(program_path)), record_(record) {}

  std::unique_ptr<platform::Window> CreateViewerWindow(platform::WindowEvents& events,
                                                       platform::Window* owner) override {
    return std::make_unique<RecordingWindow>(*this, events, owner ? nullptr : &record_);
  }
  platform::Path ProgramPath() override { return program_path_; }
  platform::ShowState StartupShowState() override { return platform::ShowState::Normal; }
  void ShowMessageBox(const Bytes& caption, const Bytes& text, platform::BoxIcon icon) override {
    record_.boxes.push_back({caption, text, icon});
  }
  // Nothing waits for the reader: the start sequence has run by the time the loop would begin.
  void Run() override {}
  void Terminate() override { record_.ended = true; }
  void Post(std::function<void()>) override {}

 private:
  platform::Path program_path_;
  ViewerRun& record_;
};

}  // namespace

ViewerRun RunViewerHeadless(const Bytes& program_path) {
  ViewerRun record;
  RecordingApplication app(program_path, record);
  Project1Main(app);
  return record;
}

}  // namespace vellum::tools
