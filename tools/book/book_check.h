// SPDX-License-Identifier: MIT
// The book check: every page reachable from the start page, and everything each page refers to.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace vellum::tools::book {

enum class Severity { kError, kWarning, kNote };

// Names are kept as the disk and the page give them, any bytes; FindingLine and JsonText make
// them safe to print.
struct Finding {
  std::string file;  // relative to the book's folder, "/" between names
  int line = 0;      // 0: the file as a whole
  Severity severity = Severity::kError;
  std::string reference;  // as written; empty for a finding about the file itself
  std::string message;    // what is wrong, the reference included
};

struct BookOptions {
  bool windows = true;     // the book is also delivered for Windows (document mode warnings)
  bool unreached = false;  // note the files no reachable page refers to
  unsigned threads = 0;    // pages read at once; 0: one for each processor, at most 2
  std::vector<std::string> ignored;  // files never noted as unreached (the settings, the viewer)
};

struct BookReport {
  std::vector<Finding> findings;  // sorted by file, then line, then the order of the page
  std::size_t pages = 0;
  std::size_t stylesheets = 0;
  std::size_t other_files = 0;
  std::size_t errors = 0;
  std::size_t warnings = 0;
  std::size_t notes = 0;
};

// Walks the book in the folder `root` (ending in a separator) from the page at `start_page`, a
// path inside it. Files are only read. A file that cannot be read, or is larger than 64 MiB, is a
// finding, never an exception; each file and folder is visited once, whichever links lead to it.
// One book gives one report, with any number of threads.
BookReport CheckBook(const platform::Path& root, const platform::Path& start_page,
                     const BookOptions& options);

const char* SeverityName(Severity severity);

// "chapter-2.html:14: error: images/Plate.png not found (...)", the one text a finding is shown
// as: control characters, bidirectional overrides and bytes that are not UTF-8 escaped
// (text::EscapeControls).
std::string FindingLine(const Finding& finding);

// A name or message as JSON can carry it: the text itself when it is UTF-8; otherwise each byte
// that is not part of a UTF-8 character, and each backslash, written \xNN, and `escaped` set.
std::string JsonText(std::string_view bytes, bool& escaped);

// "12 pages, 1 stylesheet, 9 other files: no errors, 2 warnings".
std::string SummaryText(const BookReport& report);

}  // namespace vellum::tools::book
