// SPDX-License-Identifier: MIT
#include "settings/scramble.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

namespace vellum::settings {

namespace {

constexpr std::uint8_t kInvalid = 0xFF;

// How far ahead of the pair being decoded the text is prefetched, in bytes.
[[maybe_unused]] constexpr std::size_t kPrefetchDistance = 1024;

constexpr std::array<std::uint8_t, 256> MakeHexTable() {
  std::array<std::uint8_t, 256> table{};
  for (auto& v : table) v = kInvalid;
  for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<std::uint8_t>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<std::uint8_t>(c - 'A' + 10);
  for (int c = 'a'; c <= 'f'; ++c) table[c] = static_cast<std::uint8_t>(c - 'a' + 10);
  return table;
}

constexpr std::array<std::uint8_t, 256> kHexValue = MakeHexTable();

// Decodes pair i of `in` (plain position i); throws on a pair that is not a number.
inline unsigned char DecodePair(const char* in, std::size_t i) {
  const auto first = static_cast<unsigned char>(in[2 * i]);
  const auto second = static_cast<unsigned char>(in[2 * i + 1]);
  const std::uint8_t high = kHexValue[first];
  if (high == kInvalid) throw ConversionError(2 * i);
  std::uint8_t value = high;
  if (second != 0) {  // a zero byte ends the pair early: a one-digit number
    const std::uint8_t low = kHexValue[second];
    if (low == kInvalid) throw ConversionError(2 * i);
    value = static_cast<std::uint8_t>(high << 4 | low);
  }
  return static_cast<unsigned char>(value ^ ScrambleKey[i % ScrambleKey.size()]);
}

#if defined(__SSE2__)
// Nibble values of 16 characters; `valid` gets 0xFF in every lane holding a hexadecimal digit.
inline __m128i Nibbles(__m128i chars, __m128i& valid) {
  const __m128i digit = _mm_sub_epi8(chars, _mm_set1_epi8('0'));
  const __m128i is_digit = _mm_cmpeq_epi8(_mm_min_epu8(digit, _mm_set1_epi8(9)), digit);
  const __m128i letter = _mm_sub_epi8(_mm_or_si128(chars, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
  const __m128i is_letter = _mm_cmpeq_epi8(_mm_min_epu8(letter, _mm_set1_epi8(5)), letter);
  valid = _mm_or_si128(is_digit, is_letter);
  return _mm_or_si128(_mm_and_si128(digit, is_digit),
                      _mm_and_si128(_mm_add_epi8(letter, _mm_set1_epi8(10)), is_letter));
}

// Pairs of nibbles (first one high) into 8 bytes, in the low half of each 16-bit lane.
inline __m128i JoinPairs(__m128i nibbles) {
  const __m128i high = _mm_slli_epi16(_mm_and_si128(nibbles, _mm_set1_epi16(0x00FF)), 4);
  return _mm_or_si128(high, _mm_srli_epi16(nibbles, 8));
}

// Decodes 32 characters into 16 plain bytes at a plain position that is a multiple of 16.
// Returns false, leaving `out` unspecified, when any character is not a hexadecimal digit.
inline bool DecodeBlock(const char* in, unsigned char* out, __m128i key) {
  __m128i valid_a, valid_b;
  const __m128i a = Nibbles(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), valid_a);
  const __m128i b = Nibbles(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16)), valid_b);
  if (_mm_movemask_epi8(_mm_and_si128(valid_a, valid_b)) != 0xFFFF) return false;
  const __m128i plain = _mm_packus_epi16(JoinPairs(a), JoinPairs(b));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_xor_si128(plain, key));
  return true;
}
#endif

}  // namespace

ConversionError::ConversionError(std::size_t offset)
    : std::runtime_error("not a hexadecimal pair at offset " + std::to_string(offset)),
      offset_(offset) {}

namespace {

// Decodes the n pairs at `in` into n bytes at `out`. `out` may be `in` itself: byte i is stored
// only after pair i (and every earlier pair) has been read, and no later pair lies below 2i + 2.
void DecodeInto(const char* in, std::size_t n, unsigned char* out) {
  std::size_t i = 0;
#if defined(__SSE2__)
  unsigned char key_bytes[16];
  std::memcpy(key_bytes, ScrambleKey.data(), 8);
  std::memcpy(key_bytes + 8, ScrambleKey.data(), 8);
  const __m128i key = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key_bytes));
  for (; i + 16 <= n; i += 16) {
    // Long lines come from memory, not from the cache: ask for the text well ahead of its use.
    if (2 * i + kPrefetchDistance < 2 * n)
      _mm_prefetch(in + 2 * i + kPrefetchDistance, _MM_HINT_T0);
    if (!DecodeBlock(in + 2 * i, out + i, key)) {
      // Zero bytes and bad pairs take the exact path, which also finds the offending pair.
      for (std::size_t j = i; j < i + 16; ++j) out[j] = DecodePair(in, j);
    }
  }
#endif
  for (; i < n; ++i) out[i] = DecodePair(in, i);
}

}  // namespace

ByteString DecodeScrambledHex(std::string_view scrambled) {
  const std::size_t n = scrambled.size() / 2;
  ByteString plain(n, '\0');
  DecodeInto(scrambled.data(), n, reinterpret_cast<unsigned char*>(plain.data()));
  return plain;
}

void DecodeScrambledHexInPlace(ByteString& text) {
  const std::size_t n = text.size() / 2;
  DecodeInto(text.data(), n, reinterpret_cast<unsigned char*>(text.data()));
  text.resize(n);
}

ByteString EncodeScrambledHex(std::string_view plain) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  ByteString scrambled(plain.size() * 2, '\0');
  for (std::size_t i = 0; i < plain.size(); ++i) {
    const auto value = static_cast<unsigned char>(static_cast<unsigned char>(plain[i]) ^
                                                  ScrambleKey[i % ScrambleKey.size()]);
    scrambled[2 * i] = kDigits[value >> 4];
    scrambled[2 * i + 1] = kDigits[value & 0x0F];
  }
  return scrambled;
}

}  // namespace vellum::settings
