// SPDX-License-Identifier: MIT
#include "settings/settings.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/test_support.h"

namespace vellum::settings {
namespace {

using namespace std::string_literals;
using testing::Fields;
using testing::Join;
using testing::SettingsLine;
using testing::TempDir;

TEST(SplitFields, SeparatorsGiveOneFieldMoreThanTheirCount) {
  struct Case {
    std::string text;
    std::vector<std::string> fields;
  };
  const Case cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"`", {"", ""}},
      {"a`b", {"a", "b"}},
      {"``", {"", "", ""}},
      {"`a", {"", "a"}},
      {"a`", {"a", ""}},
      {"a``b", {"a", "", "b"}},
      {"\0`\0\0"s, {"\0"s, "\0\0"s}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitFields(c.text, '`'), c.fields) << c.text;
}

TEST(SettingsPaths, ProgramDirectoryKeepsItsSeparator) {
  EXPECT_EQ(ProgramDirectory("/opt/book/vellum"), "/opt/book/");
  EXPECT_EQ(ProgramDirectory("/vellum"), "/");
  EXPECT_EQ(ProgramDirectory("C:\\Book\\Vellum.exe"), "C:\\Book\\");
  EXPECT_EQ(SettingsFilePath("/opt/book/"), "/opt/book/Vellum.ini");
  EXPECT_EQ(SettingsFilePath("C:\\Book\\"), "C:\\Book\\Vellum.ini");
  EXPECT_EQ(SettingsFilePath("/opt/book"), "/opt/book"s + platform::PathSeparator() + "Vellum.ini");
}

TEST(FailureMessage, ExactTexts) {
  EXPECT_STREQ(FailureMessage(LoadStatus::kReadFailure), "Config file error.");
  EXPECT_STREQ(FailureMessage(LoadStatus::kWrongFieldCount), "File Error.");
}

// The settings file's bytes, as a publisher's tools might have written them.
struct FileCase {
  const char* name;
  std::string bytes;
  LoadStatus status;
};

const std::string kLine = SettingsLine(Fields("600", "800", "book/index.html", "A Book", "0"));

std::vector<FileCase> FileCases() {
  const std::string with_cr = kLine.substr(0, 5) + "\r" + kLine.substr(5);
  const std::string fields42 = SettingsLine(std::vector<std::string>(43, "x"));
  const std::string fields45 = SettingsLine(std::vector<std::string>(45, "x"));
  const std::string space_in_pair = kLine.substr(0, 4) + " " + kLine.substr(5);
  const std::string bad_digit = kLine.substr(0, 6) + "G" + kLine.substr(7);
  return {
      {"just the line", kLine, LoadStatus::kSuccess},
      {"LF then anything", kLine + "\nnot hex at all\n", LoadStatus::kSuccess},
      {"CR LF", kLine + "\r\nzz", LoadStatus::kSuccess},
      {"lone CR inside a pair is dropped", with_cr, LoadStatus::kSuccess},
      {"CR at the very end", kLine + "\r", LoadStatus::kSuccess},
      {"0x1A ends the file", kLine + "\x1a" + "zz\nzz", LoadStatus::kSuccess},
      {"odd last character", kLine + "Z", LoadStatus::kSuccess},
      {"odd trailing space", kLine + " ", LoadStatus::kSuccess},
      {"empty file", "", LoadStatus::kWrongFieldCount},
      {"empty first line", "\n" + kLine, LoadStatus::kWrongFieldCount},
      {"0x1A first", "\x1a" + kLine, LoadStatus::kWrongFieldCount},
      {"43 fields", fields42, LoadStatus::kWrongFieldCount},
      {"45 fields", fields45, LoadStatus::kWrongFieldCount},
      {"plain text", "hello world", LoadStatus::kReadFailure},
      {"space in a pair", space_in_pair, LoadStatus::kReadFailure},
      {"bad digit", bad_digit, LoadStatus::kReadFailure},
      {"two trailing spaces", kLine + "  ", LoadStatus::kReadFailure},
      {"leading space", " " + kLine, LoadStatus::kReadFailure},
  };
}

TEST(LoadSettings, FirstLineRulesOnRealFiles) {
  for (const auto& c : FileCases()) {
    TempDir dir;
    dir.Write("Vellum.ini", c.bytes);
    const LoadOutcome outcome = LoadSettings(dir.dir());
    EXPECT_EQ(outcome.status, c.status) << c.name << ": " << outcome.cause;
    if (c.status == LoadStatus::kSuccess) {
      EXPECT_EQ(outcome.record.size(), kFieldCount) << c.name;
      EXPECT_EQ(outcome.viewer, (ViewerSettings{"600", "800", "book/index.html", "A Book", "0"}))
          << c.name;
    } else {
      EXPECT_EQ(outcome.viewer, ViewerSettings{}) << c.name;
    }
    if (c.status == LoadStatus::kReadFailure) {
      EXPECT_TRUE(outcome.record.empty()) << c.name;
    }
  }
}

TEST(LoadSettings, TakesTheFiveValuesByIndexAndDefaultsOnlyTheWidth) {
  struct Case {
    std::vector<std::string> fields;
    ViewerSettings expected;
  };
  std::vector<std::string> all_set(kFieldCount);
  for (std::size_t i = 0; i < kFieldCount; ++i) all_set[i] = "f" + std::to_string(i);
  const Case cases[] = {
      {all_set, {"f1", "f2", "f6", "f41", "f42"}},
      {Fields("", "", "", "", ""), {"", "0", "", "", ""}},
      {Fields("480", "", "p.html", "T", "1"), {"480", "0", "p.html", "T", "1"}},
      {Fields("", "640", "p.html", "T", ""), {"", "640", "p.html", "T", ""}},
      {Fields(" 7", "$1F", "a b/ü.html", "\x93Quoted\x94", "00"),
       {" 7", "$1F", "a b/ü.html", "\x93Quoted\x94", "00"}},
  };
  for (const auto& c : cases) {
    TempDir dir;
    dir.Write("Vellum.ini", SettingsLine(c.fields) + "\r\n");
    const LoadOutcome outcome = LoadSettings(dir.dir());
    ASSERT_EQ(outcome.status, LoadStatus::kSuccess) << outcome.cause;
    EXPECT_EQ(outcome.viewer, c.expected) << Join(c.fields);
    EXPECT_EQ(outcome.record, c.fields);  // the record itself is never defaulted
  }
}

TEST(LoadSettings, FieldsHoldAnyByteButTheSeparator) {
  std::vector<std::string> fields(kFieldCount);
  fields[0] = "\0\r\n\x1a\xff"s;  // scrambled, so they cannot end the line
  fields[41] = "Title\0with NUL"s;
  TempDir dir;
  dir.Write("Vellum.ini", SettingsLine(fields));
  const LoadOutcome outcome = LoadSettings(dir.dir());
  ASSERT_EQ(outcome.status, LoadStatus::kSuccess) << outcome.cause;
  EXPECT_EQ(outcome.record, fields);
  EXPECT_EQ(outcome.viewer.WindowTitle, fields[41]);
}

TEST(LoadSettings, MissingOrUnreadableFileIsAReadFailure) {
  TempDir dir;
  EXPECT_EQ(LoadSettings(dir.dir()).status, LoadStatus::kReadFailure);
  EXPECT_EQ(LoadSettings(dir.dir() + "no such folder/").status, LoadStatus::kReadFailure);
  std::filesystem::create_directory(dir.path() / "Vellum.ini");
  EXPECT_EQ(LoadSettings(dir.dir()).status, LoadStatus::kReadFailure);
}

TEST(LoadSettings, ProgramDirectoryWithoutSeparatorStillFindsTheFile) {
  TempDir dir;
  dir.Write("Vellum.ini", kLine);
  EXPECT_EQ(LoadSettings(dir.path().string()).status, LoadStatus::kSuccess);
}

// A writer that locks the file for writing keeps the viewer out, as a share mode would.
TEST(LoadSettings, FileLockedForWritingIsAReadFailure) {
  TempDir dir;
  const std::string path = dir.Write("Vellum.ini", kLine);
  const int fd = ::open(path.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  ASSERT_EQ(::fcntl(fd, F_OFD_SETLK, &lock), 0);
  EXPECT_EQ(LoadSettings(dir.dir()).status, LoadStatus::kReadFailure);
  ::close(fd);
  EXPECT_EQ(LoadSettings(dir.dir()).status, LoadStatus::kSuccess);
}

// What follows the first line is never read, however much of it there is: a huge file with a
// short first line loads as well as a small one.
TEST(LoadSettings, HugeFileWithAShortFirstLine) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer ends the process where the allocator would throw";
#endif
  TempDir dir;
  const std::string path = dir.Write("Vellum.ini", kLine + "\r\n");
  // Sparse: takes no disk space, but its size is far beyond any machine's memory.
  if (::truncate(path.c_str(), off_t{1} << 42) != 0) GTEST_SKIP() << "no sparse files here";
  const LoadOutcome outcome = LoadSettings(dir.dir());
  EXPECT_EQ(outcome.status, LoadStatus::kSuccess) << outcome.cause;
}

// Lines longer than one read: the line breaks and lone CRs must be found across chunk ends.
TEST(LoadSettings, LongLinesAcrossReadChunks) {
  constexpr std::size_t kChunk = 1 << 20;
  std::vector<std::string> fields(kFieldCount);
  fields[41] = std::string(kChunk, 'T');  // the line is about 2 MiB
  const std::string line = SettingsLine(fields);
  struct Case {
    const char* name;
    std::string bytes;
    LoadStatus status;
  };
  const Case cases[] = {
      {"CR LF split over two reads", line.substr(0, kChunk - 1) + "\r\n" + line.substr(kChunk - 1),
       LoadStatus::kWrongFieldCount},
      {"lone CR at a chunk end", line.substr(0, kChunk - 1) + "\r" + line.substr(kChunk - 1),
       LoadStatus::kSuccess},
      {"whole line, then LF", line + "\nzz", LoadStatus::kSuccess},
      {"0x1A after the first chunk", line.substr(0, kChunk + 2) + "\x1a" + line,
       LoadStatus::kWrongFieldCount},
  };
  for (const auto& c : cases) {
    TempDir dir;
    dir.Write("Vellum.ini", c.bytes);
    const LoadOutcome outcome = LoadSettings(dir.dir());
    EXPECT_EQ(outcome.status, c.status) << c.name << ": " << outcome.cause;
    if (outcome.ok()) {
      EXPECT_EQ(outcome.record, fields) << c.name;
    }
  }
}

}  // namespace
}  // namespace vellum::settings
