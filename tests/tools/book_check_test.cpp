// SPDX-License-Identifier: MIT
// The book check on two fixture books: one with a planted fault of each kind, and its clean twin.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/settings_lines.h"
#include "tests/test_support.h"
#include "tools/book/book_check.h"
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

constexpr Severity E = Severity::kError;
constexpr Severity W = Severity::kWarning;
constexpr Severity N = Severity::kNote;

TEST(BookCheck, FindsEachPlantedFault) {
  const Expected expected[] = {
      {"chapter-1.html", 5, E, "media/Poster.jpg"},  // letter case: video poster
      {"chapter-1.html", 7, E, "media/gone.swf"},    // embed
      {"frame.html", 0, W, ""},                      // IE 7 document mode
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
      {"more.css", 1, W, "https://fonts.example.com/css?family=Body"},  // @import url()
      {"style.css", 6, E, "fonts/missing.woff"},                        // @font-face
  };
  for (const unsigned threads : {1u, 2u}) {
    BookOptions options;
    options.unreached = true;
    options.threads = threads;
    const BookReport report = CheckBook(platform::Path(kFixtures + "/faulty/"),
                                        platform::Path(kFixtures + "/faulty/index.html"), options);
    ASSERT_EQ(report.findings.size(), std::size(expected)) << Describe(report.findings);
    for (std::size_t i = 0; i < std::size(expected); ++i) {
      EXPECT_TRUE(report.findings[i] == expected[i]) << i << ":\n" << Describe(report.findings);
    }
    EXPECT_EQ(report.pages, 4u);
    EXPECT_EQ(report.stylesheets, 2u);
  }
}

TEST(BookCheck, CleanTwinHasNoFindings) {
  BookOptions options;
  options.unreached = true;
  const BookReport report = CheckBook(platform::Path(kFixtures + "/clean/"),
                                      platform::Path(kFixtures + "/clean/index.html"), options);
  EXPECT_TRUE(report.findings.empty()) << Describe(report.findings);
  EXPECT_EQ(report.pages, 3u);
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
