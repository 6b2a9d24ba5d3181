// SPDX-License-Identifier: MIT
#include "tools/book/page_text.h"

#include <algorithm>
#include <optional>

#include "text/text.h"

namespace vellum::tools::book {

namespace {

constexpr std::size_t kPrescanBytes = 1024;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool StartsWithLowered(std::string_view text, std::size_t at, std::string_view word) {
  return at + word.size() <= text.size() && text::LowerAscii(text.substr(at, word.size())) == word;
}

// The encoding a charset label names, as browsers map labels: the Latin-1 and ASCII names read
// as Windows-1252, and UTF-16 in a meta element (which an ASCII prescan cannot have found) as
// UTF-8. nullopt for any other label.
std::optional<PageEncoding> EncodingOfLabel(std::string_view label) {
  static constexpr std::string_view kUtf8[] = {
      "unicode-1-1-utf-8", "unicode11utf8", "unicode20utf8",   "utf-8",       "utf8",
      "x-unicode20utf8",   "csunicode",     "iso-10646-ucs-2", "ucs-2",       "unicode",
      "unicodefeff",       "utf-16",        "utf-16le",        "unicodefffe", "utf-16be"};
  static constexpr std::string_view kWindows1252[] = {"ansi_x3.4-1968",
                                                      "ascii",
                                                      "cp1252",
                                                      "cp819",
                                                      "csisolatin1",
                                                      "ibm819",
                                                      "iso-8859-1",
                                                      "iso-ir-100",
                                                      "iso8859-1",
                                                      "iso88591",
                                                      "iso_8859-1",
                                                      "iso_8859-1:1987",
                                                      "l1",
                                                      "latin1",
                                                      "us-ascii",
                                                      "windows-1252",
                                                      "x-cp1252",
                                                      "x-user-defined"};
  if (std::find(std::begin(kUtf8), std::end(kUtf8), label) != std::end(kUtf8)) {
    return PageEncoding::kUtf8;
  }
  if (std::find(std::begin(kWindows1252), std::end(kWindows1252), label) !=
      std::end(kWindows1252)) {
    return PageEncoding::kWindows1252;
  }
  return std::nullopt;
}

// The prescan's reader of one attribute, from `at`; false when there is none before '>' or
// the end of the bytes.
bool NextAttribute(std::string_view bytes, std::size_t& at, std::string& name, std::string& value) {
  const std::size_t end = bytes.size();
  while (at < end && (IsSpace(bytes[at]) || bytes[at] == '/')) ++at;
  if (at >= end || bytes[at] == '>') return false;
  name.clear();
  value.clear();
  for (;; ++at) {
    if (at >= end) return false;
    const char c = bytes[at];
    if (c == '=' && !name.empty()) {
      ++at;
      break;
    }
    if (IsSpace(c)) {
      while (at < end && IsSpace(bytes[at])) ++at;
      if (at >= end) return false;
      if (bytes[at] != '=') return true;
      ++at;
      break;
    }
    if (c == '/' || c == '>') return true;
    name += text::LowerAscii(c);
  }
  while (at < end && IsSpace(bytes[at])) ++at;
  if (at >= end) return false;
  if (bytes[at] == '"' || bytes[at] == '\'') {
    const char quote = bytes[at++];
    for (; at < end; ++at) {
      if (bytes[at] == quote) {
        ++at;
        return true;
      }
      value += text::LowerAscii(bytes[at]);
    }
    return false;
  }
  if (bytes[at] == '>') return true;
  for (; at < end; ++at) {
    if (IsSpace(bytes[at]) || bytes[at] == '>') return true;
    value += text::LowerAscii(bytes[at]);
  }
  return false;
}

// The charset a Content-Type value names: "text/html; charset=windows-1252".
std::string CharsetOfContent(std::string_view content) {
  std::size_t at = 0;
  for (;;) {
    at = content.find("charset", at);
    if (at == std::string_view::npos) return "";
    at += 7;
    while (at < content.size() && IsSpace(content[at])) ++at;
    if (at < content.size() && content[at] == '=') break;
  }
  ++at;
  while (at < content.size() && IsSpace(content[at])) ++at;
  if (at >= content.size()) return "";
  if (content[at] == '"' || content[at] == '\'') {
    const std::size_t close = content.find(content[at], at + 1);
    if (close == std::string_view::npos) return "";
    return std::string(content.substr(at + 1, close - at - 1));
  }
  std::size_t end = at;
  while (end < content.size() && !IsSpace(content[end]) && content[end] != ';') ++end;
  return std::string(content.substr(at, end - at));
}

std::string Trimmed(std::string_view label) {
  while (!label.empty() && IsSpace(label.front())) label.remove_prefix(1);
  while (!label.empty() && IsSpace(label.back())) label.remove_suffix(1);
  return std::string(label);
}

// The label of the first meta element that declares a charset, as the browsers' prescan finds
// it; empty when there is none.
std::string PrescanLabel(std::string_view bytes) {
  bytes = bytes.substr(0, kPrescanBytes);
  std::string name;
  std::string value;
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    if (bytes.compare(at, 4, "<!--") == 0) {
      const std::size_t close = bytes.find("-->", at + 2);
      if (close == std::string_view::npos) return "";
      at = close + 2;
    } else if (StartsWithLowered(bytes, at, "<meta") && at + 5 < bytes.size() &&
               (IsSpace(bytes[at + 5]) || bytes[at + 5] == '/')) {
      at += 5;
      bool got_pragma = false;
      int need_pragma = -1;  // -1: no charset yet
      std::string charset;
      std::vector<std::string> seen;
      while (NextAttribute(bytes, at, name, value)) {
        if (std::find(seen.begin(), seen.end(), name) != seen.end()) continue;
        seen.push_back(name);
        if (name == "http-equiv") {
          got_pragma = got_pragma || value == "content-type";
        } else if (name == "content" && need_pragma == -1) {
          charset = CharsetOfContent(value);
          if (!charset.empty()) need_pragma = 1;
        } else if (name == "charset") {
          charset = value;
          need_pragma = 0;
        }
      }
      if (at >= bytes.size()) return "";
      if (need_pragma == -1 || (need_pragma == 1 && !got_pragma)) continue;
      charset = Trimmed(charset);
      if (!charset.empty()) return charset;
    } else if (bytes[at] == '<' && at + 1 < bytes.size() &&
               (IsAsciiLetter(bytes[at + 1]) ||
                (bytes[at + 1] == '/' && at + 2 < bytes.size() && IsAsciiLetter(bytes[at + 2])))) {
      while (at < bytes.size() && !IsSpace(bytes[at]) && bytes[at] != '>') ++at;
      while (NextAttribute(bytes, at, name, value)) {
      }
      if (at >= bytes.size()) return "";
    } else if (bytes.compare(at, 2, "<!") == 0 || bytes.compare(at, 2, "</") == 0 ||
               bytes.compare(at, 2, "<?") == 0) {
      at = bytes.find('>', at + 2);
      if (at == std::string_view::npos) return "";
    }
  }
  return "";
}

void AppendUtf16(std::string& out, std::string_view bytes, bool little_endian) {
  const auto unit = [&](std::size_t i) -> char32_t {
    const auto a = static_cast<unsigned char>(bytes[i]);
    const auto b = static_cast<unsigned char>(bytes[i + 1]);
    return little_endian ? a | (b << 8) : (a << 8) | b;
  };
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    char32_t c = unit(i);
    if (c >= 0xD800 && c <= 0xDBFF && i + 3 < bytes.size()) {
      const char32_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
    text::AppendUtf8(out, c);
  }
  if (bytes.size() % 2 != 0) text::AppendUtf8(out, 0xFFFD);
}

}  // namespace

PageCharset FindCharset(std::string_view bytes) {
  PageCharset charset;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    charset.encoding = PageEncoding::kUtf8;
    charset.bom = 3;
  } else if (bytes.substr(0, 2) == "\xFF\xFE") {
    charset.encoding = PageEncoding::kUtf16Le;
    charset.bom = 2;
  } else if (bytes.substr(0, 2) == "\xFE\xFF") {
    charset.encoding = PageEncoding::kUtf16Be;
    charset.bom = 2;
  } else {
    charset.declared = PrescanLabel(bytes);
    if (!charset.declared.empty()) {
      const std::optional<PageEncoding> encoding = EncodingOfLabel(charset.declared);
      charset.encoding = encoding.value_or(PageEncoding::kWindows1252);
      charset.unknown = !encoding;
    }
  }
  return charset;
}

std::string PageToUtf8(std::string_view bytes, const PageCharset& charset) {
  bytes.remove_prefix(std::min(charset.bom, bytes.size()));
  std::string out;
  switch (charset.encoding) {
    case PageEncoding::kUtf8: {
      if (text::IsValidUtf8(bytes)) return std::string(bytes);
      out.reserve(bytes.size());
      std::size_t at = 0;
      while (at < bytes.size()) {
        const std::size_t start = at;
        if (text::NextCodePoint(bytes, at)) {
          out.append(bytes, start, at - start);
        } else {
          text::AppendUtf8(out, 0xFFFD);
          at = start + 1;
        }
      }
      return out;
    }
    case PageEncoding::kUtf16Le:
    case PageEncoding::kUtf16Be:
      out.reserve(bytes.size());
      AppendUtf16(out, bytes, charset.encoding == PageEncoding::kUtf16Le);
      return out;
    case PageEncoding::kWindows1252:
      break;
  }
  return text::Windows1252ToUtf8(bytes);
}

}  // namespace vellum::tools::book
