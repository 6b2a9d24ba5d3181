// SPDX-License-Identifier: MIT
// Files that are programs or start programs: never opened from a page, only saved.
#pragma once

namespace vellum::platform::gtk {

// True when the local file at `path` (in the file system's encoding) runs something once opened:
// a program, a launcher, a script, an installer, or an archive that runs. `mime_type` is what the
// web view took it for (nullptr when none). Goes by the file's name, its first bytes, its mode
// and `mime_type`, and answers true when any of them says so.
bool IsProgram(const char* path, const char* mime_type);

}  // namespace vellum::platform::gtk
