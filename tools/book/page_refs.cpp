// SPDX-License-Identifier: MIT
#include "tools/book/page_refs.h"

#include <gumbo.h>

#include <algorithm>
#include <memory>

#include "text/text.h"
#include "tools/book/css_refs.h"
#include "tools/book/page_text.h"

namespace vellum::tools::book {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool HasWord(std::string_view list, std::string_view word) {
  std::size_t at = 0;
  while (at < list.size()) {
    while (at < list.size() && IsSpace(list[at])) ++at;
    std::size_t end = at;
    while (end < list.size() && !IsSpace(list[end])) ++end;
    if (end > at && text::LowerAscii(list.substr(at, end - at)) == word) return true;
    at = end;
  }
  return false;
}

// The line of an attribute's value; of its name when it has no value, whose position the
// parser leaves unset.
int LineOf(const GumboAttribute& attr) {
  return static_cast<int>(attr.value[0] == '\0' ? attr.name_start.line : attr.value_start.line);
}

const GumboAttribute* Attribute(const GumboElement& element, const char* name) {
  return gumbo_get_attribute(&element.attributes, name);
}

void AddCss(std::string_view css, int line, Use use, Scan& scan) {
  std::vector<CssReference> found;
  ScanCss(css, line, found);
  for (CssReference& ref : found) {
    scan.references.push_back({std::move(ref.url), ref.line, ref.import ? Use::kStylesheet : use});
  }
}

// Each candidate of a srcset: a URL, then descriptors up to the next comma.
void AddSrcset(std::string_view set, int line, Scan& scan) {
  std::size_t at = 0;
  while (at < set.size()) {
    while (at < set.size() && (IsSpace(set[at]) || set[at] == ',')) ++at;
    std::size_t end = at;
    while (end < set.size() && !IsSpace(set[end])) ++end;
    std::string_view url = set.substr(at, end - at);
    const bool ends_candidate = !url.empty() && url.back() == ',';
    while (!url.empty() && url.back() == ',') url.remove_suffix(1);
    if (!url.empty()) scan.references.push_back({std::string(url), line, Use::kResource});
    at = end;
    if (!ends_candidate) {
      while (at < set.size() && set[at] != ',') ++at;
    }
  }
}

// The URL of a refresh: "5; url=next.html", "0;URL='next.html'".
void AddRefresh(std::string_view content, int line, Scan& scan) {
  std::size_t at = content.find_first_of(";,");
  if (at == std::string_view::npos) return;
  ++at;
  while (at < content.size() && IsSpace(content[at])) ++at;
  if (text::LowerAscii(content.substr(at, 3)) == "url") {
    std::size_t after = at + 3;
    while (after < content.size() && IsSpace(content[after])) ++after;
    if (after < content.size() && content[after] == '=') {
      at = after + 1;
      while (at < content.size() && IsSpace(content[at])) ++at;
    }
  }
  std::string_view url = content.substr(at);
  if (!url.empty() && (url.front() == '\'' || url.front() == '"')) {
    const char quote = url.front();
    url.remove_prefix(1);
    url = url.substr(0, url.find(quote));
  }
  while (!url.empty() && IsSpace(url.back())) url.remove_suffix(1);
  if (!url.empty()) scan.references.push_back({std::string(url), line, Use::kLink});
}

void AddAttribute(const GumboElement& element, const char* name, Use use, Scan& scan) {
  if (const GumboAttribute* attr = Attribute(element, name)) {
    scan.references.push_back({attr->value, LineOf(*attr), use});
  }
}

// The name of an element the parser has no tag for (SVG's use), lowered.
std::string UnknownTagName(const GumboElement& element) {
  GumboStringPiece name = element.original_tag;
  gumbo_tag_from_original_text(&name);
  return text::LowerAscii(std::string_view(name.data, name.length));
}

// The elements of SVG that fetch a file: image, and use when it names another file.
void VisitSvg(const GumboElement& element, Scan& scan) {
  if (element.tag == GUMBO_TAG_IMAGE ||
      (element.tag == GUMBO_TAG_UNKNOWN && UnknownTagName(element) == "use")) {
    // xlink:href is read as href with the XLink namespace; href wins where both are given.
    AddAttribute(element, "href", Use::kResource, scan);
  }
}

void Visit(const GumboElement& element, Scan& scan) {
  if (const GumboAttribute* id = Attribute(element, "id")) scan.anchors.emplace_back(id->value);
  if (const GumboAttribute* style = Attribute(element, "style")) {
    AddCss(style->value, LineOf(*style), Use::kResource, scan);
  }
  if (element.tag_namespace == GUMBO_NAMESPACE_SVG) {
    VisitSvg(element, scan);
    if (element.tag != GUMBO_TAG_A) return;
  } else if (element.tag_namespace == GUMBO_NAMESPACE_HTML) {
    // body, table, tr, td and th: a picture behind them.
    AddAttribute(element, "background", Use::kResource, scan);
  }
  switch (element.tag) {
    case GUMBO_TAG_A:
    case GUMBO_TAG_AREA:
    case GUMBO_TAG_MAP:
      if (const GumboAttribute* anchor = Attribute(element, "name")) {
        scan.anchors.emplace_back(anchor->value);
      }
      if (element.tag != GUMBO_TAG_MAP) AddAttribute(element, "href", Use::kLink, scan);
      break;
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_FRAME:
      AddAttribute(element, "src", Use::kFrame, scan);
      break;
    case GUMBO_TAG_IMG:
    case GUMBO_TAG_SOURCE:
      AddAttribute(element, "src", Use::kResource, scan);
      if (const GumboAttribute* set = Attribute(element, "srcset")) {
        AddSrcset(set->value, LineOf(*set), scan);
      }
      break;
    case GUMBO_TAG_VIDEO:
    case GUMBO_TAG_AUDIO:
      AddAttribute(element, "src", Use::kResource, scan);
      AddAttribute(element, "poster", Use::kResource, scan);
      break;
    case GUMBO_TAG_TRACK:
    case GUMBO_TAG_EMBED:
    case GUMBO_TAG_SCRIPT:
      AddAttribute(element, "src", Use::kResource, scan);
      break;
    case GUMBO_TAG_OBJECT:
      AddAttribute(element, "data", Use::kResource, scan);
      break;
    case GUMBO_TAG_INPUT:
      if (const GumboAttribute* type = Attribute(element, "type");
          type != nullptr && text::LowerAscii(type->value) == "image") {
        AddAttribute(element, "src", Use::kResource, scan);
      }
      break;
    case GUMBO_TAG_BASE:
      if (const GumboAttribute* href = Attribute(element, "href"); href != nullptr && !scan.base) {
        scan.base = Reference{href->value, LineOf(*href), Use::kLink};
        scan.base_from = scan.references.size();
      }
      break;
    case GUMBO_TAG_LINK: {
      const GumboAttribute* rel = Attribute(element, "rel");
      const std::string_view rels = rel ? rel->value : "";
      Use use = Use::kLink;
      if (HasWord(rels, "stylesheet")) {
        use = Use::kStylesheet;
      } else if (HasWord(rels, "icon") || HasWord(rels, "preload") || HasWord(rels, "prefetch") ||
                 HasWord(rels, "manifest") || HasWord(rels, "apple-touch-icon")) {
        use = Use::kResource;
      }
      AddAttribute(element, "href", use, scan);
      break;
    }
    case GUMBO_TAG_META: {
      const GumboAttribute* equiv = Attribute(element, "http-equiv");
      const GumboAttribute* content = Attribute(element, "content");
      if (equiv == nullptr || content == nullptr) break;
      const std::string name = text::LowerAscii(equiv->value);
      if (name == "refresh") {
        AddRefresh(content->value, LineOf(*content), scan);
      } else if (name == "x-ua-compatible" &&
                 text::LowerAscii(content->value).find("ie=edge") != std::string::npos) {
        scan.edge_mode = true;
      }
      break;
    }
    case GUMBO_TAG_STYLE:
      for (unsigned i = 0; i < element.children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(element.children.data[i]);
        if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE ||
            child->type == GUMBO_NODE_CDATA) {
          AddCss(child->v.text.text, static_cast<int>(child->v.text.start_pos.line), Use::kResource,
                 scan);
        }
      }
      break;
    default:
      break;
  }
}

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

// Elements that never hold others, or that the next of their kind (or their parent's end) closes
// without an end tag: they never deepen a page.
bool NeverNests(std::string_view name) {
  static constexpr std::string_view kNames[] = {
      "area",    "base",  "basefont", "bgsound", "br",   "col",    "embed",    "frame",  "hr",
      "img",     "image", "input",    "keygen",  "link", "meta",   "param",    "source", "track",
      "wbr",     "p",     "li",       "dd",      "dt",   "option", "optgroup", "tr",     "td",
      "th",      "thead", "tbody",    "tfoot",   "rb",   "rt",     "rtc",      "rp",     "colgroup",
      "caption", "html",  "head",     "body",    "a",    "h1",     "h2",       "h3",     "h4",
      "h5",      "h6",    "form",     "button"};
  return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

// Elements whose content is text up to their end tag.
bool HoldsText(std::string_view name) {
  static constexpr std::string_view kNames[] = {"script", "style",   "textarea", "title",    "xmp",
                                                "iframe", "noembed", "noframes", "plaintext"};
  return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

// Whether the page's elements nest deeper than `limit`, told without the parser (whose time
// grows with the square of the depth and more): start tags that nest, less their end tags;
// comments and the text of script, style and the like skipped.
bool NestsDeeperThan(std::string_view html, std::size_t limit) {
  std::size_t depth = 0;
  std::size_t at = 0;
  char name[16];
  while ((at = html.find('<', at)) != std::string_view::npos) {
    ++at;
    if (html.compare(at, 3, "!--") == 0) {
      at = html.find("-->", at + 3);
      if (at == std::string_view::npos) break;
      continue;
    }
    const bool end_tag = at < html.size() && html[at] == '/';
    if (end_tag) ++at;
    std::size_t length = 0;
    while (at < html.size() && IsNameChar(html[at])) {
      if (length < sizeof name) name[length++] = text::LowerAscii(html[at]);
      ++at;
    }
    if (length == 0 || length == sizeof name) continue;
    const std::string_view tag(name, length);
    if (NeverNests(tag)) continue;
    if (end_tag) {
      if (depth > 0) --depth;
      continue;
    }
    const std::size_t close = html.find('>', at);
    if (close == std::string_view::npos) break;
    if (html[close - 1] == '/') continue;  // <path/> in SVG
    if (HoldsText(tag)) {
      for (at = close; (at = html.find("</", at)) != std::string_view::npos; at += 2) {
        if (text::LowerAscii(html.substr(at + 2, tag.size())) == tag) break;
      }
      if (at == std::string_view::npos) break;
      continue;
    }
    if (++depth > limit) return true;
  }
  return false;
}

struct OutputDeleter {
  void operator()(GumboOutput* output) const {
    gumbo_destroy_output(&kGumboDefaultOptions, output);
  }
};

}  // namespace

Scan ScanPage(std::string_view bytes) {
  Scan scan;
  const PageCharset charset = FindCharset(bytes);
  if (charset.unknown) scan.unknown_charset = charset.declared;
  // Text that is UTF-8 already goes to the parser as it is: a large page is not held twice.
  std::string converted;
  std::string_view html = bytes.substr(std::min(charset.bom, bytes.size()));
  const bool as_is = charset.encoding == PageEncoding::kUtf8
                         ? text::IsValidUtf8(html)
                         : charset.encoding == PageEncoding::kWindows1252 &&
                               std::all_of(html.begin(), html.end(), [](char c) {
                                 return static_cast<unsigned char>(c) < 0x80;
                               });
  if (!as_is) {
    converted = PageToUtf8(bytes, charset);
    html = converted;
  }
  if (NestsDeeperThan(html, kDeepestNesting)) {
    scan.too_deep = true;
    return scan;
  }
  const std::unique_ptr<GumboOutput, OutputDeleter> output(
      gumbo_parse_with_options(&kGumboDefaultOptions, html.data(), html.size()));
  // Depth first without recursion: a page may nest deeper than the stack would allow.
  std::vector<const GumboNode*> pending{output->root};
  while (!pending.empty()) {
    const GumboNode* node = pending.back();
    pending.pop_back();
    if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE) continue;
    const GumboElement& element = node->v.element;
    Visit(element, scan);
    for (unsigned i = element.children.length; i-- > 0;) {
      pending.push_back(static_cast<const GumboNode*>(element.children.data[i]));
    }
  }
  return scan;
}

Scan ScanStylesheet(std::string_view css) {
  Scan scan;
  AddCss(css, 1, Use::kResource, scan);
  return scan;
}

}  // namespace vellum::tools::book
