// SPDX-License-Identifier: MIT
#include "platform/file_mode.h"

namespace vellum::platform {

std::optional<bool> IsExecutableFile(const Path&) { return std::nullopt; }

}  // namespace vellum::platform
