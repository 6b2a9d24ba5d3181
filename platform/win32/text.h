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

// Bytes in the system's ANSI code page to UTF-16. Throws PlatformError.
inline std::wstring ToWide(std::string_view bytes) {
  if (bytes.empty()) return {};
  if (bytes.size() > 0x7FFFFFFF) throw PlatformError("Text too long");
  const int length = static_cast<int>(bytes.size());
  const int needed = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
  if (needed <= 0) throw PlatformError("Cannot convert text from the ANSI code page");
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  if (::MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, wide.data(), needed) != needed) {
    throw PlatformError("Cannot convert text from the ANSI code page");
  }
  return wide;
}

// UTF-16 to bytes in the system's ANSI code page. Throws PlatformError.
inline Bytes ToAnsi(std::wstring_view wide) {
  if (wide.empty()) return {};
  if (wide.size() > 0x7FFFFFFF) throw PlatformError("Text too long");
  const int length = static_cast<int>(wide.size());
  const int needed =
      ::WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) throw PlatformError("Cannot convert text to the ANSI code page");
  Bytes bytes(static_cast<std::size_t>(needed), '\0');
  if (::WideCharToMultiByte(CP_ACP, 0, wide.data(), length, bytes.data(), needed, nullptr,
                            nullptr) != needed) {
    throw PlatformError("Cannot convert text to the ANSI code page");
  }
  return bytes;
}

// UTF-8 to UTF-16. Throws PlatformError for text that is not UTF-8.
inline std::wstring Utf8ToWide(std::string_view utf8) {
  if (utf8.empty()) return {};
  if (utf8.size() > 0x7FFFFFFF) throw PlatformError("Text too long");
  const int length = static_cast<int>(utf8.size());
  const int needed =
      ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
  if (needed <= 0) throw PlatformError("Not a UTF-8 text");
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, wide.data(), needed);
  return wide;
}

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
inline std::string WideToUtf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  if (wide.size() > 0x7FFFFFFF) throw PlatformError("Text too long");
  const int length = static_cast<int>(wide.size());
  const int needed =
      ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) throw PlatformError("Cannot convert text to UTF-8");
  std::string utf8(static_cast<std::size_t>(needed), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, utf8.data(), needed, nullptr, nullptr);
  return utf8;
}

// The system's text for an error code (a Win32 error or an HRESULT), without a trailing line
// break; "error 0x...." when the system has none.
inline std::string ErrorCodeText(DWORD code) {
  char* message = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&message), 0, nullptr);
  std::string text;
  if (length > 0 && message != nullptr) text.assign(message, length);
  if (message != nullptr) ::LocalFree(message);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  if (text.empty()) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "error 0x%08lX", static_cast<unsigned long>(code));
    text = buffer;
  }
  return text;
}

// The system's text for an error code in UTF-8, as ErrorCodeText gives it in the ANSI code page.
inline std::string ErrorCodeUtf8(DWORD code) {
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
  return text.empty() ? ErrorCodeText(code) : WideToUtf8(text);
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
