// SPDX-License-Identifier: MIT
// Archives for readers, made in memory: a zip as Info-ZIP makes it on Unix (every entry's Unix
// mode kept, names in UTF-8 flagged as such) and a gzip-compressed tar. zlib compresses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vellum::tools {

struct ArchiveEntry {
  std::string name;      // "/" between names; a folder's ends in "/"
  std::string data;      // a file's bytes; empty for a folder
  unsigned mode = 0644;  // Unix permission bits
};

// `time` (seconds since 1970, UTC) is every entry's modification time. Throws std::runtime_error
// when the entries do not fit the format (a zip holds less than 4 GiB and 65535 entries).
std::string MakeZip(const std::vector<ArchiveEntry>& entries, std::int64_t time);
std::string MakeTarGz(const std::vector<ArchiveEntry>& entries, std::int64_t time);

}  // namespace vellum::tools
