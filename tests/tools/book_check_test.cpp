// SPDX-License-Identifier: MIT
// The book check on two fixture books: one with a planted fault of each kind, and its clean twin.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/settings_lines.h"
#include "tests/test_support.h"
#include "text/text.h"
#include "tools/book/book_check.h"
#include "tools/book/page_refs.h"
#include "tools/book/page_text.h"
#include "tools/cli.h"

namespace vellum::tools::book {
namespace {

const std::string kFixtures = VELLUM_BOOK_FIXTURES;

struct Expected {
  const char* file;
  int line;
  Severity severity;
  const char* reference;
};

bool operator==(const Finding& f, const Expected& e) {
  return f.file == e.file && f.line == e.line && f.severity == e.severity &&
         f.reference == e.reference;
}

std::string Describe(const std::vector<Finding>& findings) {
  std::string text;
  for (const Finding& f : findings) text += FindingLine(f) + "\n";
  return text;
}

namespace fs = std::filesystem;

// A fixture book copied into a temporary folder, with what git cannot hold everywhere added: a
// link to the book's own folder, a link to a folder outside the book, a file whose name is not
// UTF-8 and a folder named with a terminal's clear-screen sequence; in the faulty twin also a
// file named with a C1 control and a right-to-left override.
class CopiedBook {
 public:
  explicit CopiedBook(const std::string& twin, const std::string& folder = "book") {
    root_ = dir_.path() / folder;
    fs::copy(kFixtures + "/" + twin, root_, fs::copy_options::recursive);
    fs::create_directory(dir_.path() / "elsewhere");
    std::ofstream(dir_.path() / "elsewhere" / "secret.png") << "png";
    fs::create_directory_symlink(".", root_ / "self");
    fs::create_directory_symlink("../elsewhere", root_ / "outside");
    std::ofstream(root_ / "r\xE9sum\xE9.pdf") << "pdf";
    fs::create_directory(root_ / "\x1B[2J");
    fs::copy_file(root_ / "images" / "paper.png", root_ / "\x1B[2J" / "paper.png");
    if (twin == "faulty") {
      std::ofstream(root_ / "\xC2\x9B\xE2\x80\xAE.png") << "png";
      std::ofstream(root_ / "huge.html").close();
      fs::resize_file(root_ / "huge.html", (std::uintmax_t{64} << 20) + 1);  // sparse
      std::string divs;
      for (std::size_t i = 0; i <= kDeepestNesting; ++i) divs += "<div>";
      std::ofstream(root_ / "deep.html") << divs;
    }
  }
  platform::Path path() const { return platform::Path(root_.string() + "/"); }
  const fs::path& root() const { return root_; }

 private:
  testing::TempDir dir_;
  fs::path root_;
};

constexpr Severity E = Severity::kError;
constexpr Severity W = Severity::kWarning;
constexpr Severity N = Severity::kNote;

TEST(BookCheck, FindsEachPlantedFault) {
  const Expected expected[] = {
      {"\x1B[2J/paper.png", 0, N, ""},                // a folder's name clears the screen
      {"base.html", 7, E, "missing-after-base.png"},  // relative to <base href>
      {"chapter-1.html", 5, E, "media/Poster.jpg"},   // letter case: video poster
      {"chapter-1.html", 7, E, "media/gone.swf"},     // embed
      {"deep.html", 0, W, ""},                        // too deeply nested to check
      {"frame.html", 0, W, ""},                       // IE 7 document mode
      {"huge.html", 0, W, ""},                        // too large to check
      {"images/unused.png", 0, N, ""},
      {"index.html", 5, W, "https://example.com/favicon.ico"},  // icon from the web
      {"index.html", 6, W, "http://example.com/lib.js"},        // script from the web
      {"index.html", 7, E, "nothere.html"},                     // meta refresh
      {"index.html", 10, E, "images/Paper.png"},                // letter case, in <style>
      {"index.html", 14, W, "chapter-1.html#nowhere"},          // no such id
      {"index.html", 15, E, "old-chapter.html"},
      {"index.html", 16, E, "images\\paper.png"},
      {"index.html", 17, E, "C:/Books/cover.png"},
      {"index.html", 18, E, "file:///home/me/cover.png"},
      {"index.html", 19, E, "/home/me/cover.png"},
      {"index.html", 20, E, "../outside.png"},
      {"index.html", 23, E, "images/missing-2x.png"},  // srcset
      {"index.html", 24, E, "images/gone.png"},        // style attribute
      {"index.html", 26, E, "images/"},
      {"links.html", 4, E, "outside/secret.png"},  // out of the book through a link
      {"more.css", 1, W, "https://fonts.example.com/css?family=Body"},  // @import url()
      {"pictures.html", 3, E, "images/missing-body.png"},               // body background=
      {"pictures.html", 4, E, "images/missing-cell.png"},               // td background=
      {"pictures.html", 5, E, "images/missing-button.png"},             // input type=image
      {"pictures.html", 6, E, "images/missing-svg.png"},                // SVG image href
      {"pictures.html", 7, E, "images/missing-xlink.png"},              // SVG image xlink:href
      {"pictures.html", 8, E, "images/missing-sprites.svg#icon"},       // SVG use href
      {"r\xE9sum\xE9.pdf", 0, N, ""},                                   // a name that is not UTF-8
      {"style.css", 6, E, "fonts/missing.woff"},                        // @font-face
      {"\xC2\x9B\xE2\x80\xAE.png", 0, N, ""},  // a C1 control and a right-to-left override
  };
  const CopiedBook book("faulty");
  BookOptions options;
  options.unreached = true;
  const BookReport report = CheckBook(book.path(), book.path().Append("index.html"), options);
  ASSERT_EQ(report.findings.size(), std::size(expected)) << Describe(report.findings);
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_TRUE(report.findings[i] == expected[i]) << i << ":\n" << Describe(report.findings);
  }
  EXPECT_EQ(report.pages, 12u);
  EXPECT_EQ(report.stylesheets, 2u);
}

TEST(BookCheck, CleanTwinHasNoFindings) {
  const CopiedBook book("clean");
  BookOptions options;
  options.unreached = true;
  const BookReport report = CheckBook(book.path(), book.path().Append("index.html"), options);
  EXPECT_TRUE(report.findings.empty()) << Describe(report.findings);
  EXPECT_EQ(report.pages, 9u);
}

// Workers finish in any order; the report does not show it.
TEST(BookCheck, OneReportWhateverTheThreads) {
  const CopiedBook book("faulty");
  BookOptions options;
  options.unreached = true;
  const std::string first =
      Describe(CheckBook(book.path(), book.path().Append("index.html"), options).findings);
  for (int run = 0; run < 20; ++run) {
    for (const unsigned threads : {1u, 2u}) {
      options.threads = threads;
      ASSERT_EQ(
          Describe(CheckBook(book.path(), book.path().Append("index.html"), options).findings),
          first)
          << "run " << run << ", " << threads << " threads";
    }
  }
}

// The encoding a page is read in, found as browsers find it.
TEST(BookCheck, ReadsAPageInTheCharsetABrowserWould) {
  constexpr PageEncoding U = PageEncoding::kUtf8;
  constexpr PageEncoding W1252 = PageEncoding::kWindows1252;
  const struct {
    std::string bytes;
    PageEncoding encoding;
    bool unknown;
  } cases[] = {
      {"<p>caf\xE9", W1252, false},  // nothing declared
      {"<meta charset=utf-8>", U, false},
      {"<META CHARSET=\"Windows-1252\">", W1252, false},
      {"<meta http-equiv=Content-Type content='text/html; charset=utf-8'>", U, false},
      {"<meta content='text/html; charset=utf-8'>", W1252, false},  // no http-equiv
      {"<!-- <meta charset=utf-8> --><p>", W1252, false},
      {"<meta charset=latin1>", W1252, false},
      {"<meta charset=utf-16>", U, false},  // an ASCII page cannot be UTF-16
      {"<meta charset=shift_jis>", W1252, true},
      {std::string(1024, ' ') + "<meta charset=utf-8>", W1252, false},  // past the prescan
      {"\xEF\xBB\xBF<meta charset=windows-1252>", U, false},            // the BOM wins
      {std::string("\xFF\xFE<\0p\0>\0", 8), PageEncoding::kUtf16Le, false},
  };
  for (const auto& c : cases) {
    const PageCharset charset = FindCharset(c.bytes);
    EXPECT_EQ(charset.encoding, c.encoding) << c.bytes;
    EXPECT_EQ(charset.unknown, c.unknown) << c.bytes;
  }
  const std::string utf16(
      "\xFF\xFE"
      "c\0\xE9\0",
      6);
  EXPECT_EQ(PageToUtf8(utf16, FindCharset(utf16)), "c\xC3\xA9");
}

TEST(BookCheck, NamesTheFileThatExistsWhenOnlyLetterCaseDiffers) {
  const BookReport report = CheckBook(platform::Path(kFixtures + "/faulty/"),
                                      platform::Path(kFixtures + "/faulty/index.html"), {});
  EXPECT_NE(Describe(report.findings)
                .find("index.html:10: error: images/Paper.png not found (images/paper.png exists: "
                      "letter case differs)\n"),
            std::string::npos)
      << Describe(report.findings);
}

// Names that would drive a terminal are escaped wherever the command prints them, the folder's
// name in notes included; names that are not UTF-8 reach JSON as escaped text, marked so.
TEST(BookCheck, CommandOutputIsSafeForTerminalsAndJson) {
  const CopiedBook book("faulty", "\x1B[2J book");
  std::ofstream(book.root() / "Vellum.ini", std::ios::binary)
      << testing::SettingsLine(testing::Fields("0", "0", "index.html", "T", "1"));
  for (const bool as_json : {false, true}) {
    std::vector<std::string> args = {"check", book.root().string(), "--unreached"};
    if (as_json) args.push_back("--json");
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunSettingsTool(args, in, out, err), 1) << out.str() << err.str();
    const std::string text = out.str();
    EXPECT_EQ(text.find('\x1B'), std::string::npos) << text;
    if (!as_json) {
      EXPECT_NE(text.find("no viewer program in"), std::string::npos) << text;
      EXPECT_NE(text.find("\\x1B[2J book"), std::string::npos) << text;
      EXPECT_EQ(text.find("\xC2\x9B"), std::string::npos) << text;
      EXPECT_EQ(text.find("\xE2\x80\xAE"), std::string::npos) << text;
      continue;
    }
    const nlohmann::json doc = nlohmann::json::parse(text);
    int escaped = 0;
    for (const nlohmann::json& finding : doc["book"]["findings"]) {
      if (finding["escaped"] == true) {
        EXPECT_EQ(finding["file"], "r\\xE9sum\\xE9.pdf");
        ++escaped;
      }
    }
    EXPECT_EQ(escaped, 1) << text;
  }
}

// The command: exit codes, --platform, --strict, --settings-only and --json.
TEST(BookCheck, CommandExitCodesAndOutputs) {
  struct Case {
    const char* page;
    std::vector<std::string> options;
    int code;
    const char* expected;  // in the output
  };
  const char* const modern = "<meta http-equiv=X-UA-Compatible content=IE=edge><a href=x.html>";
  const char* const old = "<p>no meta</p>";
  const Case cases[] = {
      {modern, {}, 1, "index.html:1: error: x.html not found\n"},
      {modern, {"--settings-only"}, 0, "ok: "},
      {old, {}, 0, "book: 1 page, no stylesheets, no other files: no errors, 1 warning\n"},
      {old, {"--strict"}, 1, "index.html: warning: no X-UA-Compatible meta"},
      {old, {"--platform", "linux", "--strict"}, 0, "no errors, no warnings\n"},
      {old, {"--json", "--strict"}, 1, "\"severity\": \"warning\""},
  };
  for (const Case& c : cases) {
    testing::TempDir dir;
    dir.Write("index.html", c.page);
    dir.Write("Vellum.ini",
              testing::SettingsLine(testing::Fields("0", "0", "index.html", "T", "1")));
    std::vector<std::string> args = {"check", dir.path().string()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunSettingsTool(args, in, out, err), c.code) << out.str() << err.str();
    EXPECT_NE(out.str().find(c.expected), std::string::npos) << out.str();
    if (c.options == std::vector<std::string>{"--settings-only"}) {
      EXPECT_EQ(out.str().find("book:"), std::string::npos) << out.str();
    }
    if (!c.options.empty() && c.options[0] == "--json") {
      const nlohmann::json doc = nlohmann::json::parse(out.str());
      EXPECT_EQ(doc["book"]["warnings"], 1);
      EXPECT_EQ(doc["exit_code"], 1);
    }
  }
}

}  // namespace
}  // namespace vellum::tools::book
