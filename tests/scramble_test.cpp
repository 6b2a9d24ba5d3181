// SPDX-License-Identifier: MIT
#include "settings/scramble.h"
#include "settings/scramble_fast.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellum::settings {
namespace {

using namespace std::string_literals;
using detail::DecodePath;

// The decoders this build and this processor have, the scalar one first.
std::vector<DecodePath> AvailablePaths() {
  std::vector<DecodePath> paths;
  for (DecodePath path : {DecodePath::kScalar, DecodePath::kSse2, DecodePath::kAvx2}) {
    if (detail::DecodePathAvailable(path)) paths.push_back(path);
  }
  return paths;
}

const char* PathName(DecodePath path) {
  switch (path) {
    case DecodePath::kScalar:
      return "scalar";
    case DecodePath::kSse2:
      return "SSE2";
    case DecodePath::kAvx2:
      return "AVX2";
  }
  return "?";
}

// What decoding gives, worked out pair by pair apart from the code under test: the plain text,
// or the offset of the first bad pair.
struct Outcome {
  std::optional<std::string> plain;
  std::size_t offset = 0;
  bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& outcome) {
  if (!outcome.plain) return out << "error at " << outcome.offset;
  return out << "plain of " << outcome.plain->size() << " bytes";
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

Outcome Expected(const std::string& scrambled) {
  std::string plain;
  for (std::size_t i = 0; i < scrambled.size() / 2; ++i) {
    const int high = DigitValue(scrambled[2 * i]);
    const int low = scrambled[2 * i + 1] == '\0' ? -2 : DigitValue(scrambled[2 * i + 1]);
    if (high < 0 || low == -1) return {std::nullopt, 2 * i};
    const int value = low == -2 ? high : high * 16 + low;
    plain += static_cast<char>(value ^ ScrambleKey[i % 8]);
  }
  return {plain, 0};
}

Outcome Decoded(const std::string& scrambled, std::optional<DecodePath> path) {
  try {
    return {path ? detail::DecodeScrambledHexWith(scrambled, *path) : DecodeScrambledHex(scrambled),
            0};
  } catch (const ConversionError& e) {
    return {std::nullopt, e.offset()};
  }
}

Outcome DecodedInPlace(std::string text) {
  try {
    DecodeScrambledHexInPlace(text);
    return {text, 0};
  } catch (const ConversionError& e) {
    return {std::nullopt, e.offset()};
  }
}

// Every decoder, the default one and the in-place one must give the expected outcome.
void ExpectAllAgree(const std::string& scrambled, const std::string& label) {
  const Outcome expected = Expected(scrambled);
  for (DecodePath path : AvailablePaths()) {
    EXPECT_EQ(Decoded(scrambled, path), expected) << label << ", " << PathName(path);
  }
  EXPECT_EQ(Decoded(scrambled, std::nullopt), expected) << label << ", default";
  EXPECT_EQ(DecodedInPlace(scrambled), expected) << label << ", in place";
}

// Valid text of `size` characters, mixing upper- and lower-case digits.
std::string ValidText(std::size_t size) {
  static constexpr char kDigits[] = "0123456789ABCDEFabcdef";
  std::string text;
  for (std::size_t i = 0; i < size; ++i) text += kDigits[(i * 7 + i / 5) % 22];
  return text;
}

// Plain "AB": 'A'^3C = 7D, 'B'^91 = D3.
TEST(DecodeScrambledHex, DecodesPairsWithTheKeyInOrder) {
  EXPECT_EQ(DecodeScrambledHex("7DD3"), "AB");
  EXPECT_EQ(DecodeScrambledHex("7dd3"), "AB");
  EXPECT_EQ(DecodeScrambledHex("7dD3"), "AB");
}

TEST(DecodeScrambledHex, ShortAndOddTexts) {
  struct Case {
    std::string scrambled;
    std::string plain;
  };
  const Case cases[] = {
      {"", ""},       {"7", ""},       {"Z", ""},  // a lone odd byte is never read
      {"7DD3", "AB"}, {"7DD3F", "AB"}, {"7DD3 ", "AB"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeScrambledHex(c.scrambled), c.plain) << c.scrambled;
}

TEST(DecodeScrambledHex, ZeroPairsGiveTheKeyAndTheKeyGivesZeros) {
  std::string key;
  for (unsigned char k : ScrambleKey) key += static_cast<char>(k);
  EXPECT_EQ(DecodeScrambledHex("0000000000000000"), key);
  // The key wraps after 8 bytes: pairs 0 and 8 use the same key byte.
  EXPECT_EQ(DecodeScrambledHex(std::string(36, '0')), key + key + key.substr(0, 2));
  EXPECT_EQ(DecodeScrambledHex("3C915E07D26AF8143C"), std::string(9, '\0'));
}

TEST(DecodeScrambledHex, PairWithZeroSecondByteIsOneDigit) {
  // "7\0" is the number 7: 7 ^ 3C = 3B (';').
  EXPECT_EQ(DecodeScrambledHex("7\0"s), ";");
  EXPECT_EQ(DecodeScrambledHex("7DD3"
                               "A\0"s),
            "AB" + std::string(1, static_cast<char>(0x0A ^ 0x5E)));
}

TEST(DecodeScrambledHex, InvalidPairsFailWithTheirOffset) {
  struct Case {
    std::string scrambled;
    std::size_t offset;
  };
  const Case cases[] = {
      {" 7", 0},
      {"7 ", 0},
      {"\t7", 0},
      {"-1", 0},
      {"+1", 0},
      {"0G", 0},
      {"g0", 0},
      {"\0"
       "7"s,
       0},
      {"\0\0"s, 0},
      {"7DZZ", 2},
      {"7D7D7D\xff\x41", 6},
      {"0x", 0},
      {"$1", 0},
  };
  for (const auto& c : cases) {
    try {
      DecodeScrambledHex(c.scrambled);
      ADD_FAILURE() << "accepted " << c.scrambled;
    } catch (const ConversionError& e) {
      EXPECT_EQ(e.offset(), c.offset) << c.scrambled;
    }
  }
}

// Long texts take the block path; a bad pair anywhere in a block, or a one-digit pair, must
// still be found or decoded exactly as the pair-by-pair rule says.
TEST(DecodeScrambledHex, BlockPathAgreesWithPairRule) {
  std::string plain;
  for (int i = 0; i < 300; ++i) plain += static_cast<char>(i * 7 + 3);
  const std::string scrambled = EncodeScrambledHex(plain);
  EXPECT_EQ(DecodeScrambledHex(scrambled), plain);
  std::vector<std::size_t> bad_offsets = {300u, 383u, 384u, 599u};
  for (std::size_t bad = 0; bad < 128; ++bad) bad_offsets.push_back(bad);
  for (DecodePath path : AvailablePaths()) {
    EXPECT_EQ(detail::DecodeScrambledHexWith(scrambled, path), plain) << PathName(path);
    for (std::size_t bad : bad_offsets) {
      std::string broken = scrambled;
      broken[bad] = 'x';
      try {
        detail::DecodeScrambledHexWith(broken, path);
        ADD_FAILURE() << PathName(path) << " accepted a bad byte at " << bad;
      } catch (const ConversionError& e) {
        EXPECT_EQ(e.offset(), bad / 2 * 2) << PathName(path);
      }
    }
  }
  std::string one_digit = scrambled;
  one_digit[41] = '\0';  // pair 20 becomes the one-digit number of its first byte
  std::string expected = plain;
  const int high = std::stoi(scrambled.substr(40, 1), nullptr, 16);
  expected[20] = static_cast<char>(high ^ ScrambleKey[20 % 8]);
  for (DecodePath path : AvailablePaths()) {
    EXPECT_EQ(detail::DecodeScrambledHexWith(one_digit, path), expected) << PathName(path);
  }
}

// Lengths around the 16- and 32-pair blocks, odd ones included.
TEST(DecodeScrambledHex, EveryLengthAgreesAcrossDecoders) {
  for (std::size_t size = 0; size <= 140; ++size) {
    ExpectAllAgree(ValidText(size), "length " + std::to_string(size));
  }
}

// Text of 83 pairs and an odd character: two 32-pair blocks, one 16-pair block and three pairs
// left over, so every decoder sees a bad or one-digit pair at every place in each of its blocks.
TEST(DecodeScrambledHex, BadAndOneDigitPairsAtEveryOffset) {
  const std::string valid = ValidText(2 * (32 + 32 + 16 + 3) + 1);
  // Bytes just outside the digit ranges, and digits with a high bit or case bit flipped.
  const std::string bad_bytes = "/:?@G`g \x10\x19\x21\x26\x7f\x80\xb0\xc1\xe6\xff"s;
  for (std::size_t pos = 0; pos < valid.size(); ++pos) {
    for (char bad : bad_bytes) {
      std::string text = valid;
      text[pos] = bad;
      ExpectAllAgree(text, "byte " + std::to_string(static_cast<unsigned char>(bad)) + " at " +
                               std::to_string(pos));
    }
    std::string zero = valid;
    zero[pos] = '\0';  // second byte: a one-digit pair; first byte: a bad pair
    ExpectAllAgree(zero, "zero at " + std::to_string(pos));
  }
}

// Every byte value in either half of pairs at the start, middle and end of blocks.
TEST(DecodeScrambledHex, EveryByteValueInEitherHalf) {
  const std::string valid = ValidText(2 * 83);
  for (std::size_t pair : {0u, 15u, 16u, 31u, 32u, 63u, 64u, 79u, 82u}) {
    for (std::size_t half = 0; half < 2; ++half) {
      for (int b = 0; b < 256; ++b) {
        std::string text = valid;
        text[2 * pair + half] = static_cast<char>(b);
        ExpectAllAgree(text,
                       "byte " + std::to_string(b) + " at " + std::to_string(2 * pair + half));
      }
    }
  }
}

// Long texts are decoded in chunks; bad pairs next to chunk edges keep their offsets.
TEST(DecodeScrambledHex, LongTextsAcrossChunks) {
  std::string plain;
  for (int i = 0; i < 3 * 8192 + 77; ++i) plain += static_cast<char>(i * 13 + i / 256);
  const std::string scrambled = EncodeScrambledHex(plain) + "F";
  ExpectAllAgree(scrambled, "long text");
  for (std::size_t pos : {std::size_t{2 * 8192 - 1}, std::size_t{2 * 8192},
                          std::size_t{4 * 8192 + 1}, scrambled.size() - 2}) {
    std::string broken = scrambled;
    broken[pos] = 'z';
    ExpectAllAgree(broken, "bad byte at " + std::to_string(pos));
  }
  std::string one_digit = scrambled;
  one_digit[2 * 8192 + 1] = '\0';
  ExpectAllAgree(one_digit, "one-digit pair at a chunk's start");
}

// Results of several MiB take the large-page hint; they decode the same.
TEST(DecodeScrambledHex, ResultOfSeveralMebibytes) {
  // A 64-character block repeated: its 32 pairs span whole turns of the key.
  const std::string block = ValidText(64);
  const std::string plain_block = *Expected(block).plain;
  std::string scrambled, plain;
  for (std::size_t i = 0; i < (std::size_t{5} << 20) / 32; ++i) {
    scrambled += block;
    plain += plain_block;
  }
  scrambled += "7";
  EXPECT_TRUE(DecodeScrambledHex(scrambled) == plain);
  scrambled[scrambled.size() - 3] = 'x';  // in the last pair
  try {
    DecodeScrambledHex(scrambled);
    ADD_FAILURE() << "accepted a bad last pair";
  } catch (const ConversionError& e) {
    EXPECT_EQ(e.offset(), scrambled.size() - 3);
  }
}

Outcome DecodedInPieces(const std::string& scrambled, const std::vector<std::size_t>& cuts) {
  ScrambledHexDecoder decoder;
  std::string plain;
  try {
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
      decoder.Feed(std::string_view(scrambled).substr(from, cut - from), plain);
      from = cut;
    }
    decoder.Feed(std::string_view(scrambled).substr(from), plain);
    return {plain, 0};
  } catch (const ConversionError& e) {
    return {std::nullopt, e.offset()};
  }
}

// A text in pieces cut anywhere, inside pairs too, decodes as it does whole; so does a bad pair.
TEST(ScrambledHexDecoder, PiecesCutAnywhereDecodeAsTheWholeText) {
  const std::string valid = ValidText(2 * 97 + 1);
  std::string bad = valid;
  bad[2 * 61 + 1] = 'g';
  for (const std::string& text : {valid, bad}) {
    const Outcome expected = Expected(text);
    for (std::size_t a = 0; a <= text.size(); ++a) {
      EXPECT_EQ(DecodedInPieces(text, {a}), expected) << "cut at " << a;
      for (std::size_t b = a; b <= text.size(); b += 7) {
        EXPECT_EQ(DecodedInPieces(text, {a, b}), expected) << "cuts at " << a << ", " << b;
      }
    }
  }
}

TEST(DecodeScrambledHex, WideDecoderIsCoveredOnThisMachine) {
  if (!detail::DecodePathAvailable(DecodePath::kAvx2)) {
    GTEST_SKIP() << "no AVX2 decoder in this build or on this processor";
  }
  EXPECT_EQ(detail::DecodeScrambledHexWith("7DD3", DecodePath::kAvx2), "AB");
}

TEST(EncodeScrambledHex, RoundTripsEveryByteAtEveryKeyPosition) {
  std::string plain;
  for (int pos = 0; pos < 8; ++pos) {
    for (int b = 0; b < 256; ++b) plain += static_cast<char>(b);
    plain += 'x';  // shifts the key position for the next run
  }
  const std::string scrambled = EncodeScrambledHex(plain);
  EXPECT_EQ(scrambled.size(), plain.size() * 2);
  EXPECT_EQ(scrambled.find_first_not_of("0123456789ABCDEF"), std::string::npos);
  EXPECT_EQ(DecodeScrambledHex(scrambled), plain);
  // Every call starts at key byte 0, whatever the call before it ended on.
  EXPECT_EQ(EncodeScrambledHex("AB"), "7DD3");
  EXPECT_EQ(DecodeScrambledHex("7DD3"), "AB");
}

}  // namespace
}  // namespace vellum::settings
