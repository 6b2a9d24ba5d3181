// SPDX-License-Identifier: MIT
#include "tests/settings_lines.h"

#include "settings/settings.h"

namespace vellum::testing {

std::vector<std::string> Fields(const std::string& height, const std::string& width,
                                const std::string& start_page, const std::string& title,
                                const std::string& border) {
  std::vector<std::string> fields(settings::kFieldCount);
  fields[settings::kWindowHeightField] = height;
  fields[settings::kWindowWidthField] = width;
  fields[settings::kStartPageField] = start_page;
  fields[settings::kWindowTitleField] = title;
  fields[settings::kBorderModeField] = border;
  return fields;
}

std::string Join(const std::vector<std::string>& fields) {
  std::string text;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) text += settings::kFieldSeparator;
    text += fields[i];
  }
  return text;
}

std::string SettingsLine(const std::vector<std::string>& fields) {
  return settings::EncodeScrambledHex(Join(fields));
}

}  // namespace vellum::testing
