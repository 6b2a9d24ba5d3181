// SPDX-License-Identifier: MIT
// The stylesheet scanner of the book check, on any bytes. Each reference must lie on a line the
// text has, hold no line break and be no longer than the text; the same text scanned from
// another first line gives the same references, moved by as many lines. Any mismatch aborts, as
// does any crash or sanitizer report.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "tools/book/css_refs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using vellum::tools::book::CssReference;
  const std::string_view css(reinterpret_cast<const char*>(data), size);
  int lines = 1;
  for (const char c : css) lines += c == '\n';
  std::vector<CssReference> first;
  std::vector<CssReference> moved;
  vellum::tools::book::ScanCss(css, 1, first);
  vellum::tools::book::ScanCss(css, 101, moved);
  if (first.size() != moved.size()) std::abort();
  for (std::size_t i = 0; i < first.size(); ++i) {
    const CssReference& ref = first[i];
    if (ref.line < 1 || ref.line > lines) std::abort();
    if (ref.url.size() > size || ref.url.find('\n') != std::string_view::npos) std::abort();
    if (moved[i].url != ref.url || moved[i].line != ref.line + 100) std::abort();
  }
  return 0;
}
