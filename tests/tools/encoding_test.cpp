// SPDX-License-Identifier: MIT
#include "tools/text_encoding.h"

#include <gtest/gtest.h>

#include <string>

#include "text/text.h"
#include "tools/settings_edit.h"

namespace vellum::tools {
namespace {

TEST(TextEncoding, Windows1252StoresEveryByteAndNothingElse) {
  // Every byte read as Windows-1252 and stored again gives the same byte.
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string utf8 = text::Windows1252ToUtf8(all);
  EXPECT_TRUE(text::IsValidUtf8(utf8));
  EXPECT_EQ(TextEncoding::Windows1252().FromUtf8(utf8), all);

  EXPECT_EQ(TextEncoding::Windows1252().FromUtf8("Caf\xC3\xA9 \xE2\x82\xAC"), "Caf\xE9 \x80");
  EXPECT_EQ(text::Windows1252ToUtf8("\x93x\x94"), "\xE2\x80\x9Cx\xE2\x80\x9D");
}

TEST(TextEncoding, RefusesWhatItCannotStoreAndNamesIt) {
  struct Case {
    const char* encoding;
    std::string utf8;
    std::string message_part;
  };
  const Case cases[] = {
      {"windows-1252", "Sum \xE2\x88\x91",
       "'\xE2\x88\x91' (U+2211) cannot be stored in windows-1252"},
      {"windows-1252", "\xC2\x80", "U+0080 cannot be stored"},  // 0x80 is the euro sign
      {"windows-1252", "\xF0\x9F\x93\x96 book", "(U+1F4D6)"},
      {"iso-8859-2", "\xE2\x82\xAC", "'\xE2\x82\xAC' (U+20AC) cannot be stored in iso-8859-2"},
      {"utf-8", "bad \xC3", "not valid UTF-8 (at byte 4)"},
      {"windows-1252", "\xC0\x80", "not valid UTF-8 (at byte 0)"},      // overlong
      {"windows-1252", "\xED\xA0\x80", "not valid UTF-8 (at byte 0)"},  // a surrogate
  };
  for (const Case& c : cases) {
    try {
      const ByteString stored = TextEncoding::Named(c.encoding).FromUtf8(c.utf8);
      ADD_FAILURE() << c.encoding << " stored " << c.utf8 << " as " << stored;
    } catch (const EncodingError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message_part), std::string::npos) << e.what();
    }
  }
}

TEST(TextEncoding, OtherCodePagesAndNames) {
  EXPECT_EQ(TextEncoding::Named("UTF-8").FromUtf8("\xC5\x99"), "\xC5\x99");
  EXPECT_EQ(TextEncoding::Named("iso-8859-2").FromUtf8("\xC5\x99"), "\xF8");    // ř
  EXPECT_EQ(TextEncoding::Named("windows-1251").FromUtf8("\xD0\x96"), "\xC6");  // Ж
  EXPECT_EQ(TextEncoding::Named("CP1252").name(), "windows-1252");
  EXPECT_THROW(TextEncoding::Named("no-such-code-page"), EncodingError);
  // A name that would let the converter substitute characters is not accepted.
  EXPECT_THROW(TextEncoding::Named("windows-1252//TRANSLIT"), EncodingError);
}

TEST(DisplayText, ValidUtf8StaysAnythingElseIsWindows1252) {
  EXPECT_EQ(DisplayText("\xC3\xA9t\xC3\xA9"), "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(DisplayText("\xE9t\xE9"), "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(DisplayText(""), "");
}

TEST(SettingsEdit, WindowSizes) {
  EXPECT_EQ(ParseWindowSize("1024x768").width, 1024);
  EXPECT_EQ(ParseWindowSize("1024X768").height, 768);
  EXPECT_EQ(ParseWindowSize("32767x1").width, 32767);
  for (const char* bad : {"", "1024", "x768", "1024x", "0x768", "1024x0", "-5x5", "5x+5", "32768x1",
                          "1e3x5", "10 x 10", "99999999999x1"}) {
    EXPECT_THROW(ParseWindowSize(bad), UsageError) << bad;
  }
}

TEST(SettingsEdit, FieldAssignments) {
  EXPECT_EQ(ParseFieldAssignment("0=a=b"), (std::pair<std::size_t, std::string>{0, "a=b"}));
  EXPECT_EQ(ParseFieldAssignment("43="), (std::pair<std::size_t, std::string>{43, ""}));
  for (const char* bad : {"44=x", "-1=x", "x=1", "=1", "7"}) {
    EXPECT_THROW(ParseFieldAssignment(bad), UsageError) << bad;
  }
}

TEST(SettingsEdit, WhatFollowsTheFirstLine) {
  EXPECT_EQ(AfterFirstLine("ABCD"), "");
  EXPECT_EQ(AfterFirstLine("ABCD\r\n"), "\r\n");
  EXPECT_EQ(AfterFirstLine("AB\rCD\nnotes\n"), "\nnotes\n");  // a lone CR is part of the line
  EXPECT_EQ(AfterFirstLine("ABCD\r\nnotes"), "\r\nnotes");
  EXPECT_EQ(AfterFirstLine("AB\x1a\x43"), "\x1a\x43");
}

}  // namespace
}  // namespace vellum::tools
