// SPDX-License-Identifier: MIT
// Settings bytes as GTK shows them: GTK wants UTF-8, the settings file holds ANSI-code-page text.
#pragma once

#include <string>
#include <string_view>

namespace vellum::platform::gtk {

// The UTF-8 text shown for `bytes`. The text ends at the first zero byte, as a window system's
// C-string title does. Bytes that are valid UTF-8 stay as they are; anything else is read as
// Windows-1252 (see ReadAsUtf8).
std::string DisplayText(std::string_view bytes);

// The same rule over all of `bytes`, zero bytes included.
std::string ReadAsUtf8(std::string_view bytes);

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view text);

// The character a Windows-1252 byte stands for. The five bytes that code page leaves undefined
// stand for the C1 controls of the same value, as Windows reads them.
char32_t Windows1252CodePoint(unsigned char byte);

// Every byte read as Windows-1252.
std::string Windows1252ToUtf8(std::string_view bytes);

}  // namespace vellum::platform::gtk
