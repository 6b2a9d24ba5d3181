// SPDX-License-Identifier: MIT
// Making and changing settings records: the named values a publisher sets, any field by index,
// and the bytes of the file that holds them.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "settings/settings.h"
#include "tools/text_encoding.h"

namespace vellum::tools {

// A command-line value that cannot be used. what() is one line.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An outer window size in pixels.
struct WindowSize {
  int width = 0;
  int height = 0;
};

// "WIDTHxHEIGHT", each 1 to the largest outer size a window may have. Throws UsageError.
WindowSize ParseWindowSize(std::string_view text);

enum class WindowMode { kUnchanged, kSized, kMaximized };
enum class BorderChoice { kUnchanged, kFixed, kResizable };

// What to change. Texts are UTF-8, as typed on the command line.
struct SettingsChanges {
  std::optional<std::string> title;
  std::optional<std::string> start_page;
  WindowMode window = WindowMode::kUnchanged;
  WindowSize size;  // with kSized
  BorderChoice border = BorderChoice::kUnchanged;
  std::vector<std::pair<std::size_t, std::string>> fields;  // index, value
};

// "N=VALUE" with N a field index. Throws UsageError.
std::pair<std::size_t, std::string> ParseFieldAssignment(std::string_view text);

// A record of kFieldCount empty fields.
settings::SettingsRecord EmptyRecord();

// Applies `changes` to a record of kFieldCount fields, every value stored in `encoding`. Fields
// that are not named keep their bytes. Throws UsageError (a field given twice, a value that
// holds the separator) and EncodingError (naming the option and the character).
settings::SettingsRecord ApplyChanges(settings::SettingsRecord record,
                                      const SettingsChanges& changes, const TextEncoding& encoding);

// The fields joined with the separator: the plain text of a settings line.
ByteString JoinFields(const settings::SettingsRecord& record);

// The line break of a new settings file.
inline constexpr char kLineBreak[] = "\r\n";

// What follows the first line of a file's bytes, line break included, as the viewer finds the
// line's end; empty when the file is one line without a break.
ByteString AfterFirstLine(std::string_view file_bytes);

// The name of a field the viewer uses ("WindowTitle"), or an empty view.
std::string_view ViewerFieldName(std::size_t index);

}  // namespace vellum::tools
