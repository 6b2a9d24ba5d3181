// SPDX-License-Identifier: MIT
// Code pages on POSIX systems (Linux): file names are bytes, and iconv converts.
#include <iconv.h>

#include <cerrno>

#include "platform/code_pages.h"
#include "text/text.h"

namespace vellum::platform {

namespace {

// A conversion from UTF-8, from construction to destruction.
class Iconv {
 public:
  explicit Iconv(const std::string& to) : cd_(::iconv_open(to.c_str(), "UTF-8")) {}
  ~Iconv() {
    if (ok()) ::iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  std::optional<Bytes> Convert(std::string_view utf8) {
    Bytes out;
    std::string input(utf8);
    char* in = input.data();
    std::size_t in_left = input.size();
    char buffer[256];
    for (;;) {
      char* out_ptr = buffer;
      std::size_t out_left = sizeof buffer;
      // With the input used up, a last call writes what a stateful code page needs to end.
      const std::size_t r = in_left == 0 ? ::iconv(cd_, nullptr, nullptr, &out_ptr, &out_left)
                                         : ::iconv(cd_, &in, &in_left, &out_ptr, &out_left);
      const int err = errno;
      out.append(buffer, static_cast<std::size_t>(out_ptr - buffer));
      if (r != static_cast<std::size_t>(-1)) {
        if (in_left == 0 && out_ptr == buffer) return out;
        continue;
      }
      if (err != E2BIG) return std::nullopt;  // no bytes for a character, or not UTF-8
    }
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::string ShownAsUtf8(std::string_view bytes) { return text::ReadAsUtf8(bytes); }

std::optional<Bytes> Utf8ToAnsi(std::string_view utf8) { return Bytes(utf8); }

std::optional<CodePage> CodePage::Find(std::string_view name) {
  if (name.empty() || name.find('/') != std::string_view::npos) return std::nullopt;
  if (!Iconv(std::string(name)).ok()) return std::nullopt;
  return CodePage(std::string(name), 0);
}

std::optional<Bytes> CodePage::FromUtf8(std::string_view utf8) const {
  Iconv converter(name_);
  if (!converter.ok()) return std::nullopt;
  return converter.Convert(utf8);
}

}  // namespace vellum::platform
