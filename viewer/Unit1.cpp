// SPDX-License-Identifier: MIT
#include "viewer/Unit1.h"

#include <cstdint>
#include <limits>

#include "text/text.h"

namespace vellum {

namespace {

[[noreturn]] void NotAnInteger(std::string_view text) {
  throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

}  // namespace

int StrToInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  bool hex = false;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i == text.size()) NotAnInteger(text);

  std::uint32_t magnitude = 0;
  if (hex) {
    int significant = 0;
    for (; i < text.size(); ++i) {
      const int digit = text::HexDigitValue(text[i]);
      if (digit < 0) NotAnInteger(text);
      if (significant > 0 || digit != 0) ++significant;
      if (significant > 8) NotAnInteger(text);
      magnitude = magnitude << 4 | static_cast<std::uint32_t>(digit);
    }
  } else {
    const std::uint32_t limit = negative ? 0x80000000u : 0x7FFFFFFFu;
    for (; i < text.size(); ++i) {
      if (text[i] < '0' || text[i] > '9') NotAnInteger(text);
      const auto digit = static_cast<std::uint32_t>(text[i] - '0');
      if (magnitude > (limit - digit) / 10) NotAnInteger(text);
      magnitude = magnitude * 10 + digit;
    }
  }
  // Two's complement: hexadecimal FFFFFFFF is -1, and negation wraps as 32-bit arithmetic does.
  const std::uint32_t bits = negative ? 0u - magnitude : magnitude;
  return static_cast<std::int32_t>(bits);
}

ByteString ApplicationTitle(const platform::Path& program_path) {
  // Worked on in the system's own form of the name: in a double-byte code page a trail byte may
  // look like a "\", and a letter's lower case is not a matter of one byte.
  const platform::Path::String name = program_path.FileName().native();
  const platform::Path stem =
      platform::Path::Native(name.substr(0, name.find(platform::Path::Char('.'))));
  return platform::LowerCaseAfterFirst(stem);
}

std::string ErrorReportText(std::string_view what) {
  std::string text(what);
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
  return text;
}

TForm1::TForm1(platform::Application& app, TForm1* owner)
    : app_(app),
      owner_(owner),
      window_(app.CreateViewerWindow(*this, owner ? owner->window_.get() : nullptr)),
      WebBrowser1(window_->browser()) {}

TForm1::~TForm1() {
  // The windows this one owns go first, then its own.
  popups_.clear();
  window_.reset();
}

platform::Path TForm1::ProgramDirectory() { return settings::ProgramDirectory(app_.ProgramPath()); }

void TForm1::FormShow() {
  if (IsPopup()) return;
  settings_ = settings::LoadSettings(ProgramDirectory());
  if (!settings_->ok()) {
    window_->SetTitle("");
    app_.ShowMessageBox(ApplicationTitle(app_.ProgramPath()),
                        settings::FailureMessage(settings_->status), platform::BoxIcon::None);
    Close();
    return;
  }
  window_->SetTitle(settings_->viewer.WindowTitle);
  StartViewing();
}

void TForm1::StartViewing() {
  const settings::ViewerSettings& viewer = settings_.value().viewer;
  WebBrowser1.NavigateToFile(ProgramDirectory().Append(viewer.StartPage));
  if (viewer.WindowHeight == "0" || viewer.WindowWidth == "0") {
    window_->Maximize();
    return;
  }
  window_->SetOuterHeight(StrToInt(viewer.WindowHeight));
  window_->SetOuterWidth(StrToInt(viewer.WindowWidth));
  if (viewer.BorderMode == "0") window_->SetBorder(platform::Border::FixedDialog);
}

void TForm1::FormClose(TCloseAction& action) {
  if (IsPopup()) action = TCloseAction::caFree;
}

void TForm1::Close() {
  TCloseAction action = TCloseAction::caHide;
  FormClose(action);
  window_->Hide();
  if (owner_ == nullptr) {
    // Closing the main window ends the program, whatever its close action.
    app_.Terminate();
    return;
  }
  if (action == TCloseAction::caFree) {
    // Destroyed when the loop next gets to it; by then its owner may be gone, and it with it.
    app_.Post([self = weak_from_this()] {
      if (auto popup = self.lock()) popup->owner_->ReleasePopup(popup.get());
    });
  }
}

void TForm1::ReleasePopup(const TForm1* popup) {
  std::erase_if(popups_, [popup](const auto& p) { return p.get() == popup; });
}

void TForm1::WebBrowser1NewWindow2(platform::Automation& ppDisp, bool& /*Cancel*/) {
  // Any failure here is swallowed: the request keeps the arguments it came with, and a popup
  // that was already created stays open.
  try {
    popups_.push_back(std::make_shared<TForm1>(app_, this));
    TForm1& popup = *popups_.back();
    popup.window().SetTitle(ByteString(kPopupTitle));
    popup.window().Show();
    ppDisp = popup.WebBrowser1.AutomationInterface();
  } catch (...) {
  }
}

void SetDefaultErrorReport(platform::Application& app) {
  app.SetErrorHandler([&app](const std::string& what) {
    app.ShowMessageBox(ApplicationTitle(app.ProgramPath()), ErrorReportText(what),
                       platform::BoxIcon::Error);
  });
}

int Project1Main(platform::Application& app) {
  SetDefaultErrorReport(app);
  {
    TForm1 main_form(app, nullptr);
    main_form.window().Show(app.StartupShowState());
    app.Run();
  }  // the main window goes, and every popup with it
  return 0;
}

}  // namespace vellum
