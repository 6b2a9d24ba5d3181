// SPDX-License-Identifier: MIT
#include "settings/scramble.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "settings/scramble_fast.h"

namespace vellum::settings {

ConversionError::ConversionError(std::size_t offset)
    : std::runtime_error("not a hexadecimal pair at offset " + std::to_string(offset)),
      offset_(offset) {}

namespace {

constexpr std::uint8_t kInvalid = 0xFF;

constexpr std::array<std::uint8_t, 256> MakeHexTable() {
  std::array<std::uint8_t, 256> table{};
  for (auto& v : table) v = kInvalid;
  for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<std::uint8_t>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<std::uint8_t>(c - 'A' + 10);
  for (int c = 'a'; c <= 'f'; ++c) table[c] = static_cast<std::uint8_t>(c - 'a' + 10);
  return table;
}

constexpr std::array<std::uint8_t, 256> kHexValue = MakeHexTable();

// Decodes the pair at `pair`, plain position i; throws on a pair that is not a number.
inline unsigned char DecodePair(const char* pair, std::size_t i) {
  const auto first = static_cast<unsigned char>(pair[0]);
  const auto second = static_cast<unsigned char>(pair[1]);
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

}  // namespace

namespace detail {

void DecodeScalar(const char* in, std::size_t begin, std::size_t end, unsigned char* out) {
  for (std::size_t i = begin; i < end; ++i) out[i - begin] = DecodePair(in + 2 * (i - begin), i);
}

}  // namespace detail

namespace {

// Pairs [begin, end) at `in`, as a decoder reads them, from any `begin`: the pairs before the next
// multiple of 8 are decoded one by one.
void DecodeFrom(detail::DecodeFunction decode, const char* in, std::size_t begin, std::size_t end,
                unsigned char* out) {
  const std::size_t aligned = std::min(end, (begin + 7) / 8 * 8);
  detail::DecodeScalar(in, begin, aligned, out);
  if (aligned < end) decode(in + 2 * (aligned - begin), aligned, end, out + (aligned - begin));
}

}  // namespace

ByteString DecodeScrambledHex(std::string_view scrambled) {
  return detail::Decode(scrambled, detail::BestDecoder());
}

void DecodeScrambledHexInPlace(ByteString& text) {
  const std::size_t n = text.size() / 2;
  detail::BestDecoder()(text.data(), 0, n, reinterpret_cast<unsigned char*>(text.data()));
  text.resize(n);
}

void ScrambledHexDecoder::Feed(std::string_view piece, ByteString& plain) {
  std::size_t at = 0;
  if (has_half_ && !piece.empty()) {
    const char pair[2] = {half_, piece[0]};
    plain += static_cast<char>(DecodePair(pair, pairs_));
    ++pairs_;
    has_half_ = false;
    at = 1;
  }
  const detail::DecodeFunction decode = detail::BestDecoder();
  alignas(64) unsigned char buffer[detail::kChunk];
  for (std::size_t left = (piece.size() - at) / 2; left > 0;) {
    const std::size_t n = std::min(left, detail::kChunk);
    DecodeFrom(decode, piece.data() + at, pairs_, pairs_ + n, buffer);
    plain.append(reinterpret_cast<const char*>(buffer), n);
    pairs_ += n;
    at += 2 * n;
    left -= n;
  }
  if (at < piece.size()) {
    has_half_ = true;
    half_ = piece[at];
  }
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
