// SPDX-License-Identifier: MIT
// Settings bytes as GTK shows them: GTK wants UTF-8, the settings file holds ANSI-code-page text.
#pragma once

#include <string>
#include <string_view>

namespace vellum::platform::gtk {

// The UTF-8 text shown for `bytes`. The text ends at the first zero byte, as a window system's
// C-string title does. Bytes that are valid UTF-8 stay as they are; anything else is read as
// Windows-1252, whose five unassigned bytes become the C1 controls of the same value.
std::string DisplayText(std::string_view bytes);

}  // namespace vellum::platform::gtk
