// SPDX-License-Identifier: MIT
#include "settings/settings.h"

#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vellum::settings {

namespace {

inline bool IsLineBreak(char c) { return c == '\n' || c == '\r' || c == '\x1a'; }

// Index of the first LF, CR or 0x1A in [data, data + size), or size.
std::size_t FindLineBreak(const char* data, std::size_t size) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i eof = _mm_set1_epi8('\x1a');
  for (; i + 16 <= size; i += 16) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    const __m128i hit =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, lf), _mm_cmpeq_epi8(chunk, cr)),
                     _mm_cmpeq_epi8(chunk, eof));
    if (const int mask = _mm_movemask_epi8(hit); mask != 0) return i + __builtin_ctz(mask);
  }
#endif
  for (; i < size; ++i) {
    if (IsLineBreak(data[i])) return i;
  }
  return size;
}

constexpr std::size_t kChunkSize = 1 << 20;

}  // namespace

const char* FailureMessage(LoadStatus status) {
  switch (status) {
    case LoadStatus::kReadFailure:
      return "Config file error.";
    case LoadStatus::kWrongFieldCount:
      return "File Error.";
    case LoadStatus::kSuccess:
      break;
  }
  return "";
}

std::vector<ByteString> SplitFields(std::string_view text, char separator) {
  std::vector<ByteString> fields;
  if (text.empty()) return fields;
  std::size_t start = 0;
  if (platform::IsMultiByteCodePage()) {
    for (std::size_t i = 0; i < text.size(); i += platform::CharacterLength(text, i)) {
      if (text[i] != separator) continue;
      fields.emplace_back(text.substr(start, i - start));
      start = i + 1;
    }
    fields.emplace_back(text.substr(start));
    return fields;
  }
  for (;;) {
    const void* hit = std::memchr(text.data() + start, separator, text.size() - start);
    if (hit == nullptr) break;
    const auto end = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
    fields.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  fields.emplace_back(text.substr(start));
  return fields;
}

namespace {

// Hands the first line of `file` to `take`, piece by piece, as it is read.
template <typename Take>
void ScanFirstLine(platform::InputFile& file, Take&& take) {
  const std::uint64_t hint = file.SizeHint();
  const std::size_t chunk_size =
      hint > 0 && hint < kChunkSize ? static_cast<std::size_t>(hint) + 1 : kChunkSize;
  std::unique_ptr<char[]> chunk(new char[chunk_size]);
  bool pending_cr = false;  // the previous chunk ended in a CR
  for (;;) {
    const std::size_t n = file.Read(chunk.get(), chunk_size);
    if (n == 0) return;  // a CR at the very end is dropped
    const char* data = chunk.get();
    std::size_t pos = 0;
    if (pending_cr) {
      if (data[0] == '\n') return;
      pending_cr = false;  // a lone CR: dropped
    }
    for (;;) {
      const std::size_t brk = pos + FindLineBreak(data + pos, n - pos);
      if (brk > pos) take(std::string_view(data + pos, brk - pos));
      if (brk == n) break;
      if (data[brk] != '\r') return;  // LF, or 0x1A which ends the file as well
      if (brk + 1 == n) {
        pending_cr = true;
        break;
      }
      if (data[brk + 1] == '\n') return;
      pos = brk + 1;  // a lone CR: dropped, reading goes on
    }
  }
}

}  // namespace

ByteString ReadDecodedFirstLine(platform::InputFile& file) {
  ByteString plain;
  ScrambledHexDecoder decoder;
  ScanFirstLine(file, [&](std::string_view piece) { decoder.Feed(piece, plain); });
  return plain;
}

platform::Path ProgramDirectory(const platform::Path& program_path) {
  return program_path.Directory();
}

platform::Path SettingsFilePath(const platform::Path& directory) {
  if (!directory.empty() && directory.FileName().empty())
    return directory.Append(kSettingsFileName);
  return directory.Append(std::string(1, platform::PathSeparator()) + kSettingsFileName);
}

ViewerSettings TakeViewerSettings(const SettingsRecord& record) {
  ViewerSettings viewer;
  for (const ViewerField& field : kViewerFields) viewer.*field.value = record.at(field.index);
  if (viewer.WindowWidth.empty()) viewer.WindowWidth = "0";
  return viewer;
}

namespace {

// The load of the file `open` opens.
template <typename Open>
LoadOutcome Load(Open&& open) noexcept {
  LoadOutcome outcome;
  // Reading, decoding and splitting are one unit: any failure in it is a read failure.
  try {
    ByteString plain;
    {
      auto file = open();
      plain = ReadDecodedFirstLine(*file);
    }  // closed right after its first line is read
    outcome.record = SplitFields(plain, kFieldSeparator);
  } catch (const std::bad_alloc&) {
    outcome.cause = "out of memory";
    return outcome;
  } catch (const std::exception& e) {
    outcome.cause = e.what();
    return outcome;
  } catch (...) {
    outcome.cause = "unknown error";
    return outcome;
  }
  if (outcome.record.size() != kFieldCount) {
    outcome.status = LoadStatus::kWrongFieldCount;
    return outcome;
  }
  try {
    outcome.viewer = TakeViewerSettings(outcome.record);
  } catch (...) {
    outcome = LoadOutcome{};
    outcome.cause = "out of memory";
    return outcome;
  }
  outcome.status = LoadStatus::kSuccess;
  return outcome;
}

}  // namespace

LoadOutcome LoadSettingsFile(const platform::Path& path) noexcept {
  return Load([&] { return platform::OpenForReading(path); });
}

LoadOutcome LoadSettingsFrom(platform::InputFile& file) noexcept {
  return Load([&] { return &file; });
}

LoadOutcome LoadSettings(const platform::Path& program_directory) noexcept {
  platform::Path path;
  try {
    path = SettingsFilePath(program_directory);
  } catch (...) {
    LoadOutcome outcome;
    outcome.cause = "out of memory";
    return outcome;
  }
  return LoadSettingsFile(path);
}

}  // namespace vellum::settings
