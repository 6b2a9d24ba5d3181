// SPDX-License-Identifier: MIT
// Settings lines for tests, made with the program's own codec.
#pragma once

#include <string>
#include <vector>

namespace vellum::testing {

// 44 fields, the five the viewer uses set as given, the rest empty.
std::vector<std::string> Fields(const std::string& height, const std::string& width,
                                const std::string& start_page, const std::string& title,
                                const std::string& border);
std::string Join(const std::vector<std::string>& fields);
// A settings line: the fields joined with "`" and scrambled.
std::string SettingsLine(const std::vector<std::string>& fields);

}  // namespace vellum::testing
