// SPDX-License-Identifier: MIT
// Text between the command line (UTF-8) and the settings file (bytes in a code page), and the
// viewer's rule for showing settings bytes to a person.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/code_pages.h"
#include "settings/scramble.h"

namespace vellum::tools {

using settings::ByteString;

// A text that cannot be stored, or an encoding that is not known. what() is one line.
class EncodingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The code page that values typed on the command line are stored in.
class TextEncoding {
 public:
  // The default: read correctly by the Linux viewer and by Western Windows systems.
  static TextEncoding Windows1252();
  // "windows-1252" (or "cp1252", "1252"), "utf-8" (or "utf8"); on Linux any other name iconv
  // knows ("windows-1250", "iso-8859-2", ...), on Windows a code page as "cpNNNN",
  // "windows-NNNN" or "NNNN". Throws EncodingError for a name that is not known.
  static TextEncoding Named(std::string_view name);

  const std::string& name() const { return name_; }

  // Converts a UTF-8 text. Throws EncodingError naming the first character that has no byte
  // sequence in this code page, and for text that is not valid UTF-8. Never substitutes.
  ByteString FromUtf8(std::string_view utf8) const;

 private:
  enum class Kind { kWindows1252, kUtf8, kSystem };
  TextEncoding(Kind kind, std::string name, std::optional<platform::CodePage> code_page = {})
      : kind_(kind), name_(std::move(name)), code_page_(std::move(code_page)) {}

  Kind kind_;
  std::string name_;
  std::optional<platform::CodePage> code_page_;  // kSystem: the system's conversion
};

// Settings bytes as the viewer shows them, in UTF-8. On Linux: valid UTF-8 as it is, anything
// else read as Windows-1252. On Windows: read in the system's ANSI code page.
std::string DisplayText(std::string_view bytes);

// A window title as the viewer's title bar shows it: up to its first zero byte.
std::string TitleText(std::string_view bytes);

}  // namespace vellum::tools
