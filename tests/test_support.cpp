// SPDX-License-Identifier: MIT
#include "tests/test_support.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "settings/settings.h"

namespace vellum::testing {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vellum-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Write(const std::string& name, const std::string& bytes) const {
  const auto file = path_ / name;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
  return file.string();
}

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
