// SPDX-License-Identifier: MIT
// A page's bytes through the book check's decoding and reference extraction. The text handed to
// the parser is UTF-8 whatever the bytes; each reference lies on a line of that text; and the
// text, marked as UTF-8 by a byte order mark, gives the same references and anchors as the bytes
// did. Any mismatch aborts, as does any crash or sanitizer report.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "text/text.h"
#include "tools/book/page_refs.h"
#include "tools/book/page_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace book = vellum::tools::book;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string utf8 = book::PageToUtf8(bytes, book::FindCharset(bytes));
  if (!vellum::text::IsValidUtf8(utf8)) std::abort();
  int lines = 1;  // a line ends at LF, CR LF or CR alone, as the parser counts them
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    lines += utf8[i] == '\n' || (utf8[i] == '\r' && (i + 1 == utf8.size() || utf8[i + 1] != '\n'));
  }

  const book::Scan scan = book::ScanPage(bytes);
  const book::Scan again = book::ScanPage("\xEF\xBB\xBF" + utf8);
  if (scan.references.size() != again.references.size() || scan.anchors != again.anchors ||
      scan.base_from > scan.references.size()) {
    std::abort();
  }
  for (std::size_t i = 0; i < scan.references.size(); ++i) {
    const book::Reference& ref = scan.references[i];
    if (ref.line < 1 || ref.line > lines) std::abort();
    if (ref.url != again.references[i].url || ref.line != again.references[i].line) std::abort();
  }
  return 0;
}
