// SPDX-License-Identifier: MIT
// Text rules every part of Vellum shares: UTF-8, the Windows-1252 code page a book made on
// Windows names its files and writes its settings in, lower case, and where a path's last
// separator stands. Pure functions over bytes; nothing here reaches the system.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vellum::text {

// Decodes the character at `text[pos]` and advances `pos` past it; nullopt (and `pos`
// unchanged) when the bytes there are not well-formed UTF-8: no overlong forms, surrogates or
// values past U+10FFFF.
std::optional<char32_t> NextCodePoint(std::string_view text, std::size_t& pos);

// True when all of `text` is well-formed UTF-8.
bool IsValidUtf8(std::string_view text);

// Appends `c` (at most U+10FFFF) to `out` in UTF-8.
void AppendUtf8(std::string& out, char32_t c);

// The character a Windows-1252 byte stands for. The five bytes that code page leaves undefined
// stand for the C1 controls of the same value, as Windows reads them.
char32_t Windows1252CodePoint(unsigned char byte);

// The Windows-1252 byte for a character, or nullopt when that code page has none.
std::optional<unsigned char> Windows1252Byte(char32_t code_point);

// Every byte read as Windows-1252.
std::string Windows1252ToUtf8(std::string_view bytes);

// `bytes` as UTF-8: bytes that are valid UTF-8 stay as they are; anything else is read as
// Windows-1252. Zero bytes included.
std::string ReadAsUtf8(std::string_view bytes);

// The UTF-8 text shown for settings bytes where the system wants UTF-8: ReadAsUtf8 up to the
// first zero byte, as a window system's C-string title ends there.
std::string DisplayText(std::string_view bytes);

// The value of a hexadecimal digit, either case; -1 for any other byte.
int HexDigitValue(char c);

// `text` for a terminal: the C0 controls, DEL and bytes that are not part of a UTF-8 character
// written as \xNN; the C1 controls and the bidirectional marks, embeddings, overrides and
// isolates (which reorder what follows them) as \u{NNNN}; everything else as it is.
std::string EscapeControls(std::string_view text);

// The lower case of an ASCII letter; any other byte as it is.
char LowerAscii(char byte);
// Every ASCII letter of `text` in lower case.
std::string LowerAscii(std::string_view text);

// The lower case of a Windows-1252 letter, as Windows lowers it; any other byte as it is.
char LowerWindows1252(char byte);

// Either separator ends a directory, as Windows reads paths; POSIX paths use only '/'.
#if defined(_WIN32)
inline constexpr char kPathSeparators[] = "/\\";
#else
inline constexpr char kPathSeparators[] = "/";
#endif

// The position of the last of `separators` in `path`, or npos when there is none.
template <typename Char>
std::size_t LastSeparator(std::basic_string_view<Char> path,
                          std::string_view separators = kPathSeparators) {
  for (std::size_t i = path.size(); i-- > 0;) {
    for (const char separator : separators) {
      if (path[i] == static_cast<Char>(separator)) return i;
    }
  }
  return std::basic_string_view<Char>::npos;
}

// A byte path split at its last separator: the folder, without that separator ("." when there
// is none, the separator itself for a name at the root), and the name after it.
std::pair<std::string, std::string> SplitPath(std::string_view path);

// Every name between `separators` in `path`, empty ones included ("a//b/" gives a, "", b, "").
std::vector<std::string> PathNames(std::string_view path,
                                   std::string_view separators = kPathSeparators);

}  // namespace vellum::text
