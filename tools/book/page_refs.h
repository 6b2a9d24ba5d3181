// SPDX-License-Identifier: MIT
// What a page or a stylesheet refers to, read with an HTML5 parser (pages) or the CSS scanner.
#pragma once

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
};

// The references of an HTML page. The parsed tree is gone when this returns.
Scan ScanPage(std::string_view html);

// The references of a stylesheet file.
Scan ScanStylesheet(std::string_view css);

}  // namespace vellum::tools::book
