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

}  // namespace vellum::testing
