// SPDX-License-Identifier: MIT
#include "settings/scramble.h"

#include <gtest/gtest.h>

#include <string>

namespace vellum::settings {
namespace {

using namespace std::string_literals;

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
  for (std::size_t bad : {0u, 1u, 31u, 32u, 33u, 63u, 100u, 599u}) {
    std::string broken = scrambled;
    broken[bad] = 'x';
    try {
      DecodeScrambledHex(broken);
      ADD_FAILURE() << "accepted a bad byte at " << bad;
    } catch (const ConversionError& e) {
      EXPECT_EQ(e.offset(), bad / 2 * 2);
    }
  }
  std::string one_digit = scrambled;
  one_digit[41] = '\0';  // pair 20 becomes the one-digit number of its first byte
  std::string expected = plain;
  const int high = std::stoi(scrambled.substr(40, 1), nullptr, 16);
  expected[20] = static_cast<char>(high ^ ScrambleKey[20 % 8]);
  EXPECT_EQ(DecodeScrambledHex(one_digit), expected);
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
  // Every call starts at key byte 0.
  EXPECT_EQ(DecodeScrambledHex(EncodeScrambledHex("AB")), "AB");
  EXPECT_EQ(EncodeScrambledHex("AB"), "7DD3");
}

}  // namespace
}  // namespace vellum::settings
