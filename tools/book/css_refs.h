// SPDX-License-Identifier: MIT
// The references in a stylesheet: url() and @import, with comments and strings skipped over.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vellum::tools::book {

struct CssReference {
  std::string url;  // as written, quotes taken off; escapes left as they are
  int line = 0;     // 1-based, counted from `first_line`
  bool import = false;
};

// Appends the references of `css` to `out`. `first_line` is the line `css` starts on (a
// <style> element or style attribute starts somewhere in its page).
void ScanCss(std::string_view css, int first_line, std::vector<CssReference>& out);

}  // namespace vellum::tools::book
