// SPDX-License-Identifier: MIT
// Text between UTF-8, which people type and read, and the byte strings that settings fields and
// the system's file names hold: the ANSI code page on Windows, and the code pages the system can
// convert into. Conversions never substitute a character. Each system's half is in its own
// folder.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace vellum::platform {

// Bytes as this system shows them, in UTF-8: on Windows read in the ANSI code page; elsewhere
// valid UTF-8 stays as it is and anything else is read as Windows-1252, as the viewer shows it.
std::string ShownAsUtf8(std::string_view bytes);

// UTF-8 text as bytes in the ANSI code page (elsewhere: the same bytes); nullopt when one of its
// characters has none there.
std::optional<Bytes> Utf8ToAnsi(std::string_view utf8);

// A code page the system converts UTF-8 text into.
class CodePage {
 public:
  // On Windows "cpNNNN", "windows-NNNN" or "NNNN" for a code page the system has; elsewhere any
  // name iconv knows, never with a "//" suffix (which would let it substitute). Case is ignored.
  static std::optional<CodePage> Find(std::string_view name);

  // "windows-NNNN" on Windows; elsewhere the name as found.
  const std::string& name() const { return name_; }

  // Valid UTF-8 text in this code page; nullopt when one of its characters has no bytes here.
  std::optional<Bytes> FromUtf8(std::string_view utf8) const;

 private:
  CodePage(std::string name, unsigned number) : name_(std::move(name)), number_(number) {}

  std::string name_;
  [[maybe_unused]] unsigned number_;  // Windows: the code page's number
};

}  // namespace vellum::platform
