// SPDX-License-Identifier: MIT
// Whether a file may be started as a program, where the system keeps that in the file's mode.
#pragma once

#include <optional>

#include "platform/platform.h"

namespace vellum::platform {

// True when the file at `path` is a regular file its owner may run (Unix mode bit 0100); nullopt
// when there is no such file, or on a system that keeps no such bit (Windows).
std::optional<bool> IsExecutableFile(const Path& path);

}  // namespace vellum::platform
