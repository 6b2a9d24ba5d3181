// SPDX-License-Identifier: MIT
// What a page or a stylesheet refers to, read with an HTML5 parser (pages) or the CSS scanner.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellum::tools::book {

// How a reference is used, which decides what is followed and what the web may serve.
enum class Use {
  kLink,        // a, area, meta refresh and link relations that fetch nothing: followed
  kFrame,       // iframe, frame: a page shown inside the page
  kStylesheet,  // link rel=stylesheet, @import: walked as a stylesheet
  kResource,    // pictures, media, scripts, fonts, icons, objects
};

struct Reference {
  std::string url;  // as written (character references decoded)
  int line = 0;
  Use use = Use::kLink;
};

struct Scan {
  std::vector<Reference> references;
  std::vector<std::string> anchors;  // id of any element, name of a and map elements
  bool edge_mode = false;            // a meta X-UA-Compatible asks for IE=edge
  // The href of the first base element that has one, which every later reference is relative
  // to: references[base_from] onwards.
  std::optional<Reference> base;
  std::size_t base_from = 0;
  std::string unknown_charset;  // a charset the page declares that is read as Windows-1252 here
  bool too_deep = false;        // nested deeper than kDeepestNesting: not parsed
};

// How many elements inside each other a page may have to be read. Browsers stop nesting at a
// few hundred; the parser needs seconds for ten thousand, and hours for a million.
inline constexpr std::size_t kDeepestNesting = 10000;

// The references of an HTML page, its bytes read as a browser reads them (page_text.h). The
// parsed tree is gone when this returns.
Scan ScanPage(std::string_view bytes);

// The references of a stylesheet file.
Scan ScanStylesheet(std::string_view css);

}  // namespace vellum::tools::book
