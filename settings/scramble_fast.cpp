// SPDX-License-Identifier: MIT
// The speed of the settings decoder: SSE2 and AVX2 block decoders behind the pair-by-pair rule
// of scramble.cpp, prefetching, and large pages for a long result. They decode exactly as the
// rule does: a block with a zero byte or a bad pair is handed back to the rule.
#include <algorithm>
#include <cstdint>
#include <stdexcept>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

// The AVX2 decoder is compiled for every x86 build with GCC or Clang and chosen at run time when
// the processor has AVX2. Not on Windows: MinGW-w64's GCC cannot align the stack to 32 bytes, so
// a spilled 256-bit value may be stored with an aligned move to an unaligned slot and crash.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__) && defined(__SSE2__) && \
    !defined(_WIN32)
#define VELLUM_SCRAMBLE_AVX2 1
#include <immintrin.h>
#endif

#include "settings/scramble_fast.h"

namespace vellum::settings::detail {

namespace {

// How far ahead of the pair being decoded the text is prefetched, in bytes.
[[maybe_unused]] constexpr std::size_t kPrefetchDistance = 1024;

// The key repeated over 32 bytes, for the block decoders (their blocks start at positions that
// are multiples of 16 or 32, so key byte 0 comes first).
alignas(32) constexpr std::array<unsigned char, 32> kWideKey = [] {
  std::array<unsigned char, 32> key{};
  for (std::size_t i = 0; i < key.size(); ++i) key[i] = ScrambleKey[i % ScrambleKey.size()];
  return key;
}();

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
// Returns false, leaving `out` untouched, when any character is not a hexadecimal digit.
inline bool DecodeBlock16(const char* in, unsigned char* out, __m128i key) {
  __m128i valid_a, valid_b;
  const __m128i a = Nibbles(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), valid_a);
  const __m128i b = Nibbles(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16)), valid_b);
  if (_mm_movemask_epi8(_mm_and_si128(valid_a, valid_b)) != 0xFFFF) return false;
  const __m128i plain = _mm_packus_epi16(JoinPairs(a), JoinPairs(b));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_xor_si128(plain, key));
  return true;
}

void DecodeSse2(const char* in, std::size_t begin, std::size_t end, unsigned char* out) {
  const __m128i key = _mm_load_si128(reinterpret_cast<const __m128i*>(kWideKey.data()));
  std::size_t i = begin;
  for (; i + 16 <= end; i += 16) {
    const char* pairs = in + 2 * (i - begin);
    // Long lines come from memory, not from the cache: ask for the text well ahead of its use.
    if (2 * i + kPrefetchDistance < 2 * end) _mm_prefetch(pairs + kPrefetchDistance, _MM_HINT_T0);
    if (!DecodeBlock16(pairs, out + (i - begin), key))
      DecodeScalar(pairs, i, i + 16, out + (i - begin));
  }
  DecodeScalar(in + 2 * (i - begin), i, end, out + (i - begin));
}
#endif

#if defined(VELLUM_SCRAMBLE_AVX2)
#define VELLUM_AVX2 __attribute__((target("avx2")))

// Nibble values of 32 characters where they are hexadecimal digits, and a value of 16 or more
// in every lane that does not hold one. Saturating arithmetic only, no table look-ups.
VELLUM_AVX2 inline __m256i Nibbles32(__m256i chars) {
  // Digits: c - '0', and 16 or more for every other c (the saturating step sends ':' to '?',
  // the characters just after '9', to 16 instead of 10 to 15).
  const __m256i shifted = _mm256_add_epi8(chars, _mm256_set1_epi8(static_cast<char>(0xFF - '9')));
  const __m256i digit = _mm256_sub_epi8(_mm256_subs_epu8(shifted, _mm256_set1_epi8(6)),
                                        _mm256_set1_epi8(static_cast<char>(0xF0)));
  // Letters of either case: 10 to 15, and 16 or more for every other c.
  const __m256i upper = _mm256_and_si256(chars, _mm256_set1_epi8(static_cast<char>(0xDF)));
  const __m256i letter =
      _mm256_adds_epu8(_mm256_sub_epi8(upper, _mm256_set1_epi8('A')), _mm256_set1_epi8(10));
  return _mm256_min_epu8(digit, letter);
}

// Two 16-byte rows at `a` and `b` as one 256-bit value, `a` in the low lane.
VELLUM_AVX2 inline __m256i LoadLanes(const char* a, const char* b) {
  return _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(b)), 1);
}

// Decodes 64 characters into 32 plain bytes at a plain position that is a multiple of 32.
// Returns false, leaving `out` untouched, when any character is not a hexadecimal digit.
VELLUM_AVX2 inline bool DecodeBlock32(const char* in, unsigned char* out, __m256i key) {
  // Lanes arranged so that packing 16-bit lanes to bytes gives the pairs in order.
  const __m256i a = Nibbles32(LoadLanes(in, in + 32));
  const __m256i b = Nibbles32(LoadLanes(in + 16, in + 48));
  if (!_mm256_testz_si256(_mm256_or_si256(a, b), _mm256_set1_epi8(static_cast<char>(0xF0))))
    return false;
  // Each 16-bit lane: first nibble * 16 + second nibble.
  const __m256i weights = _mm256_set1_epi16(0x0110);
  const __m256i plain =
      _mm256_packus_epi16(_mm256_maddubs_epi16(a, weights), _mm256_maddubs_epi16(b, weights));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_xor_si256(plain, key));
  return true;
}

VELLUM_AVX2 void DecodeAvx2(const char* in, std::size_t begin, std::size_t end,
                            unsigned char* out) {
  const __m256i key = _mm256_load_si256(reinterpret_cast<const __m256i*>(kWideKey.data()));
  std::size_t i = begin;
  for (; i + 32 <= end; i += 32) {
    const char* pairs = in + 2 * (i - begin);
    if (2 * i + kPrefetchDistance < 2 * end) _mm_prefetch(pairs + kPrefetchDistance, _MM_HINT_T0);
    if (!DecodeBlock32(pairs, out + (i - begin), key))
      DecodeScalar(pairs, i, i + 32, out + (i - begin));
  }
  DecodeSse2(in + 2 * (i - begin), i, end, out + (i - begin));
}
#undef VELLUM_AVX2
#endif

DecodeFunction FunctionFor(DecodePath path) {
  switch (path) {
#if defined(VELLUM_SCRAMBLE_AVX2)
    case DecodePath::kAvx2:
      return DecodeAvx2;
#endif
#if defined(__SSE2__)
    case DecodePath::kSse2:
      return DecodeSse2;
#endif
    default:
      return DecodeScalar;
  }
}

}  // namespace

DecodeFunction BestDecoder() {
  static const DecodeFunction best = [] {
    for (DecodePath path : {DecodePath::kAvx2, DecodePath::kSse2}) {
      if (detail::DecodePathAvailable(path)) return FunctionFor(path);
    }
    return FunctionFor(DecodePath::kScalar);
  }();
  return best;
}

namespace {

// Results from this size on ask for large pages where the system offers them on request.
constexpr std::size_t kLargePageResult = std::size_t{4} << 20;

// Asks the system to back the whole 2 MiB pages inside [data, data + size) with large pages,
// which makes touching fresh memory several times cheaper than one fault per 4 KiB page. Only a
// hint on memory this program owns: contents and lifetime are unchanged, and a refusal (large
// pages off, an older kernel) costs nothing. Linux only; elsewhere it does nothing.
void AdviseLargePages([[maybe_unused]] void* data, [[maybe_unused]] std::size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;
  const auto start = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (start + kLargePage - 1) & ~(kLargePage - 1);
  const std::uintptr_t last = (start + size) & ~(kLargePage - 1);
  if (last > first) {
    ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);  // a hint: ignored
  }
#endif
}

}  // namespace

ByteString Decode(std::string_view scrambled, DecodeFunction decode) {
  const std::size_t n = scrambled.size() / 2;
  ByteString plain;
  if (n <= kChunk) {
    plain.resize(n);
    decode(scrambled.data(), 0, n, reinterpret_cast<unsigned char*>(plain.data()));
    return plain;
  }
  plain.reserve(n);
  if (n >= kLargePageResult) AdviseLargePages(plain.data(), n);
  alignas(64) unsigned char buffer[kChunk];
  for (std::size_t begin = 0; begin < n; begin += kChunk) {
    const std::size_t end = std::min(n, begin + kChunk);
    decode(scrambled.data() + 2 * begin, begin, end, buffer);
    plain.append(reinterpret_cast<const char*>(buffer), end - begin);
  }
  return plain;
}

bool DecodePathAvailable(DecodePath path) {
  switch (path) {
    case DecodePath::kScalar:
      return true;
    case DecodePath::kSse2:
#if defined(__SSE2__)
      return true;
#else
      return false;
#endif
    case DecodePath::kAvx2:
#if defined(VELLUM_SCRAMBLE_AVX2)
      return __builtin_cpu_supports("avx2");
#else
      return false;
#endif
  }
  return false;
}

ByteString DecodeScrambledHexWith(std::string_view scrambled, DecodePath path) {
  if (!DecodePathAvailable(path)) throw std::invalid_argument("decoder not available here");
  return Decode(scrambled, FunctionFor(path));
}

}  // namespace vellum::settings::detail
