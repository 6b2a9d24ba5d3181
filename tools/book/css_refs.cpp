// SPDX-License-Identifier: MIT
#include "tools/book/css_refs.h"

#include "text/text.h"

namespace vellum::tools::book {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

bool StartsWithNoCase(std::string_view text, std::size_t at, std::string_view word) {
  if (text.size() - at < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (text::LowerAscii(text[at + i]) != word[i]) return false;
  }
  return true;
}

class Scanner {
 public:
  Scanner(std::string_view css, int first_line) : css_(css), line_(first_line) {}

  void Run(std::vector<CssReference>& out) {
    bool import_pending = false;
    while (at_ < css_.size()) {
      const char c = css_[at_];
      if (c == '/' && at_ + 1 < css_.size() && css_[at_ + 1] == '*') {
        SkipComment();
      } else if (c == '"' || c == '\'') {
        const int line = line_;
        std::string text = ReadString();
        if (import_pending) out.push_back({std::move(text), line, true});
        import_pending = false;
      } else if (c == '@' && StartsWithNoCase(css_, at_ + 1, "import") &&
                 (at_ + 7 == css_.size() || !IsNameChar(css_[at_ + 7]))) {
        at_ += 7;
        import_pending = true;
      } else if ((c == 'u' || c == 'U') && StartsWithNoCase(css_, at_, "url(") &&
                 (at_ == 0 || !IsNameChar(css_[at_ - 1]))) {
        at_ += 4;
        ReadUrl(out, import_pending);
        import_pending = false;
      } else {
        if (c == ';' || c == '{' || c == '}') import_pending = false;
        Advance();
      }
    }
  }

 private:
  void Advance() {
    if (css_[at_] == '\n') ++line_;
    ++at_;
  }

  void SkipSpace() {
    while (at_ < css_.size() && IsSpace(css_[at_])) Advance();
  }

  void SkipComment() {
    at_ += 2;
    while (at_ < css_.size() &&
           !(css_[at_] == '*' && at_ + 1 < css_.size() && css_[at_ + 1] == '/')) {
      Advance();
    }
    at_ = at_ + 2 <= css_.size() ? at_ + 2 : css_.size();
  }

  // A quoted string from its opening quote; an escaped quote or line break stays in the string.
  std::string ReadString() {
    const char quote = css_[at_];
    ++at_;
    std::string text;
    while (at_ < css_.size() && css_[at_] != quote) {
      if (css_[at_] == '\n') break;  // an unclosed string ends at the line's end
      if (css_[at_] == '\\' && at_ + 1 < css_.size() &&
          (css_[at_ + 1] == quote || css_[at_ + 1] == '\n')) {
        Advance();
        if (css_[at_] == '\n') {
          Advance();
          continue;
        }
      }
      text += css_[at_];
      Advance();
    }
    if (at_ < css_.size() && css_[at_] == quote) ++at_;
    return text;
  }

  void ReadUrl(std::vector<CssReference>& out, bool import) {
    SkipSpace();
    const int line = line_;
    std::string text;
    if (at_ < css_.size() && (css_[at_] == '"' || css_[at_] == '\'')) {
      text = ReadString();
    } else {
      while (at_ < css_.size() && css_[at_] != ')' && !IsSpace(css_[at_])) {
        text += css_[at_];
        Advance();
      }
    }
    while (at_ < css_.size() && css_[at_] != ')' && css_[at_] != ';' && css_[at_] != '}') Advance();
    if (at_ < css_.size() && css_[at_] == ')') ++at_;
    out.push_back({std::move(text), line, import});
  }

  std::string_view css_;
  std::size_t at_ = 0;
  int line_;
};

}  // namespace

void ScanCss(std::string_view css, int first_line, std::vector<CssReference>& out) {
  Scanner(css, first_line).Run(out);
}

}  // namespace vellum::tools::book
