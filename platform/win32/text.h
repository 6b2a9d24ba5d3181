// SPDX-License-Identifier: MIT
// Text at the Windows boundary: bytes in the ANSI code page become UTF-16 where they reach
// Windows, and system error codes become readable text. Conversion failures are reported, never
// turned into an empty string.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace vellum::platform::win32 {

// Bytes in `code_page` to UTF-16; `failure` is the error's text. Throws PlatformError.
inline std::wstring ConvertToWide(UINT code_page, DWORD flags, std::string_view bytes,
                                  const char* failure) {
  if (bytes.empty()) return {};
  if (bytes.size() > 0x7FFFFFFF) throw PlatformError("Text too long");
  const int length = static_cast<int>(bytes.size());
  const int needed = ::MultiByteToWideChar(code_page, flags, bytes.data(), length, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(needed > 0 ? needed : 0), L'\0');
  if (needed <= 0 || ::MultiByteToWideChar(code_page, flags, bytes.data(), length, wide.data(),
                                           needed) != needed) {
    throw PlatformError(failure);
  }
  return wide;
}

// UTF-16 to bytes in `code_page`; `failure` is the error's text. Throws PlatformError.
inline std::string ConvertFromWide(UINT code_page, std::wstring_view wide, const char* failure) {
  if (wide.empty()) return {};
  if (wide.size() > 0x7FFFFFFF) throw PlatformError("Text too long");
  const int length = static_cast<int>(wide.size());
  const int needed =
      ::WideCharToMultiByte(code_page, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(needed > 0 ? needed : 0), '\0');
  if (needed <= 0 || ::WideCharToMultiByte(code_page, 0, wide.data(), length, bytes.data(), needed,
                                           nullptr, nullptr) != needed) {
    throw PlatformError(failure);
  }
  return bytes;
}

// Bytes in the system's ANSI code page to UTF-16. Throws PlatformError.
inline std::wstring ToWide(std::string_view bytes) {
  return ConvertToWide(CP_ACP, 0, bytes, "Cannot convert text from the ANSI code page");
}

// UTF-16 to bytes in the system's ANSI code page. Throws PlatformError.
inline Bytes ToAnsi(std::wstring_view wide) {
  return ConvertFromWide(CP_ACP, wide, "Cannot convert text to the ANSI code page");
}

// UTF-8 to UTF-16. Throws PlatformError for text that is not UTF-8.
inline std::wstring Utf8ToWide(std::string_view utf8) {
  return ConvertToWide(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, "Not a UTF-8 text");
}

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
inline std::string WideToUtf8(std::wstring_view wide) {
  return ConvertFromWide(CP_UTF8, wide, "Cannot convert text to UTF-8");
}

// The system's own text for an error code (a Win32 error or an HRESULT), without a trailing line
// break; empty when the system has none.
inline std::wstring SystemErrorText(DWORD code) {
  wchar_t* message = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  std::wstring text;
  if (length > 0 && message != nullptr) text.assign(message, length);
  if (message != nullptr) ::LocalFree(message);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
    text.pop_back();
  }
  return text;
}

// "error 0x...." for a code the system has no text for.
inline std::string ErrorCodeNumber(DWORD code) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "error 0x%08lX", static_cast<unsigned long>(code));
  return buffer;
}

// The system's text for an error code in the ANSI code page, as the viewer shows it.
inline std::string ErrorCodeText(DWORD code) {
  const std::wstring text = SystemErrorText(code);
  return text.empty() ? ErrorCodeNumber(code) : ToAnsi(text);
}

// The system's text for an error code in UTF-8, as the tools show it.
inline std::string ErrorCodeUtf8(DWORD code) {
  const std::wstring text = SystemErrorText(code);
  return text.empty() ? ErrorCodeNumber(code) : WideToUtf8(text);
}

// "<what> '<file>': <system text>", all in UTF-8, for the file services: the tools show them.
inline std::string FileErrorText(const std::string& what, const std::string& file_utf8,
                                 DWORD code) {
  return what + " '" + file_utf8 + "': " + ErrorCodeUtf8(code);
}

// "<what> '<subject>': <system text>".
inline std::string SystemErrorText(const std::string& what, const std::string& subject,
                                   DWORD code) {
  return what + " '" + subject + "': " + ErrorCodeText(code);
}

}  // namespace vellum::platform::win32
