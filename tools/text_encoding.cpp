// SPDX-License-Identifier: MIT
#include "tools/text_encoding.h"

#include <cstdio>
#include <optional>

#include "platform/code_pages.h"
#include "text/text.h"

namespace vellum::tools {

using text::NextCodePoint;
using text::Windows1252Byte;

namespace {

// "'é' (U+00E9)" for a message.
std::string Describe(std::string_view utf8_char, char32_t c) {
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
  if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) return std::string("the character ") + code;
  return "'" + std::string(utf8_char) + "' (" + code + ")";
}

[[noreturn]] void NotUtf8(std::size_t offset) {
  throw EncodingError("the text is not valid UTF-8 (at byte " + std::to_string(offset) + ")");
}

[[noreturn]] void NotStorable(std::string_view utf8, std::size_t offset, const std::string& name) {
  std::size_t end = offset;
  const char32_t c = NextCodePoint(utf8, end).value_or(0xFFFD);
  throw EncodingError(Describe(utf8.substr(offset, end - offset), c) + " cannot be stored in " +
                      name);
}

}  // namespace

TextEncoding TextEncoding::Windows1252() {
  return TextEncoding(Kind::kWindows1252, "windows-1252");
}

TextEncoding TextEncoding::Named(std::string_view name) {
  const std::string lower = text::LowerAscii(name);
  if (lower == "windows-1252" || lower == "cp1252" || lower == "1252") return Windows1252();
  if (lower == "utf-8" || lower == "utf8") return TextEncoding(Kind::kUtf8, "utf-8");
  if (std::optional<platform::CodePage> code_page = platform::CodePage::Find(name)) {
    std::string found = code_page->name();
    return TextEncoding(Kind::kSystem, std::move(found), std::move(code_page));
  }
  throw EncodingError("unknown encoding '" + std::string(name) + "'");
}

ByteString TextEncoding::FromUtf8(std::string_view utf8) const {
  std::size_t pos = 0;
  ByteString bytes;
  bytes.reserve(utf8.size());
  while (pos < utf8.size()) {
    const std::size_t start = pos;
    const std::optional<char32_t> c = NextCodePoint(utf8, pos);
    if (!c) NotUtf8(start);
    if (kind_ == Kind::kWindows1252) {
      const std::optional<unsigned char> byte = Windows1252Byte(*c);
      if (!byte) NotStorable(utf8, start, name_);
      bytes += static_cast<char>(*byte);
    }
  }
  switch (kind_) {
    case Kind::kWindows1252:
      return bytes;
    case Kind::kUtf8:
      return ByteString(utf8);
    case Kind::kSystem:
      break;
  }
  if (auto converted = code_page_->FromUtf8(utf8)) return *converted;
  // Name the first character that has no bytes of its own.
  for (pos = 0; pos < utf8.size();) {
    const std::size_t start = pos;
    NextCodePoint(utf8, pos);
    if (!code_page_->FromUtf8(utf8.substr(start, pos - start))) NotStorable(utf8, start, name_);
  }
  throw EncodingError("the text cannot be stored in " + name_);
}

std::string DisplayText(std::string_view bytes) { return platform::ShownAsUtf8(bytes); }

std::string TitleText(std::string_view bytes) {
  return platform::ShownAsUtf8(bytes.substr(0, bytes.find('\0')));
}

}  // namespace vellum::tools
