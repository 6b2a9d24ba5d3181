// SPDX-License-Identifier: MIT
// The settings loader's whole path, from the bytes of a settings file to the outcome. Every input
// is used twice:
//  - as the file itself: the outcome must be what a plain, byte-at-a-time reading of the rules
//    gives (first line, pairs of digits, fields at "`", exactly 44 of them);
//  - as plain text, scrambled into a file: it must load back as exactly its own fields.
// Decoding what was encoded must give the input back. Any mismatch aborts, as does any crash,
// sanitizer report or leak.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/scramble.h"
#include "settings/settings.h"

namespace {

namespace fs = std::filesystem;
using vellum::settings::ByteString;
using vellum::settings::LoadOutcome;
using vellum::settings::LoadStatus;

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "settings_fuzz: property violated: %s\n", what);
    std::abort();
  }
}

// A folder of its own for the settings files, removed at exit.
const fs::path& Folder() {
  static const fs::path folder = [] {
    std::string pattern = (fs::temp_directory_path() / "vellum-fuzz-XXXXXX").string();
    Require(::mkdtemp(pattern.data()) != nullptr, "a temporary folder can be created");
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(Folder(), ignored);
    });
    return fs::path(pattern);
  }();
  return folder;
}

void WriteFile(const fs::path& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  Require(fd >= 0, "the settings file can be written");
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    Require(n > 0, "the settings file can be written");
    done += static_cast<std::size_t>(n);
  }
  Require(::close(fd) == 0, "the settings file can be written");
}

// --- The rules, read as plainly as they are written ------------------------------------------

ByteString ReferenceFirstLine(std::string_view bytes) {
  ByteString line;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\n' || c == '\x1a') break;
    if (c == '\r') {
      if (i + 1 < bytes.size() && bytes[i + 1] == '\n') break;
      continue;  // a lone CR is dropped
    }
    line += c;
  }
  return line;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<ByteString> ReferenceDecode(std::string_view scrambled) {
  ByteString plain;
  for (std::size_t i = 0; i < scrambled.size() / 2; ++i) {
    const int high = HexDigit(scrambled[2 * i]);
    if (high < 0) return std::nullopt;
    int value = high;
    if (scrambled[2 * i + 1] != '\0') {
      const int low = HexDigit(scrambled[2 * i + 1]);
      if (low < 0) return std::nullopt;
      value = high * 16 + low;
    }
    value ^= vellum::settings::ScrambleKey[i % 8];
    plain += static_cast<char>(value);
  }
  return plain;
}

std::vector<ByteString> ReferenceSplit(std::string_view text) {
  std::vector<ByteString> fields;
  if (text.empty()) return fields;
  ByteString remainder(text);
  for (std::size_t at; (at = remainder.find('`')) != ByteString::npos;) {
    fields.push_back(remainder.substr(0, at));
    remainder.erase(0, at + 1);
  }
  fields.push_back(remainder);
  return fields;
}

// --- Properties -------------------------------------------------------------------------------

// The outcome of a load whose line decoded to `fields`.
void CheckLoaded(const LoadOutcome& outcome, const std::vector<ByteString>& fields) {
  Require(outcome.record == fields, "the record holds the fields of the decoded line");
  if (fields.size() != vellum::settings::kFieldCount) {
    Require(outcome.status == LoadStatus::kWrongFieldCount, "a wrong field count is reported");
    Require(outcome.viewer == vellum::settings::ViewerSettings{}, "no field is taken");
    return;
  }
  Require(outcome.status == LoadStatus::kSuccess, "a line of 44 fields loads");
  Require(outcome.record.size() == 44, "a successful load has exactly 44 fields");
  Require(outcome.viewer.WindowHeight == fields[1], "WindowHeight is field 1");
  Require(outcome.viewer.WindowWidth == (fields[2].empty() ? "0" : fields[2]),
          "WindowWidth is field 2, or \"0\" when it is empty");
  Require(outcome.viewer.StartPage == fields[6], "StartPage is field 6");
  Require(outcome.viewer.WindowTitle == fields[41], "WindowTitle is field 41");
  Require(outcome.viewer.BorderMode == fields[42], "BorderMode is field 42");
}

// The input as the settings file beside the program.
void CheckFileBytes(std::string_view bytes) {
  WriteFile(Folder() / vellum::settings::kSettingsFileName, bytes);
  const LoadOutcome outcome = vellum::settings::LoadSettings(Folder().string());

  const std::optional<ByteString> plain = ReferenceDecode(ReferenceFirstLine(bytes));
  if (!plain) {
    Require(outcome.status == LoadStatus::kReadFailure, "an undecodable line is a read failure");
    Require(outcome.record.empty(), "a read failure has an empty record");
    Require(outcome.viewer == vellum::settings::ViewerSettings{}, "a read failure takes nothing");
    Require(!outcome.cause.empty(), "a read failure says what went wrong");
    return;
  }
  CheckLoaded(outcome, ReferenceSplit(*plain));
}

// The input as plain text, scrambled into a settings file of its own.
void CheckPlainText(std::string_view plain) {
  const ByteString scrambled = vellum::settings::EncodeScrambledHex(plain);
  Require(scrambled.size() == 2 * plain.size(), "two digits per plain byte");
  Require(scrambled.find_first_not_of("0123456789ABCDEF") == ByteString::npos,
          "encoding writes upper-case digits only");
  Require(vellum::settings::DecodeScrambledHex(scrambled) == plain,
          "decoding what was encoded gives the text back");

  const fs::path path = Folder() / "plain.ini";
  WriteFile(path, scrambled + "\r\n");
  CheckLoaded(vellum::settings::LoadSettingsFile(path.string()), ReferenceSplit(plain));
}

// Both decoders agree with the reference on the raw bytes, failures included.
void CheckDecoders(std::string_view bytes) {
  const std::optional<ByteString> expected = ReferenceDecode(bytes);
  try {
    const ByteString plain = vellum::settings::DecodeScrambledHex(bytes);
    Require(expected.has_value() && plain == *expected, "decoding matches the rules");
  } catch (const vellum::settings::ConversionError& e) {
    Require(!expected.has_value(), "only text with a bad pair fails to decode");
    Require(e.offset() % 2 == 0 && e.offset() < bytes.size(), "a failure names a pair");
  }
  ByteString in_place(bytes);
  try {
    vellum::settings::DecodeScrambledHexInPlace(in_place);
    Require(expected.has_value() && in_place == *expected, "decoding in place matches the rules");
  } catch (const vellum::settings::ConversionError&) {
    Require(!expected.has_value(), "only text with a bad pair fails to decode in place");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckFileBytes(bytes);
  CheckPlainText(bytes);
  CheckDecoders(bytes);
  return 0;
}
