// SPDX-License-Identifier: MIT
// The viewer window: one class for the main window and for every popup window, each hosting one
// browser control that fills its client area.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "settings/settings.h"

namespace vellum {

using settings::ByteString;

// The title that marks a popup window, for the whole of its life.
inline constexpr std::string_view kPopupTitle = "newwindow";

// A text that is not an integer: "'<text>' is not a valid integer value".
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads a window size: leading spaces, an optional sign, then decimal digits, or "$", "x", "X",
// "0x", "0X" and up to 8 significant hexadecimal digits read as a 32-bit two's-complement value.
// Decimal values must fit in 32 signed bits. Throws EConvertError.
int StrToInt(std::string_view text);

// The program file's name without its directory and from its first "." on, with every character
// after the first in lower case by the system's rules ("VIEWER.EXE" gives "Viewer", "VÉLUM.EXE"
// "Vélum"). Message boxes carry it.
ByteString ApplicationTitle(const platform::Path& program_path);

// The text of the error report: the error's text, with a "." appended unless it is empty or
// already ends in "." or a character below it.
std::string ErrorReportText(std::string_view what);

enum class TCloseAction { caHide, caFree };

// A popup window is shared-owned by the window that opened it (popups()), so that a task posted
// to free it can tell whether it is still there; the main window lives on Project1Main's stack.
class TForm1 final : public platform::WindowEvents, public std::enable_shared_from_this<TForm1> {
 public:
  // Creates the window, hidden, owned by `owner` (nullptr for the main window).
  TForm1(platform::Application& app, TForm1* owner);
  ~TForm1();
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  platform::Window& window() { return *window_; }
  TForm1* owner() const { return owner_; }
  const std::vector<std::shared_ptr<TForm1>>& popups() const { return popups_; }
  // What the main window's show read of the settings, failures included; nothing before then,
  // and never for a popup.
  const std::optional<settings::LoadOutcome>& LoadedSettings() const { return settings_; }

  // Asks the window to close, as the reader's close button does.
  void Close();

  void FormShow();
  void StartViewing();
  void FormClose(TCloseAction& action);
  void WebBrowser1NewWindow2(platform::Automation& ppDisp, bool& Cancel);

 private:
  void OnShow() override { FormShow(); }
  void OnCloseRequest() override { Close(); }
  void OnNewWindow(platform::Automation& pp_disp, bool& cancel) override {
    WebBrowser1NewWindow2(pp_disp, cancel);
  }
  bool IsPopup() const { return window_->Title() == kPopupTitle; }
  platform::Path ProgramDirectory();
  // Destroys a freed popup; runs from the message loop, never inside its own close handler.
  void ReleasePopup(const TForm1* popup);

  platform::Application& app_;
  TForm1* owner_;
  std::unique_ptr<platform::Window> window_;

 public:
  platform::Browser& WebBrowser1;

 private:
  std::vector<std::shared_ptr<TForm1>> popups_;    // destroyed with this window
  std::optional<settings::LoadOutcome> settings_;  // the main window's, once read
};

// Routes failures that leave an event handler to the application's default error report: a
// system box captioned with the application title, with an error icon.
void SetDefaultErrorReport(platform::Application& app);

// The program: creates the main window, shows it and runs the message loop until the
// application ends. Returns the process's exit code.
int Project1Main(platform::Application& app);

}  // namespace vellum
