// SPDX-License-Identifier: MIT
// The scrambled hexadecimal text of the settings file: every plain byte is combined by
// exclusive-or with one byte of a fixed 8-byte key and written as two hexadecimal digits.
#pragma once

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vellum::settings {

// Text as bytes in the system's ANSI code page. Any byte value may occur, zero included.
using ByteString = std::string;

// Plain byte p of a text (counted from 0 for every text) is combined with key byte p mod 8.
inline constexpr std::array<unsigned char, 8> ScrambleKey = {0x3C, 0x91, 0x5E, 0x07,
                                                             0xD2, 0x6A, 0xF8, 0x14};

// A pair of the scrambled text is not a hexadecimal number.
class ConversionError : public std::runtime_error {
 public:
  explicit ConversionError(std::size_t offset);
  // Offset of the offending pair in the scrambled text.
  std::size_t offset() const { return offset_; }

 private:
  std::size_t offset_;
};

// Reads the text in pairs of hexadecimal digits (either case; a pair whose second byte is 0x00
// is the one-digit number of its first byte) and unscrambles them. A final odd byte is ignored.
// Throws ConversionError; no partial result is returned.
ByteString DecodeScrambledHex(std::string_view scrambled);

// The same, in the buffer of `text`: afterwards it holds the plain text. This saves a second
// buffer as long as the line. On a throw, `text` holds unspecified bytes.
void DecodeScrambledHexInPlace(ByteString& text);

// The same for a text that arrives in pieces, decoded as it arrives: the first pair that is not
// a number throws at once, however much of the text is still to come, and no piece is kept.
class ScrambledHexDecoder {
 public:
  // Decodes `piece`, the next bytes of the text, appending the plain bytes to `plain`; a byte
  // left over waits for the next piece (and is ignored if none comes). Throws ConversionError,
  // with the pair's offset in the whole text; `plain` then holds part of what came before it.
  void Feed(std::string_view piece, ByteString& plain);

 private:
  std::size_t pairs_ = 0;  // pairs decoded so far: the plain position of the next one
  bool has_half_ = false;  // the last piece ended inside a pair, whose first byte is half_
  char half_ = '\0';
};

// The inverse: upper-case digits, two per plain byte.
ByteString EncodeScrambledHex(std::string_view plain);

}  // namespace vellum::settings
