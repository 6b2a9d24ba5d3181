// SPDX-License-Identifier: MIT
#include "tools/settings_edit.h"

#include <charconv>

#include "platform/platform.h"

namespace vellum::tools {

namespace {

using settings::kFieldCount;

std::optional<long> ParseDecimal(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

WindowSize ParseWindowSize(std::string_view text) {
  const std::size_t x = text.find_first_of("xX");
  const std::string shown = "'" + std::string(text) + "'";
  if (x == std::string_view::npos) {
    throw UsageError("--size: " + shown + " is not WIDTHxHEIGHT, e.g. 1024x768");
  }
  const std::optional<long> width = ParseDecimal(text.substr(0, x));
  const std::optional<long> height = ParseDecimal(text.substr(x + 1));
  if (!width || !height) {
    throw UsageError("--size: " + shown + " is not WIDTHxHEIGHT, e.g. 1024x768");
  }
  constexpr long kMax = platform::Window::kMaxOuterSize;
  if (*width < 1 || *height < 1 || *width > kMax || *height > kMax) {
    throw UsageError("--size: " + shown + ": width and height must be 1 to " +
                     std::to_string(kMax) + " (use --maximized for a maximized window)");
  }
  return {static_cast<int>(*width), static_cast<int>(*height)};
}

std::pair<std::size_t, std::string> ParseFieldAssignment(std::string_view text) {
  const std::size_t equals = text.find('=');
  const std::optional<long> index =
      equals == std::string_view::npos ? std::nullopt : ParseDecimal(text.substr(0, equals));
  if (!index) {
    throw UsageError("--field: '" + std::string(text) + "' is not N=VALUE");
  }
  if (*index < 0 || static_cast<std::size_t>(*index) >= kFieldCount) {
    throw UsageError("--field: field " + std::to_string(*index) + " does not exist (0 to " +
                     std::to_string(kFieldCount - 1) + ")");
  }
  return {static_cast<std::size_t>(*index), std::string(text.substr(equals + 1))};
}

settings::SettingsRecord EmptyRecord() { return settings::SettingsRecord(kFieldCount); }

settings::SettingsRecord ApplyChanges(settings::SettingsRecord record,
                                      const SettingsChanges& changes,
                                      const TextEncoding& encoding) {
  std::vector<bool> set(kFieldCount, false);
  const auto put = [&](std::size_t index, const std::string& option, ByteString bytes) {
    if (set[index]) {
      throw UsageError(option + ": field " + std::to_string(index) + " is given twice");
    }
    if (bytes.find(settings::kFieldSeparator) != ByteString::npos) {
      throw UsageError(option + ": a value cannot hold '`', which separates the fields");
    }
    set[index] = true;
    record.at(index) = std::move(bytes);
  };
  const auto encode = [&](const std::string& option, const std::string& utf8) {
    try {
      return encoding.FromUtf8(utf8);
    } catch (const EncodingError& e) {
      throw EncodingError(option + ": " + e.what());
    }
  };

  if (changes.title) {
    put(settings::kWindowTitleField, "--title", encode("--title", *changes.title));
  }
  if (changes.start_page) {
    put(settings::kStartPageField, "--start-page", encode("--start-page", *changes.start_page));
  }
  if (changes.window == WindowMode::kSized) {
    put(settings::kWindowHeightField, "--size", std::to_string(changes.size.height));
    put(settings::kWindowWidthField, "--size", std::to_string(changes.size.width));
  } else if (changes.window == WindowMode::kMaximized) {
    // Either "0" maximizes; both say it plainly.
    put(settings::kWindowHeightField, "--maximized", "0");
    put(settings::kWindowWidthField, "--maximized", "0");
  }
  if (changes.border != BorderChoice::kUnchanged) {
    const bool fixed = changes.border == BorderChoice::kFixed;
    put(settings::kBorderModeField, fixed ? "--fixed-border" : "--resizable", fixed ? "0" : "1");
  }
  for (const auto& [index, value] : changes.fields) {
    const std::string option = "--field " + std::to_string(index);
    put(index, option, encode(option, value));
  }
  return record;
}

ByteString JoinFields(const settings::SettingsRecord& record) {
  ByteString text;
  for (std::size_t i = 0; i < record.size(); ++i) {
    if (i > 0) text += settings::kFieldSeparator;
    text += record[i];
  }
  return text;
}

ByteString AfterFirstLine(std::string_view file_bytes) {
  const std::size_t end = file_bytes.find_first_of("\n\x1a");
  if (end == std::string_view::npos) return {};
  std::size_t start = end;
  if (file_bytes[end] == '\n' && end > 0 && file_bytes[end - 1] == '\r') start = end - 1;
  return ByteString(file_bytes.substr(start));
}

std::string_view ViewerFieldName(std::size_t index) {
  for (const settings::ViewerField& field : settings::kViewerFields) {
    if (field.index == index) return field.name;
  }
  return {};
}

}  // namespace vellum::tools
