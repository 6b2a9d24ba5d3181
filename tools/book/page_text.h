// SPDX-License-Identifier: MIT
// A page's bytes as a browser reads them: a byte order mark first, then the charset the page
// declares in its first 1024 bytes (found by the browsers' prescan), else Windows-1252, which
// the Windows control and WebKit read a page in when it declares nothing.
#pragma once

#include <string>
#include <string_view>

namespace vellum::tools::book {

enum class PageEncoding { kUtf8, kUtf16Le, kUtf16Be, kWindows1252 };

struct PageCharset {
  PageEncoding encoding = PageEncoding::kWindows1252;
  std::size_t bom = 0;   // bytes of the byte order mark
  std::string declared;  // the label a meta element gives, lowered; empty when none
  bool unknown = false;  // `declared` names a charset this check does not read
};

// The encoding of a page, as browsers find it.
PageCharset FindCharset(std::string_view bytes);

// The page in UTF-8, each line where it was: characters that cannot be decoded become U+FFFD.
std::string PageToUtf8(std::string_view bytes, const PageCharset& charset);

}  // namespace vellum::tools::book
