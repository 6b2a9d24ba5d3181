// SPDX-License-Identifier: MIT
// Code pages on Windows: every conversion goes through UTF-16, without best-fit substitutes.
#include <windows.h>

#include "platform/code_pages.h"
#include "text/text.h"

namespace vellum::platform {

namespace {

std::optional<std::wstring> Utf8ToWide(std::string_view utf8) {
  if (utf8.empty()) return std::wstring();
  const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                      static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                        wide.data(), n);
  return wide;
}

std::optional<Bytes> WideToCodePage(const std::wstring& wide, unsigned code_page) {
  if (wide.empty()) return Bytes();
  const bool utf = code_page == CP_UTF8 || code_page == 65000;
  const DWORD flags = utf ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL used_default = FALSE;
  BOOL* used = utf ? nullptr : &used_default;
  const int n = ::WideCharToMultiByte(code_page, flags, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, used);
  if (n <= 0 || used_default) return std::nullopt;
  Bytes bytes(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(code_page, flags, wide.data(), static_cast<int>(wide.size()), bytes.data(),
                        n, nullptr, used);
  return bytes;
}

std::optional<Bytes> Utf8ToCodePage(std::string_view utf8, unsigned code_page) {
  const std::optional<std::wstring> wide = Utf8ToWide(utf8);
  if (!wide) return std::nullopt;
  return WideToCodePage(*wide, code_page);
}

}  // namespace

std::string ShownAsUtf8(std::string_view bytes) {
  if (bytes.empty()) return {};
  const int n =
      ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (n <= 0) return text::Windows1252ToUtf8(bytes);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
  const int m = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(m), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, utf8.data(), m, nullptr, nullptr);
  return utf8;
}

std::optional<Bytes> Utf8ToAnsi(std::string_view utf8) { return Utf8ToCodePage(utf8, CP_ACP); }

std::optional<CodePage> CodePage::Find(std::string_view name) {
  std::string digits = text::LowerAscii(name);
  for (std::string_view prefix : {"windows-", "cp"}) {
    if (digits.starts_with(prefix)) digits = digits.substr(prefix.size());
  }
  if (digits.empty() || digits.size() > 5 ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  const auto number = static_cast<unsigned>(std::stoul(digits));
  if (!::IsValidCodePage(number)) return std::nullopt;
  return CodePage("windows-" + digits, number);
}

std::optional<Bytes> CodePage::FromUtf8(std::string_view utf8) const {
  return Utf8ToCodePage(utf8, number_);
}

}  // namespace vellum::platform
