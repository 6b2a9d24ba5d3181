// SPDX-License-Identifier: MIT
#include <sys/stat.h>

#include "platform/file_mode.h"

namespace vellum::platform {

std::optional<bool> IsExecutableFile(const Path& path) {
  struct stat st {};
  if (::stat(path.native().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return (st.st_mode & S_IXUSR) != 0;
}

}  // namespace vellum::platform
