// SPDX-License-Identifier: MIT
#include "tests/test_support.h"

#include <fstream>
#include <random>
#include <stdexcept>

#include "platform/platform.h"

namespace vellum::testing {

TempDir::TempDir() {
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto candidate = base / ("vellum-test-" + std::to_string(random()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder in " + base.string());
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::dir() const {
  return platform::Path::Native(path_.native()).ToBytes() + platform::PathSeparator();
}

std::string TempDir::Write(const std::string& name, const std::string& bytes) const {
  const std::string file = dir() + name;
  std::ofstream out(std::filesystem::path(platform::Path(file).native()),
                    std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file);
  return file;
}

}  // namespace vellum::testing
