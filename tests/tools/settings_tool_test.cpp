// SPDX-License-Identifier: MIT
// The commands of vellum-settings, on real files in temporary folders.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "tests/test_support.h"
#include "tools/cli.h"

namespace vellum::tools {
namespace {

using testing::Fields;
using testing::Join;
using testing::SettingsLine;
using testing::TempDir;

struct Result {
  int code = -1;
  std::string out;
  std::string err;
  long peak_kib = 0;  // the child program's peak resident set (RunProgram only)
};

Result Tool(const std::vector<std::string>& args, const std::string& input = "") {
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  Result result;
  result.code = RunSettingsTool(args, in, out, err);
  result.out = out.str();
  result.err = err.str();
  return result;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The record the viewer reads from a file.
settings::SettingsRecord Record(const std::string& path) {
  return settings::LoadSettingsFile(path).record;
}

bool OneLine(const std::string& text) {
  return !text.empty() && text.find('\n') == text.size() - 1;
}

// --- new, show ---------------------------------------------------------------------------------

TEST(NewAndShow, RoundTripThroughJson) {
  struct Case {
    std::vector<std::string> options;
    std::string height, width, border;
    bool maximized;
    std::string window_border;
  };
  const Case cases[] = {
      {{"--size", "1024x768"}, "768", "1024", "1", false, "resizable"},
      {{"--size", "800x600", "--fixed-border"}, "600", "800", "0", false, "fixed"},
      {{"--maximized"}, "0", "0", "1", true, "resizable"},
      {{}, "0", "0", "1", true, "resizable"},  // maximized unless told otherwise
  };
  for (const Case& c : cases) {
    TempDir dir;
    dir.Write("index.html", "<p>hi</p>");
    std::vector<std::string> args = {
        "new", dir.path().string(), "--title", "Caf\xC3\xA9 book", "--start-page", "index.html"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Result made = Tool(args);
    ASSERT_EQ(made.code, 0) << made.err;

    const Result shown = Tool({"show", "--json", "--all", dir.path().string()});
    ASSERT_EQ(shown.code, 0) << shown.err;
    const auto doc = nlohmann::json::parse(shown.out);
    EXPECT_EQ(doc["status"], "ok");
    EXPECT_EQ(doc["field_count"], 44);
    EXPECT_EQ(doc["title"], "Caf\xC3\xA9 book");
    EXPECT_EQ(doc["values"]["WindowHeight"], c.height);
    EXPECT_EQ(doc["values"]["WindowWidth"], c.width);
    EXPECT_EQ(doc["values"]["BorderMode"], c.border);
    EXPECT_EQ(doc["window"]["maximized"], c.maximized);
    EXPECT_EQ(doc["window"]["border"], c.window_border);
    if (!c.maximized) {
      EXPECT_EQ(doc["window"]["outer_height"], std::stoi(c.height));
      EXPECT_EQ(doc["window"]["outer_width"], std::stoi(c.width));
    }
    EXPECT_EQ(doc["start_page"]["path"], dir.path().string() + "/index.html");
    EXPECT_EQ(doc["start_page"]["exists"], true);
    EXPECT_TRUE(doc["problems"].empty());
    ASSERT_EQ(doc["fields"].size(), 44u);
    for (std::size_t i : {0u, 3u, 5u, 7u, 40u, 43u}) EXPECT_EQ(doc["fields"][i], "") << i;

    // Stored as Windows-1252 by default, as the viewer on either system reads it.
    EXPECT_EQ(Record(dir.path() / "Vellum.ini")[settings::kWindowTitleField], "Caf\xE9 book");
  }
}

TEST(NewAndShow, EncodingChoiceAndRefusal) {
  TempDir dir;
  const std::string file = (dir.path() / "Vellum.ini").string();
  ASSERT_EQ(
      Tool({"new", file, "--title", "\xC5\x98", "--start-page", "a.html", "--encoding", "utf-8"})
          .code,
      0);
  EXPECT_EQ(Record(file)[settings::kWindowTitleField], "\xC5\x98");

  TempDir other;
  const Result refused =
      Tool({"new", other.path().string(), "--title", "Sum \xE2\x88\x91", "--start-page", "a"});
  EXPECT_EQ(refused.code, 2);
  EXPECT_TRUE(OneLine(refused.err)) << refused.err;
  EXPECT_NE(refused.err.find("Vellum.ini: --title: '\xE2\x88\x91' (U+2211) cannot be stored"),
            std::string::npos)
      << refused.err;
  EXPECT_FALSE(std::filesystem::exists(other.path() / "Vellum.ini"));
}

TEST(NewAndShow, RefusesToOverwrite) {
  TempDir dir;
  const std::string file = (dir.path() / "Vellum.ini").string();
  ASSERT_EQ(Tool({"new", file, "--title", "One", "--start-page", "a.html"}).code, 0);
  const std::string before = ReadBytes(file);
  const Result again = Tool({"new", file, "--title", "Two", "--start-page", "b.html"});
  EXPECT_EQ(again.code, 2);
  EXPECT_TRUE(OneLine(again.err));
  EXPECT_NE(again.err.find(file + ": already exists"), std::string::npos) << again.err;
  EXPECT_EQ(ReadBytes(file), before);

  ASSERT_EQ(Tool({"new", file, "--title", "Two", "--start-page", "b.html", "--force"}).code, 0);
  EXPECT_EQ(Record(file)[settings::kWindowTitleField], "Two");
}

TEST(NewAndShow, UsageErrorsAreOneLineAndExitTwo) {
  TempDir dir;
  const std::string d = dir.path().string();
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"new", d},  // no title, no start page
      {"new", d, "--title", "T", "--start-page", "a", "--size", "big"},
      {"new", d, "--title", "T", "--start-page", "a", "--size", "10x10", "--maximized"},
      {"new", d, "--title", "a`b", "--start-page", "a"},  // the separator
      {"new", d, "--title", "T", "--start-page", "a", "--encoding", "klingon"},
      {"set", d, "--field", "44=x"},
      {"show", (dir.path() / "Other.ini").string()},  // the viewer never reads it
      {"show", (dir.path() / "missing-folder").string()},
      {"new", (dir.path() / "typo").string(), "--title", "T", "--start-page", "a"},
  };
  for (const auto& args : cases) {
    const Result r = Tool(args);
    EXPECT_EQ(r.code, 2) << ::testing::PrintToString(args);
    EXPECT_TRUE(OneLine(r.err)) << r.err;
    EXPECT_TRUE(r.err.starts_with("vellum-settings: ")) << r.err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "Vellum.ini"));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "typo"));
}

// --- check -------------------------------------------------------------------------------------

TEST(Check, ReportsWhatTheReaderMeetsWithTheViewersTexts) {
  struct Case {
    const char* name;
    std::string file_bytes;  // "" with missing = true: no file at all
    bool missing;
    std::vector<std::string> expected;  // substrings of the output, in order
  };
  const auto line = [](const std::string& h, const std::string& w, const std::string& page,
                       const std::string& border = "1") {
    return SettingsLine(Fields(h, w, page, "Book", border)) + "\r\n";
  };
  std::vector<std::string> f43 = Fields("600", "800", "index.html", "Book", "1");
  f43.pop_back();
  std::vector<std::string> f45 = Fields("600", "800", "index.html", "Book", "1");
  f45.push_back("");
  const Case cases[] = {
      {"missing file", "", true, {"message box \"vellum\": Config file error.", "No such file"}},
      {"not hexadecimal", "7DZZ\r\n", false, {"Config file error.", "offset 2"}},
      {"43 fields", SettingsLine(f43), false, {"File Error.", "43 fields found, 44 needed"}},
      {"45 fields", SettingsLine(f45), false, {"File Error.", "45 fields found"}},
      {"empty file", "", false, {"File Error.", "0 fields found"}},
      {"bad height",
       line("abc", "800", "index.html"),
       false,
       {"error report \"vellum\": 'abc' is not a valid integer value.", "field 1, WindowHeight"}},
      {"bad width",
       line("600", " 8x", "index.html"),
       false,
       {"error report \"vellum\": ' 8x' is not a valid integer value.", "field 2, WindowWidth"}},
      {"empty height",
       line("", "800", "index.html"),
       false,
       {"'' is not a valid integer value.", "field 1"}},
      {"both bad",
       line("h", "w", "index.html"),
       false,
       {"'h' is not a valid integer value.", "'w' is not a valid integer value.",
        "shown once field 1 is fixed"}},
      {"missing page",
       line("600", "800", "gone.html"),
       false,
       {"start page: ", "gone.html", "not found"}},
      {"empty page", line("600", "800", ""), false, {"start page: ", "is a folder, not a page"}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    dir.Write("index.html", "<p>hi</p>");
    if (!c.missing) dir.Write("Vellum.ini", c.file_bytes);
    const Result r = Tool({"check", dir.path().string()});
    EXPECT_EQ(r.code, 1) << c.name << "\n" << r.out << r.err;
    std::size_t at = 0;
    for (const std::string& part : c.expected) {
      const std::size_t found = r.out.find(part, at);
      EXPECT_NE(found, std::string::npos) << c.name << ": no \"" << part << "\" in\n" << r.out;
      if (found != std::string::npos) at = found;
    }
  }
}

TEST(Check, StartsCleanlyWhenTheViewerWould) {
  struct Case {
    std::string height, width, border;
    std::string window;  // as `show` describes it
  };
  const Case cases[] = {
      {"600", "800", "0", "outer size 800 x 600, fixed border"},
      {"600", "800", "", "outer size 800 x 600, resizable border"},
      {"$258", "0x320", "1", "outer size 800 x 600, resizable border"},  // hexadecimal
      {"0", "abc", "0", "maximized"},  // a "0" maximizes before anything is converted
      {"abc", "", "0", "maximized"},   // an empty width is "0"
      {" +600", "800", "1", "outer size 800 x 600, resizable border"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    dir.Write("index.html", "<p>hi</p>");
    dir.Write("Vellum.ini", SettingsLine(Fields(c.height, c.width, "index.html", "T", c.border)));
    const Result r = Tool({"check", dir.path().string()});
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("ok: "), std::string::npos) << r.out;
    const Result shown = Tool({"show", dir.path().string()});
    EXPECT_NE(shown.out.find("Window:        " + c.window + "\n"), std::string::npos) << shown.out;
  }
}

TEST(Check, StartPageNamedInWindows1252IsTheUtf8NamedFile) {
  struct Case {
    const char* on_disk;  // nullptr: no page
    int code;
    const char* seen;  // in `show`
  };
  const Case cases[] = {
      {"caf\xC3\xA9.html", 0, "caf\xC3\xA9.html (found)"},
      {nullptr, 1, "caf\xC3\xA9.html (NOT FOUND)"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    if (c.on_disk != nullptr) dir.Write(c.on_disk, "<p>hi</p>");
    dir.Write("Vellum.ini", SettingsLine(Fields("600", "800", "caf\xE9.html", "T", "1")));
    EXPECT_EQ(Tool({"check", dir.path().string()}).code, c.code);
    const Result shown = Tool({"show", dir.path().string()});
    EXPECT_NE(shown.out.find(c.seen), std::string::npos) << shown.out;
  }
}

TEST(Check, CaptionIsTheApplicationTitleOfTheViewerBesideIt) {
  TempDir dir;
  dir.Write("Vellum.exe", "MZ");
  const Result r = Tool({"check", dir.path().string()});
  EXPECT_NE(r.out.find("message box \"Vellum\": Config file error."), std::string::npos) << r.out;
}

// --- set ---------------------------------------------------------------------------------------

// Every byte value but the separator, spread over the fields the viewer does not use.
std::vector<std::string> AwkwardFields() {
  std::vector<std::string> fields = Fields("600", "800", "index.html", "Old", "1");
  std::string bytes;
  for (int b = 0; b < 256; ++b) {
    if (b != '`') bytes += static_cast<char>(b);
  }
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].empty()) fields[i] = bytes.substr((i * 7) % 200, 1 + i % 40);
  }
  fields[0] = "\xE9t\xE9 \xFF\xFE";  // not UTF-8
  fields[43] = std::string("\0\r\n\x1a", 4);
  return fields;
}

TEST(Set, KeepsEveryOtherFieldByteForByte) {
  TempDir dir;
  const std::vector<std::string> original = AwkwardFields();
  const std::string tail = "\r\nnotes the viewer never reads\n";
  const std::string file = dir.Write("Vellum.ini", SettingsLine(original) + tail);

  const Result r = Tool({"set", file, "--title", "New \xE2\x82\xAC", "--size", "1280x720",
                         "--fixed-border", "--field", "7=seven", "--field", "43="});
  ASSERT_EQ(r.code, 0) << r.err;

  std::vector<std::string> expected = original;
  expected[settings::kWindowTitleField] = "New \x80";
  expected[settings::kWindowHeightField] = "720";
  expected[settings::kWindowWidthField] = "1280";
  expected[settings::kBorderModeField] = "0";
  expected[7] = "seven";
  expected[43] = "";
  EXPECT_EQ(Record(file), expected);
  // The scrambled line is the viewer's own encoding of those fields; the rest is kept.
  EXPECT_EQ(ReadBytes(file), SettingsLine(expected) + tail);
}

TEST(Set, KeepsPermissionsAndWritesThroughAChainOfLinks) {
  TempDir dir;
  const std::string file = dir.Write("real.ini", SettingsLine(AwkwardFields()));
  ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
  const auto link = dir.path() / "Vellum.ini";
  std::filesystem::create_symlink("middle.ini", link);
  std::filesystem::create_symlink("real.ini", dir.path() / "middle.ini");
  dir.Write(".real.ini.k1ll3d", "what a killed set left");
  const Result r = Tool({"set", link.string(), "--maximized"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "Wrote " + file + " (the file the link " + link.string() + " leads to)\n");
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / "middle.ini"));
  EXPECT_EQ(Record(file)[settings::kWindowHeightField], "0");
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3)
      << "a temporary file is left";
}

TEST(Set, LeavesAnUnreadableFileAloneUnlessForced) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string reason;
    std::size_t kept_fields;  // fields of the old record kept with --force
  };
  std::vector<std::string> f43 = AwkwardFields();
  f43.pop_back();
  const Case cases[] = {
      {"not hexadecimal", "ZZZZ\r\n", "Config file error.", 0},
      {"43 fields", SettingsLine(f43), "File Error. 43 fields instead of 44", 43},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string file = dir.Write("Vellum.ini", c.bytes);
    const Result refused = Tool({"set", file, "--title", "T"});
    EXPECT_EQ(refused.code, 2) << c.name;
    EXPECT_TRUE(OneLine(refused.err)) << refused.err;
    EXPECT_NE(refused.err.find(c.reason), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("--force"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadBytes(file), c.bytes) << c.name;

    const Result forced = Tool({"set", file, "--title", "T", "--force"});
    ASSERT_EQ(forced.code, 0) << forced.err;
    const settings::LoadOutcome load = settings::LoadSettingsFile(file);
    ASSERT_TRUE(load.ok()) << c.name;
    EXPECT_EQ(load.viewer.WindowTitle, "T");
    for (std::size_t i = 0; i < c.kept_fields; ++i) {
      if (i != settings::kWindowTitleField) {
        EXPECT_EQ(load.record[i], f43[i]) << i;
      }
    }
  }
}

TEST(Set, NeedsAnExistingFileAndSomethingToChange) {
  TempDir dir;
  EXPECT_EQ(Tool({"set", dir.path().string(), "--title", "T"}).code, 2);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "Vellum.ini"));
  dir.Write("Vellum.ini", SettingsLine(AwkwardFields()));
  const Result nothing = Tool({"set", dir.path().string()});
  EXPECT_EQ(nothing.code, 2);
  EXPECT_NE(nothing.err.find("nothing to change"), std::string::npos);
  const Result twice = Tool({"set", dir.path().string(), "--title", "A", "--field", "41=B"});
  EXPECT_EQ(twice.code, 2);
  EXPECT_NE(twice.err.find("field 41 is given twice"), std::string::npos) << twice.err;
}

// --- decode, encode ----------------------------------------------------------------------------

TEST(Codec, AgreesWithTheViewersKnownLines) {
  struct Case {
    std::string scrambled;
    std::string plain;
  };
  const Case cases[] = {
      {"7DD3", "AB"},
      {"7dd3", "AB"},
      {"3C915E07D26AF8143C", std::string(9, '\0')},
      {"0000000000000000", "\x3C\x91\x5E\x07\xD2\x6A\xF8\x14"},
      {"7DD3F", "AB"},       // an odd last character is ignored
      {"7DD3\r\nZZ", "AB"},  // only the first line counts
  };
  for (const Case& c : cases) {
    const Result decoded = Tool({"decode"}, c.scrambled);
    ASSERT_EQ(decoded.code, 0) << c.scrambled;
    EXPECT_EQ(decoded.out, c.plain) << c.scrambled;
  }
  EXPECT_EQ(Tool({"encode"}, "AB").out, "7DD3\n");

  // A file written by the viewer's own encoder decodes to its fields.
  TempDir dir;
  const std::vector<std::string> fields = AwkwardFields();
  const std::string file = dir.Write("Vellum.ini", SettingsLine(fields) + "\r\n");
  const Result from_file = Tool({"decode", dir.path().string()});
  ASSERT_EQ(from_file.code, 0) << from_file.err;
  EXPECT_EQ(from_file.out, Join(fields));
}

TEST(Codec, EncodeAndDecodeAreInverses) {
  std::string plain;
  for (int i = 0; i < 1000; ++i) plain += static_cast<char>((i * 37 + i / 256) & 0xFF);
  const Result encoded = Tool({"encode"}, plain);
  ASSERT_EQ(encoded.code, 0);
  EXPECT_NE(encoded.err.find("warning: the text has"), std::string::npos);  // not 44 fields
  EXPECT_EQ(Tool({"decode"}, encoded.out).out, plain);
  EXPECT_EQ(Tool({"encode"}, Tool({"decode"}, encoded.out).out).out, encoded.out);

  // Between files: the output file is a settings file the viewer reads.
  TempDir dir;
  const std::string text = dir.Write("plain.txt", Join(AwkwardFields()));
  const std::string out = (dir.path() / "Vellum.ini").string();
  const Result to_file = Tool({"encode", text, "-o", out});
  ASSERT_EQ(to_file.code, 0) << to_file.err;
  EXPECT_TRUE(to_file.err.empty()) << to_file.err;
  EXPECT_EQ(Record(out), AwkwardFields());
  const Result refused = Tool({"encode", text, "-o", out});
  EXPECT_EQ(refused.code, 2);
  EXPECT_NE(refused.err.find("already exists"), std::string::npos);
  EXPECT_EQ(Tool({"decode", out, "-o", (dir.path() / "back.txt").string()}).code, 0);
  EXPECT_EQ(ReadBytes((dir.path() / "back.txt").string()), Join(AwkwardFields()));
}

TEST(Codec, BadLinesAreOneLineErrors) {
  const Result r = Tool({"decode"}, "7DZZ");
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err,
            "vellum-settings: standard input: not a settings line: not a hexadecimal pair at "
            "offset 2\n");
  TempDir dir;
  const Result missing = Tool({"decode", (dir.path() / "Vellum.ini").string()});
  EXPECT_EQ(missing.code, 2);
  EXPECT_TRUE(OneLine(missing.err)) << missing.err;
}

// --- the real program ---------------------------------------------------------------------------

// Runs the program as a child: with a file size limit, or as an unprivileged user when run as
// the superuser (who may write anywhere). A child still running after `seconds` is ended.
Result RunProgram(const std::vector<std::string>& args, rlim_t file_size_limit = RLIM_INFINITY,
                  bool unprivileged = false, unsigned seconds = 60) {
  TempDir capture;
  const std::string out_path = (capture.path() / "out").string();
  const std::string err_path = (capture.path() / "err").string();
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (!std::freopen(out_path.c_str(), "w", stdout) ||
        !std::freopen(err_path.c_str(), "w", stderr)) {
      ::_exit(125);
    }
    if (file_size_limit != RLIM_INFINITY) {
      rlimit limit{file_size_limit, file_size_limit};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(125);
    }
    if (unprivileged && ::geteuid() == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(125);
    }
    ::alarm(seconds);  // kept across exec
    std::vector<char*> argv = {const_cast<char*>(VELLUM_SETTINGS_PROGRAM)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(126);
  }
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  Result result;
  result.peak_kib = usage.ru_maxrss;
  result.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadBytes(out_path);
  result.err = ReadBytes(err_path);
  return result;
}

TEST(FailedWrite, AFullDiskLeavesTheOldFileIntact) {
  TempDir dir;
  const std::string file = dir.Write("Vellum.ini", SettingsLine(AwkwardFields()) + "\r\n");
  const std::string before = ReadBytes(file);
  // The new file would be far larger than the limit; the old one is smaller.
  const Result r = RunProgram({"set", file, "--title", std::string(20000, 'x')}, 8192);
  EXPECT_EQ(r.code, 2) << r.out << r.err;
  EXPECT_TRUE(OneLine(r.err)) << r.err;
  EXPECT_NE(r.err.find(file + ": cannot write"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
  EXPECT_EQ(ReadBytes(file), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1)
      << "a temporary file was left behind";
}

TEST(FailedWrite, AReadOnlyFolderLeavesTheOldFileIntact) {
  TempDir dir;
  const std::string file = dir.Write("Vellum.ini", SettingsLine(AwkwardFields()));
  const std::string before = ReadBytes(file);
  ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
  ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
  // Run as another user, the child must still reach the folder and read the file.
  const Result r = RunProgram({"set", file, "--title", "T"}, RLIM_INFINITY, true);
  ::chmod(dir.path().c_str(), 0755);
  EXPECT_EQ(r.code, 2) << r.out << r.err;
  EXPECT_TRUE(OneLine(r.err)) << r.err;
  EXPECT_NE(r.err.find("cannot create a temporary file"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
  EXPECT_EQ(ReadBytes(file), before);
}

// What is not a regular file, and a huge file of junk, are refused at once: nothing waits for a
// writer, and nothing reads on (a FIFO would block the open, /dev/zero and the sparse file hold
// gigabytes without a line end).
TEST(Program, RefusesFifosDevicesFoldersAndJunkAtOnce) {
  struct Case {
    const char* name;
    void (*make)(const std::string& path);
  };
  const Case cases[] = {
      {"FIFO", [](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }},
      {"link to /dev/zero",
       [](const std::string& path) { ASSERT_EQ(::symlink("/dev/zero", path.c_str()), 0); }},
      {"folder", [](const std::string& path) { ASSERT_EQ(::mkdir(path.c_str(), 0700), 0); }},
      {"4 GiB sparse file, first byte not hexadecimal",
       [](const std::string& path) {
         std::ofstream(path, std::ios::binary) << "z";
         ASSERT_EQ(::truncate(path.c_str(), off_t{4} << 30), 0);
       }},
  };
  constexpr long kPeakKib = 256 << 10;  // far below what reading on would take
  constexpr unsigned kSeconds = 5;      // an answer comes at once; a busy machine is slow
  for (const Case& c : cases) {
    TempDir dir;
    const std::string file = (dir.path() / "Vellum.ini").string();
    c.make(file);
    const struct {
      std::vector<std::string> args;
      int code;
      bool says_config_file_error;
    } runs[] = {{{"check", dir.path().string()}, 1, true},
                {{"show", dir.path().string()}, 0, true},
                {{"set", file, "--title", "T"}, 2, false},
                {{"decode", file}, 2, false}};
    for (const auto& run : runs) {
      const Result r = RunProgram(run.args, RLIM_INFINITY, false, kSeconds);
      const std::string label = std::string(c.name) + ", " + run.args[0];
      EXPECT_EQ(r.code, run.code) << label << "\n" << r.out << r.err;
      if (run.says_config_file_error) {
        EXPECT_NE((r.out + r.err).find("Config file error."), std::string::npos) << label << "\n"
                                                                                 << r.out << r.err;
      }
      EXPECT_LT(r.peak_kib, kPeakKib) << label;
    }
  }
}

TEST(Program, ConcurrentSetsKeepEveryChange) {
  TempDir dir;
  const std::string file = dir.Write("Vellum.ini", SettingsLine(AwkwardFields()) + "\r\n");
  constexpr int kRuns = 10;
  constexpr int kFirstField = 20;  // fields the viewer does not use
  std::vector<pid_t> children;
  for (int i = 0; i < kRuns; ++i) {
    const std::string field = std::to_string(kFirstField + i) + "=run " + std::to_string(i);
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (!std::freopen("/dev/null", "w", stdout)) ::_exit(125);
      ::alarm(60);
      ::execl(VELLUM_SETTINGS_PROGRAM, VELLUM_SETTINGS_PROGRAM, "set", file.c_str(), "--field",
              field.c_str(), static_cast<char*>(nullptr));
      ::_exit(126);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  }
  const settings::SettingsRecord record = Record(file);
  ASSERT_EQ(record.size(), settings::kFieldCount);
  for (int i = 0; i < kRuns; ++i) {
    EXPECT_EQ(record[kFirstField + i], "run " + std::to_string(i)) << "a change was lost";
  }
}

TEST(Program, ExitCodesAndHelp) {
  EXPECT_EQ(RunProgram({"--help"}).code, 0);
  EXPECT_NE(RunProgram({"new", "--help"}).out.find("--start-page"), std::string::npos);
  EXPECT_EQ(RunProgram({"bogus"}).code, 2);
  TempDir dir;
  EXPECT_EQ(RunProgram({"check", dir.path().string()}).code, 1);
}

}  // namespace
}  // namespace vellum::tools
