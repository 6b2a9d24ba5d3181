// SPDX-License-Identifier: MIT
#include "platform/platform.h"

#include "platform/files.h"
#include "platform/temporary_file.h"

#include <algorithm>
#include <utility>

#include "text/text.h"

namespace vellum::platform {

namespace {

int ClampOuterSize(int value) {
  return std::clamp(value, Window::kMinOuterSize, Window::kMaxOuterSize);
}

// Either separator ends a directory, as Windows reads paths.
constexpr char kSeparators[] = "/\\";

}  // namespace

Path Path::Directory() const {
  const std::size_t slash = text::LastSeparator<Char>(native_, kSeparators);
  if (slash == String::npos) return Path();
  return Native(native_.substr(0, slash + 1));
}

Path Path::FileName() const {
  const std::size_t slash = text::LastSeparator<Char>(native_, kSeparators);
  return Native(slash == String::npos ? native_ : native_.substr(slash + 1));
}

void RemoveLeftoverTemporaries(const Path& file) {
  const Path folder = file.Directory().empty() ? Path(".") : file.Directory();
  // Names compared as ListDirectory gives them.
  const std::optional<std::string> name = file.NamesAfter(file.Directory());
  if (!name) return;
  const std::string prefix = "." + *name + ".";
  std::vector<DirectoryEntry> entries;
  try {
    entries = ListDirectory(folder);
  } catch (const PlatformError&) {
    return;  // nothing to tidy where nothing can be listed
  }
  for (const DirectoryEntry& entry : entries) {
    if (entry.name.size() == prefix.size() + kTemporarySuffixLength &&
        entry.name.starts_with(prefix) && !entry.is_directory) {
      RemoveQuietly(entry.path);
    }
  }
}

FileError::FileError(const Path& path, const std::string& cause)
    : PlatformError(path.ToUtf8() + ": " + cause) {}

void Window::SetTitle(const Bytes& title) {
  SetTitleImpl(title);
  title_ = title;
}

void Window::Show(ShowState state) {
  const unsigned hides = hides_;
  app_.Guarded([&] { events_.OnShow(); });
  if (hides_ != hides) return;  // closed while it was being shown
  ShowImpl(state);
}

void Window::Hide() {
  ++hides_;
  HideImpl();
}

void Window::SetOuterHeight(int height) { SetOuterHeightImpl(ClampOuterSize(height)); }

void Window::SetOuterWidth(int width) { SetOuterWidthImpl(ClampOuterSize(width)); }

void Window::FireCloseRequest() noexcept {
  app_.Guarded([&] { events_.OnCloseRequest(); });
}

void Window::FireNewWindow(Automation& pp_disp, bool& cancel) noexcept {
  app_.Guarded([&] { events_.OnNewWindow(pp_disp, cancel); });
}

void Application::Run() {
  if (!terminated_) RunLoop();
}

void Application::Terminate() {
  if (terminated_) return;
  terminated_ = true;
  QuitLoop();
}

void Application::Post(std::function<void()> task) {
  if (terminated_) return;
  Queue([this, task = std::move(task)] {
    if (!terminated_) Guarded(task);
  });
}

void Application::ReportError(std::string_view what) noexcept {
  try {
    const std::string text(what);
    if (error_handler_) {
      error_handler_(text);
    } else {
      ShowMessageBox(ProgramPath().ToBytes(), text, BoxIcon::Error);
    }
  } catch (...) {
    // The report itself failed (no memory, no display): nothing is left to tell the reader.
  }
}

}  // namespace vellum::platform
