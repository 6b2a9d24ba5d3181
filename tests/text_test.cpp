// SPDX-License-Identifier: MIT
#include "text/text.h"

#include <gtest/gtest.h>

#include <string>

namespace vellum::text {
namespace {

using namespace std::string_literals;

TEST(DisplayText, KeepsUtf8AndReadsAnythingElseAsWindows1252) {
  struct Case {
    std::string bytes;
    std::string shown;
  };
  const Case cases[] = {
      {"", ""},
      {"Book", "Book"},
      {"\xC3\x9C"
       "bung \xE2\x82\xAC",
       "\xC3\x9C"
       "bung \xE2\x82\xAC"},                                                 // valid UTF-8 stays
      {"\xF0\x9F\x93\x96", "\xF0\x9F\x93\x96"},                              // four bytes
      {"Caf\xE9", "Caf\xC3\xA9"},                                            // Latin-1 range
      {"\x80\x99\x9F", "\xE2\x82\xAC\xE2\x84\xA2\xC5\xB8"},                  // 0x80..0x9F table
      {"\x81\x8D\x8F\x90\x9D", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},  // unassigned bytes
      {"\xC3\x9C\xE9", "\xC3\x83\xC5\x93\xC3\xA9"},      // one bad byte: the whole text is 1252
      {"\xC0\x80", "\xC3\x80\xE2\x82\xAC"},              // overlong form is not UTF-8
      {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},  // nor is a surrogate
      {"\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC"},  // nor above U+10FFFF
      {"\xE2\x82", "\xC3\xA2\xE2\x80\x9A"},                              // cut short
      {"ab\0cd"s, "ab"},                                                 // ends at a zero byte
      {"\xE9\0\xC3\x9C"s, "\xC3\xA9"},
  };
  for (const auto& c : cases) EXPECT_EQ(DisplayText(c.bytes), c.shown) << c.bytes;
}

}  // namespace
}  // namespace vellum::text
