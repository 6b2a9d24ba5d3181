// SPDX-License-Identifier: MIT
#include "tools/text_encoding.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <optional>

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>
#endif

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

#if defined(_WIN32)
std::wstring Utf8ToWide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                      static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0) NotUtf8(0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                        wide.data(), n);
  return wide;
}

// Converts without best-fit substitutes; nullopt when a character has no bytes in `code_page`.
std::optional<std::string> WideToCodePage(const std::wstring& wide, unsigned code_page) {
  if (wide.empty()) return std::string();
  const bool utf = code_page == CP_UTF8 || code_page == 65000;
  const DWORD flags = utf ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL used_default = FALSE;
  BOOL* used = utf ? nullptr : &used_default;
  const int n = ::WideCharToMultiByte(code_page, flags, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, used);
  if (n <= 0 || used_default) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(code_page, flags, wide.data(), static_cast<int>(wide.size()), bytes.data(),
                        n, nullptr, used);
  return bytes;
}

std::string CodePageToUtf8(std::string_view bytes, unsigned code_page) {
  if (bytes.empty()) return {};
  const int n =
      ::MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (n <= 0) return Windows1252ToUtf8(bytes);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
  const int m = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(m), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, utf8.data(), m, nullptr, nullptr);
  return utf8;
}
#else
class Iconv {
 public:
  explicit Iconv(const std::string& to) : cd_(::iconv_open(to.c_str(), "UTF-8")) {}
  ~Iconv() {
    if (ok()) ::iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts `utf8`; on a character that has no bytes in the target, throws naming it.
  std::string Convert(std::string_view utf8, const std::string& name) {
    std::string out;
    std::string input(utf8);
    char* in = input.data();
    std::size_t in_left = input.size();
    char buffer[256];
    for (;;) {
      char* out_ptr = buffer;
      std::size_t out_left = sizeof buffer;
      const std::size_t r = in_left == 0 ? ::iconv(cd_, nullptr, nullptr, &out_ptr, &out_left)
                                         : ::iconv(cd_, &in, &in_left, &out_ptr, &out_left);
      const int err = errno;
      out.append(buffer, static_cast<std::size_t>(out_ptr - buffer));
      if (r != static_cast<std::size_t>(-1)) {
        if (in_left == 0 && out_ptr == buffer) return out;
        continue;
      }
      if (err == E2BIG) continue;
      const auto offset = static_cast<std::size_t>(in - input.data());
      if (err == EILSEQ) NotStorable(utf8, offset, name);
      NotUtf8(offset);  // EINVAL: an incomplete character at the end
    }
  }

 private:
  iconv_t cd_;
};
#endif

}  // namespace

TextEncoding TextEncoding::Windows1252() {
  return TextEncoding(Kind::kWindows1252, "windows-1252");
}

TextEncoding TextEncoding::Named(std::string_view name) {
  const std::string lower = text::LowerAscii(name);
  if (lower == "windows-1252" || lower == "cp1252" || lower == "1252") return Windows1252();
  if (lower == "utf-8" || lower == "utf8") return TextEncoding(Kind::kUtf8, "utf-8");
#if defined(_WIN32)
  std::string digits = lower;
  for (std::string_view prefix : {"windows-", "cp"}) {
    if (digits.starts_with(prefix)) digits = digits.substr(prefix.size());
  }
  if (!digits.empty() && digits.size() <= 5 &&
      digits.find_first_not_of("0123456789") == std::string::npos) {
    const auto code_page = static_cast<unsigned>(std::stoul(digits));
    if (::IsValidCodePage(code_page)) {
      return TextEncoding(Kind::kSystem, "windows-" + digits, code_page);
    }
  }
#else
  // A suffix such as "//TRANSLIT" would let iconv substitute characters: never accepted.
  if (!name.empty() && name.find('/') == std::string_view::npos && Iconv(std::string(name)).ok()) {
    return TextEncoding(Kind::kSystem, std::string(name));
  }
#endif
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
#if defined(_WIN32)
  const std::wstring wide = Utf8ToWide(utf8);
  if (auto converted = WideToCodePage(wide, code_page_)) return *converted;
  // Find the character to name: the first whose own conversion fails.
  for (pos = 0; pos < utf8.size();) {
    const std::size_t start = pos;
    NextCodePoint(utf8, pos);
    if (!WideToCodePage(Utf8ToWide(utf8.substr(start, pos - start)), code_page_)) {
      NotStorable(utf8, start, name_);
    }
  }
  throw EncodingError("the text cannot be stored in " + name_);
#else
  Iconv converter(name_);
  if (!converter.ok()) throw EncodingError("unknown encoding '" + name_ + "'");
  return converter.Convert(utf8, name_);
#endif
}

std::string DisplayText(std::string_view bytes) {
#if defined(_WIN32)
  return CodePageToUtf8(bytes, CP_ACP);
#else
  // The viewer's own rule, over the whole text: a title stops at a zero byte, a value does not.
  return text::ReadAsUtf8(bytes);
#endif
}

std::string TitleText(std::string_view bytes) {
#if defined(_WIN32)
  return CodePageToUtf8(bytes.substr(0, bytes.find('\0')), CP_ACP);
#else
  return text::DisplayText(bytes);
#endif
}

ByteString SystemPath(std::string_view utf8_path) {
#if defined(_WIN32)
  if (auto ansi = WideToCodePage(Utf8ToWide(utf8_path), CP_ACP)) return *ansi;
  throw EncodingError("the name '" + std::string(utf8_path) +
                      "' cannot be written in the system code page");
#else
  return ByteString(utf8_path);
#endif
}

}  // namespace vellum::tools
