// SPDX-License-Identifier: MIT
#include "tools/archive.h"

#include <zlib.h>

#include <algorithm>
#include <ctime>
#include <limits>
#include <stdexcept>

#include "text/text.h"

namespace vellum::tools {

namespace {

constexpr std::uint64_t kZipLimit = std::numeric_limits<std::uint32_t>::max();

void Put16(std::string& out, unsigned value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint64_t value) {
  Put16(out, static_cast<unsigned>(value & 0xFFFF));
  Put16(out, static_cast<unsigned>((value >> 16) & 0xFFFF));
}

// zlib's deflate of `data`: raw for a zip entry, or with the gzip wrapper.
std::string Deflate(const std::string& data, bool gzip) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, gzip ? 15 + 16 : -15, 9,
                   Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("cannot compress: zlib is out of memory");
  }
  std::string out;
  const std::size_t chunk = 1 << 16;
  std::size_t fed = 0;
  int result = Z_OK;
  do {
    const std::size_t take = std::min<std::size_t>(data.size() - fed, 1u << 30);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + fed));
    stream.avail_in = static_cast<uInt>(take);
    fed += take;
    const int flush = fed == data.size() ? Z_FINISH : Z_NO_FLUSH;
    do {
      const std::size_t used = out.size();
      out.resize(used + chunk);
      stream.next_out = reinterpret_cast<Bytef*>(out.data() + used);
      stream.avail_out = static_cast<uInt>(chunk);
      result = deflate(&stream, flush);
      out.resize(used + chunk - stream.avail_out);
    } while (stream.avail_out == 0);
  } while (result != Z_STREAM_END && result != Z_STREAM_ERROR);
  deflateEnd(&stream);
  if (result != Z_STREAM_END) throw std::runtime_error("cannot compress: zlib failed");
  return out;
}

std::uint32_t Crc32(const std::string& data) {
  uLong crc = crc32(0L, Z_NULL, 0);
  for (std::size_t done = 0; done < data.size();) {
    const std::size_t take = std::min<std::size_t>(data.size() - done, 1u << 30);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(data.data() + done), static_cast<uInt>(take));
    done += take;
  }
  return static_cast<std::uint32_t>(crc);
}

// MS-DOS date and time fields (UTC: the same archive wherever it is made).
std::pair<unsigned, unsigned> DosDateTime(std::int64_t time) {
  const std::time_t t = static_cast<std::time_t>(time);
  std::tm parts{};
#if defined(_WIN32)
  gmtime_s(&parts, &t);
#else
  gmtime_r(&t, &parts);
#endif
  if (parts.tm_year < 80) return {(1 << 5) | 1, 0};  // 1980-01-01, the earliest there is
  const unsigned date = static_cast<unsigned>(((parts.tm_year - 80) << 9) |
                                              ((parts.tm_mon + 1) << 5) | parts.tm_mday);
  const unsigned clock =
      static_cast<unsigned>((parts.tm_hour << 11) | (parts.tm_min << 5) | (parts.tm_sec / 2));
  return {date, clock};
}

// A tar header field: `value` in octal, zero-padded, NUL-terminated.
void PutOctal(char* field, std::size_t size, std::uint64_t value) {
  for (std::size_t i = size - 1; i-- > 0;) {
    field[i] = static_cast<char>('0' + (value & 7));
    value >>= 3;
  }
  field[size - 1] = '\0';
}

std::string TarHeader(const std::string& name, std::uint64_t size, unsigned mode, char type,
                      std::int64_t time) {
  std::string block(512, '\0');
  char* h = block.data();
  // A name longer than the header holds is split at a "/" into a prefix and a name; the caller
  // has written a pax record for one that cannot be split.
  std::string prefix;
  std::string rest = name;
  if (rest.size() > 100) {
    const std::size_t cut = rest.find('/', rest.size() - 101);
    if (cut != std::string::npos && cut <= 155 && cut > 0) {
      prefix = rest.substr(0, cut);
      rest = rest.substr(cut + 1);
    } else {
      rest = rest.substr(0, 100);
    }
  }
  rest.copy(h, std::min<std::size_t>(rest.size(), 100));
  PutOctal(h + 100, 8, mode);
  PutOctal(h + 108, 8, 0);
  PutOctal(h + 116, 8, 0);
  PutOctal(h + 124, 12, size);
  PutOctal(h + 136, 12, static_cast<std::uint64_t>(std::max<std::int64_t>(time, 0)));
  h[156] = type;
  std::string("ustar").copy(h + 257, 5);
  h[263] = '0';
  h[264] = '0';
  prefix.copy(h + 345, std::min<std::size_t>(prefix.size(), 155));
  std::fill(h + 148, h + 156, ' ');
  unsigned sum = 0;
  for (char c : block) sum += static_cast<unsigned char>(c);
  PutOctal(h + 148, 7, sum);
  h[155] = ' ';
  return block;
}

bool FitsUstar(const std::string& name) {
  if (name.size() <= 100) return true;
  const std::size_t cut = name.find('/', name.size() - 101);
  return cut != std::string::npos && cut <= 155 && cut > 0;
}

void PadToBlock(std::string& out) { out.append((512 - out.size() % 512) % 512, '\0'); }

}  // namespace

std::string MakeZip(const std::vector<ArchiveEntry>& entries, std::int64_t time) {
  if (entries.size() >= 0xFFFF) throw std::runtime_error("too many files for a zip (65535)");
  const auto [date, clock] = DosDateTime(time);
  std::string out;
  std::string central;
  for (const ArchiveEntry& entry : entries) {
    const bool folder = !entry.name.empty() && entry.name.back() == '/';
    if (entry.data.size() >= kZipLimit || out.size() >= kZipLimit) {
      throw std::runtime_error("the book is too large for a zip (4 GiB): pack it as a .tar.gz");
    }
    std::string packed = folder ? std::string() : Deflate(entry.data, false);
    unsigned method = 8;  // deflated
    if (folder || packed.size() >= entry.data.size()) {
      packed.clear();
      method = 0;  // stored
    }
    const std::string& stored = method == 0 ? entry.data : packed;
    const std::uint32_t crc = folder ? 0 : Crc32(entry.data);
    // Bit 11: the name is UTF-8. Names that are not stay as they are, unflagged.
    const unsigned flags = text::IsValidUtf8(entry.name) ? 0x0800 : 0;
    const std::uint64_t offset = out.size();

    // The fields the local header and the central directory's entry share.
    const auto put_common = [&](std::string& to) {
      Put16(to, method == 8 ? 20 : 10);  // version needed to extract
      Put16(to, flags);
      Put16(to, method);
      Put16(to, clock);
      Put16(to, date);
      Put32(to, crc);
      Put32(to, stored.size());
      Put32(to, entry.data.size());
      Put16(to, static_cast<unsigned>(entry.name.size()));
      Put16(to, 0);  // extra field
    };
    Put32(out, 0x04034b50);
    put_common(out);
    out += entry.name;
    out += stored;

    Put32(central, 0x02014b50);
    Put16(central, (3 << 8) | 30);  // made by: Unix, zip 3.0, so that the mode below counts
    put_common(central);
    Put16(central, 0);  // comment
    Put16(central, 0);  // disk
    Put16(central, 0);  // internal attributes
    // External attributes as Info-ZIP sets them: the Unix mode and file type in the high half,
    // the MS-DOS folder attribute in the low one.
    const std::uint32_t type = folder ? 0040000 : 0100000;
    Put32(central, (static_cast<std::uint64_t>(type | entry.mode) << 16) | (folder ? 0x10 : 0));
    Put32(central, offset);
    central += entry.name;
  }
  if (out.size() >= kZipLimit || central.size() >= kZipLimit) {
    throw std::runtime_error("the book is too large for a zip (4 GiB): pack it as a .tar.gz");
  }
  const std::uint64_t central_offset = out.size();
  out += central;
  Put32(out, 0x06054b50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<unsigned>(entries.size()));
  Put16(out, static_cast<unsigned>(entries.size()));
  Put32(out, central.size());
  Put32(out, central_offset);
  Put16(out, 0);
  return out;
}

std::string MakeTarGz(const std::vector<ArchiveEntry>& entries, std::int64_t time) {
  std::string tar;
  for (const ArchiveEntry& entry : entries) {
    const bool folder = !entry.name.empty() && entry.name.back() == '/';
    if (!FitsUstar(entry.name)) {
      // A pax extended header names it in full ("LENGTH path=NAME\n", the length counting
      // itself).
      const std::string record = " path=" + entry.name + "\n";
      std::size_t length = record.size() + 1;
      while (std::to_string(length).size() + record.size() != length) ++length;
      const std::string pax = std::to_string(length) + record;
      tar += TarHeader("PaxHeader", pax.size(), 0644, 'x', time);
      tar += pax;
      PadToBlock(tar);
    }
    tar +=
        TarHeader(entry.name, folder ? 0 : entry.data.size(), entry.mode, folder ? '5' : '0', time);
    if (!folder) {
      tar += entry.data;
      PadToBlock(tar);
    }
  }
  tar.append(1024, '\0');  // the end: two empty blocks
  return Deflate(tar, true);
}

}  // namespace vellum::tools
