// SPDX-License-Identifier: MIT
// The settings file beside the program: one line of scrambled hexadecimal text whose plain text
// is exactly 44 fields separated by "`". Reads, decodes, splits and validates it, and hands the
// viewer the five values it uses.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/platform.h"
#include "settings/scramble.h"

namespace vellum::settings {

inline constexpr char kSettingsFileName[] = "Vellum.ini";
inline constexpr char kFieldSeparator = '`';
inline constexpr std::size_t kFieldCount = 44;

// Field indices of the values the viewer uses.
inline constexpr std::size_t kWindowHeightField = 1;
inline constexpr std::size_t kWindowWidthField = 2;
inline constexpr std::size_t kStartPageField = 6;
inline constexpr std::size_t kWindowTitleField = 41;
inline constexpr std::size_t kBorderModeField = 42;

// The fields of the settings line, index 0 upward; a valid record has kFieldCount of them.
using SettingsRecord = std::vector<ByteString>;

// The values the viewer takes from a valid record, as text.
struct ViewerSettings {
  ByteString WindowHeight;  // "0": maximized
  ByteString WindowWidth;   // "0" (or empty, which becomes "0"): maximized
  ByteString StartPage;     // relative to the program directory, appended unchanged
  ByteString WindowTitle;
  ByteString BorderMode;  // "0": fixed dialog-style border when an explicit size applies

  bool operator==(const ViewerSettings&) const = default;
};

// The fields the viewer uses: each one's name, its index in the record and its value.
struct ViewerField {
  std::string_view name;
  std::size_t index;
  ByteString ViewerSettings::*value;
};
inline constexpr ViewerField kViewerFields[] = {
    {"WindowHeight", kWindowHeightField, &ViewerSettings::WindowHeight},
    {"WindowWidth", kWindowWidthField, &ViewerSettings::WindowWidth},
    {"StartPage", kStartPageField, &ViewerSettings::StartPage},
    {"WindowTitle", kWindowTitleField, &ViewerSettings::WindowTitle},
    {"BorderMode", kBorderModeField, &ViewerSettings::BorderMode},
};

enum class LoadStatus {
  kSuccess,
  kReadFailure,      // cannot open or read the file, or cannot decode or split its line
  kWrongFieldCount,  // the line did not give exactly kFieldCount fields
};

struct LoadOutcome {
  LoadStatus status = LoadStatus::kReadFailure;
  SettingsRecord record;  // the fields read; empty on a read failure
  ViewerSettings viewer;  // filled on success only
  std::string cause;  // on a read failure, what went wrong (for tools; never shown by the viewer)

  bool ok() const { return status == LoadStatus::kSuccess; }
};

// The text the reader is shown for a failed load: "Config file error." or "File Error.".
const char* FailureMessage(LoadStatus status);

// Splits `text` at every `separator`: k separators give k+1 fields, an empty text none. In a
// double-byte ANSI code page the text is walked by character, so that a trail byte equal to the
// separator splits nothing.
std::vector<ByteString> SplitFields(std::string_view text, char separator);

// The plain text of a file's first line, decoded as it is read. The line ends at LF, at CR LF,
// at a 0x1A byte (which also ends the file) or at the end of the file; a CR not followed by LF
// is dropped. Nothing after the line is read, and nothing after its first bad pair: the memory
// taken is that of the plain text before it and one read. Throws ConversionError, what the file
// throws, and std::bad_alloc.
ByteString ReadDecodedFirstLine(platform::InputFile& file);

// The directory part of a program file's path, ending in a separator.
platform::Path ProgramDirectory(const platform::Path& program_path);

// `directory` + "Vellum.ini"; a separator is appended to a directory that lacks one.
platform::Path SettingsFilePath(const platform::Path& directory);

// The viewer's values from a record of kFieldCount fields; an empty WindowWidth becomes "0".
ViewerSettings TakeViewerSettings(const SettingsRecord& record);

// Reads, decodes, splits and validates the settings file at `path`. Never throws.
LoadOutcome LoadSettingsFile(const platform::Path& path) noexcept;

// The same, from a settings file the caller has opened. Never throws.
LoadOutcome LoadSettingsFrom(platform::InputFile& file) noexcept;

// Loads "Vellum.ini" from the program directory. Never throws.
LoadOutcome LoadSettings(const platform::Path& program_directory) noexcept;

}  // namespace vellum::settings
