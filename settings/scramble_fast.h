// SPDX-License-Identifier: MIT
// Inside the settings decoder, between the rule (scramble.cpp) and its speed (scramble_fast.cpp).
// Not part of the settings interface; the tests include it to hold every decoder to the rule.
#pragma once

#include <cstddef>
#include <string_view>

#include "settings/scramble.h"

namespace vellum::settings::detail {

// A decoder reads pairs [begin, end) of a text (plain positions begin to end), the first of them
// at `in` (pair i at in[2 (i - begin)]), and writes plain byte i to out[i - begin]; `begin` is a
// multiple of 8, so that the key starts with its first byte. `out` may be `in` itself: byte i is
// stored only after pair i and every earlier pair have been read, and no later pair lies below
// the byte stored. Zero bytes and bad pairs make a block take the pair-by-pair rule, which
// decodes one-digit pairs and throws at the first bad pair.
using DecodeFunction = void (*)(const char* in, std::size_t begin, std::size_t end,
                                unsigned char* out);

// The rule itself, pair by pair (scramble.cpp).
void DecodeScalar(const char* in, std::size_t begin, std::size_t end, unsigned char* out);

// The fastest decoder this processor runs, chosen on first use.
DecodeFunction BestDecoder();

// Plain bytes decoded at a time into a small buffer and appended to a long result. A result of
// more bytes is not zero-filled first: its fresh pages are touched once, by the copy from a
// buffer still in the cache, while the text for the next chunk comes in.
inline constexpr std::size_t kChunk = 8192;

// The whole text with `decode`, into a new string.
ByteString Decode(std::string_view scrambled, DecodeFunction decode);

// The decoders, so that tests can hold each one to the same results.
enum class DecodePath { kScalar, kSse2, kAvx2 };

// Whether this build has the decoder and this processor can run it.
bool DecodePathAvailable(DecodePath path);

// DecodeScrambledHex with the given decoder; std::invalid_argument if it is not available.
ByteString DecodeScrambledHexWith(std::string_view scrambled, DecodePath path);

}  // namespace vellum::settings::detail
