// SPDX-License-Identifier: MIT
#include "tools/inspect.h"

#include "platform/files.h"
#include "text/text.h"
#include "tools/settings_edit.h"
#include "tools/text_encoding.h"
#include "viewer/Unit1.h"

namespace vellum::tools {

using platform::CanonicalDirectory;
using platform::KindOf;
using platform::Path;
using platform::PathKind;

namespace {

#if defined(_WIN32)
constexpr const char* kViewerNames[] = {"Vellum.exe"};
#else
constexpr const char* kViewerNames[] = {"vellum", "Vellum.exe"};
#endif

bool SameFileName(std::string_view a, std::string_view b) {
#if defined(_WIN32)
  return text::LowerAscii(a) == text::LowerAscii(b);
#else
  return a == b;
#endif
}

// `name` (ASCII) in `folder`.
Path InFolder(const Path& folder, std::string_view name) {
  Path::String path = folder.native();
  if (path.empty() ||
      std::string_view(text::kPathSeparators).find(static_cast<char>(path.back())) ==
          std::string_view::npos) {
    path += static_cast<Path::Char>(platform::PathSeparator());
  }
  return Path::Native(path).Append(name);
}

// The error report the viewer gives for a size field, or nothing when it converts.
std::optional<std::string> ConversionReport(const ByteString& text) {
  try {
    StrToInt(text);
    return std::nullopt;
  } catch (const EConvertError& e) {
    return ErrorReportText(e.what());
  }
}

std::string Quoted(const ByteString& bytes) { return "\"" + DisplayText(bytes) + "\""; }

void AddSizeNotes(const settings::ViewerSettings& viewer, const ViewerRun& run,
                  std::vector<std::string>& notes) {
  const auto note = [&](const ByteString& text, std::size_t field, std::optional<int> applied) {
    if (!applied) return;
    try {
      if (StrToInt(text) != *applied) {
        notes.push_back(std::string(ViewerFieldName(field)) + " " + Quoted(text) +
                        " is outside what a window may have; the viewer uses " +
                        std::to_string(*applied));
      }
    } catch (const EConvertError&) {
    }
  };
  note(viewer.WindowHeight, settings::kWindowHeightField, run.main_window.outer_height);
  note(viewer.WindowWidth, settings::kWindowWidthField, run.main_window.outer_width);
}

}  // namespace

SettingsLocation LocateAnyFile(const std::string& path) {
  const Path given = Path::FromUtf8(path.empty() ? "." : path);
  SettingsLocation location;
  if (KindOf(given) == PathKind::kDirectory) {
    location.directory = CanonicalDirectory(given);
    location.file = InFolder(given, settings::kSettingsFileName);
    return location;
  }
  const Path folder = given.Directory();
  location.directory = CanonicalDirectory(folder.empty() ? Path(".") : folder);
  location.file = given;
  return location;
}

SettingsLocation LocateForViewer(const std::string& path) {
  SettingsLocation location = LocateAnyFile(path);
  if (!SameFileName(location.file.FileName().ToUtf8(), settings::kSettingsFileName)) {
    throw UsageError(location.file.ToUtf8() + ": the viewer reads only " +
                     settings::kSettingsFileName + " in its folder; give the folder or that file");
  }
  location.file = InFolder(location.directory, settings::kSettingsFileName);
  return location;
}

Path ViewerProgramPath(const Path& directory) {
  for (const char* name : kViewerNames) {
    if (KindOf(InFolder(directory, name)) == PathKind::kFile) return InFolder(directory, name);
  }
  return InFolder(directory, kViewerNames[0]);
}

Inspection Inspect(const SettingsLocation& location) {
  Inspection ins;
  ins.location = location;
  ins.program_path = ViewerProgramPath(location.directory);
  ins.run = RunViewerHeadless(ins.program_path);

  if (!ins.run.main_window.navigations.empty()) {
    ins.start_page_path = ins.run.main_window.navigations.front();
    switch (KindOf(ins.start_page_path)) {
      case PathKind::kFile:
      case PathKind::kOther:
        ins.page = PageState::kFound;
        break;
      case PathKind::kDirectory:
        ins.page = PageState::kFolder;
        break;
      case PathKind::kMissing:
        ins.page = PageState::kMissing;
        break;
    }
  }

  const settings::LoadOutcome& load = ins.run.load;
  const settings::ViewerSettings& viewer = load.viewer;
  // The viewer converts the height first and stops at the first size that does not convert.
  const bool height_failed = load.ok() && ConversionReport(viewer.WindowHeight).has_value();
  const bool width_failed = load.ok() && ConversionReport(viewer.WindowWidth).has_value();
  for (const platform::headless::MessageBoxRecord& box : ins.run.boxes) {
    Problem problem;
    problem.kind = box.icon == platform::BoxIcon::None ? "message box" : "error report";
    problem.caption = DisplayText(box.caption);
    problem.text = DisplayText(box.text);
    if (box.icon == platform::BoxIcon::None) {
      // The one message of a settings file the viewer cannot use.
      switch (load.status) {
        case settings::LoadStatus::kReadFailure:
          problem.detail = load.cause.empty() ? "the file cannot be read" : load.cause;
          break;
        case settings::LoadStatus::kWrongFieldCount:
          problem.detail = std::to_string(load.record.size()) + " fields found, " +
                           std::to_string(settings::kFieldCount) + " needed";
          break;
        case settings::LoadStatus::kSuccess:
          break;
      }
    } else if (height_failed) {
      problem.detail = "field 1, WindowHeight";
    } else if (width_failed) {
      problem.detail = "field 2, WindowWidth";
    }
    ins.problems.push_back(std::move(problem));
  }
  if (height_failed && width_failed) {
    // The viewer stops at the height; the width is next in line once that is fixed.
    if (auto report = ConversionReport(viewer.WindowWidth)) {
      ins.problems.push_back({"error report", DisplayText(ApplicationTitle(ins.program_path)),
                              DisplayText(*report),
                              "field 2, WindowWidth; shown once field 1 is fixed"});
    }
  }
  if (ins.page == PageState::kMissing) {
    ins.problems.push_back({"start page", {}, ins.start_page_path.ToUtf8(), "not found"});
  } else if (ins.page == PageState::kFolder) {
    ins.problems.push_back(
        {"start page", {}, ins.start_page_path.ToUtf8(), "is a folder, not a page"});
  }

  if (load.ok()) {
    if (viewer.WindowTitle == kPopupTitle) {
      ins.notes.push_back("the title \"" + std::string(kPopupTitle) +
                          "\" is the one that marks popup windows; the main window still ends "
                          "the program when closed, but another title avoids confusion");
    }
    if (ins.run.main_window.maximized && viewer.BorderMode == "0") {
      ins.notes.push_back("BorderMode \"0\" (a fixed border) has no effect on a maximized window");
    }
    AddSizeNotes(viewer, ins.run, ins.notes);
  }
  if (KindOf(ins.program_path) != PathKind::kFile) {
    ins.notes.push_back("there is no viewer program in " + location.directory.ToUtf8() + " yet");
  }
  return ins;
}

}  // namespace vellum::tools
