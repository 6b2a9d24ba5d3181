// SPDX-License-Identifier: MIT
#include "tools/book/book_check.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "platform/code_pages.h"
#include "platform/files.h"
#include "text/text.h"
#include "tools/book/page_refs.h"

namespace vellum::tools::book {

namespace {

enum class Kind { kPage, kStylesheet, kOther };

// A name as a case-blind file system compares it: ASCII letters and the Latin-1 letters of
// UTF-8 lowered.
std::string Folded(std::string_view name) {
  std::string folded(name);
  for (std::size_t i = 0; i < folded.size(); ++i) {
    folded[i] = text::LowerAscii(folded[i]);
    const auto lead = static_cast<unsigned char>(folded[i]);
    if (lead == 0xC3 && i + 1 < folded.size()) {
      const auto next = static_cast<unsigned char>(folded[i + 1]);
      if (next >= 0x80 && next <= 0x9E && next != 0x97)
        folded[i + 1] = static_cast<char>(next + 0x20);
      ++i;
    }
  }
  return folded;
}

std::string PercentDecoded(std::string_view text) {
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && text::HexDigitValue(text[i + 1]) >= 0 &&
        text::HexDigitValue(text[i + 2]) >= 0) {
      decoded += static_cast<char>(text::HexDigitValue(text[i + 1]) * 16 +
                                   text::HexDigitValue(text[i + 2]));
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

bool IsUrlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// A URL as a browser reads it: outer spaces dropped, tabs and line breaks inside ignored.
std::string Cleaned(std::string_view url) {
  while (!url.empty() && IsUrlSpace(url.front())) url.remove_prefix(1);
  while (!url.empty() && IsUrlSpace(url.back())) url.remove_suffix(1);
  std::string cleaned;
  for (const char c : url) {
    if (c != '\t' && c != '\n' && c != '\r') cleaned += c;
  }
  return cleaned;
}

// The scheme of an absolute URL, lowered; empty for a relative one.
std::string SchemeOf(std::string_view url) {
  if (url.empty() || !((url[0] >= 'a' && url[0] <= 'z') || (url[0] >= 'A' && url[0] <= 'Z'))) {
    return "";
  }
  for (std::size_t i = 1; i < url.size(); ++i) {
    const char c = url[i];
    if (c == ':') {
      return text::LowerAscii(url.substr(0, i));
    }
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '+' || c == '-' || c == '.';
    if (!ok) return "";
  }
  return "";
}

Kind KindByName(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return Kind::kOther;
  const std::string ext = text::LowerAscii(name.substr(dot + 1));
  if (ext == "html" || ext == "htm" || ext == "xhtml" || ext == "xht") return Kind::kPage;
  if (ext == "css") return Kind::kStylesheet;
  return Kind::kOther;
}

// A name as the reference gives it (its percent-escapes decoded) in the form the file system's
// names are listed in: on Windows the viewer reads bytes that are not UTF-8 in the ANSI code
// page, and names are listed in UTF-8; on Linux the bytes are the name.
std::string DiskName(std::string decoded) {
#if defined(_WIN32)
  if (!text::IsValidUtf8(decoded)) return platform::ShownAsUtf8(decoded);
#endif
  return decoded;
}

// A page or stylesheet larger than this is not read: the parser needs about fifty times a
// page's size, and the reader's browser would hardly show it either.
constexpr std::uint64_t kLargestFile = std::uint64_t{64} << 20;

struct Listing {
  std::vector<platform::DirectoryEntry> entries;  // by name, so that every walk takes one order
  std::unordered_map<std::string, std::size_t> exact;
  std::unordered_map<std::string, std::size_t> folded;
};

struct Resolved {
  enum State { kFound, kMissing, kCaseDiffers, kFolder } state = kMissing;
  std::string rel;  // the names as they are on the disk
  platform::Path path;
};

// Where a name leads once links are followed.
struct Place {
  std::optional<platform::FileIdentity> identity;
  std::optional<platform::Path> outside;  // the real path, when it is outside the book's folder
};

struct FileRecord {
  std::string rel;
  Kind kind = Kind::kOther;
  bool scanned = false;
  std::unordered_set<std::string> anchors;
};

// A reference with a fragment into a page, checked once every page is read.
struct FragmentUse {
  std::size_t from;
  int line;
  std::string reference;
  std::size_t target;
};

// What relative references of a page are resolved against: the page's folder, or its base.
struct BaseOf {
  enum Where { kBook, kWeb, kNowhere } where = kBook;
  std::vector<std::string> folder;  // kBook: names from the book's folder
  std::string file;                 // kBook: the base's own file, for a reference to "#id"
  std::string href;                 // empty for the page's own folder
};

struct Job {
  std::size_t file;
  platform::Path path;
  Kind kind;
};

struct Done {
  std::size_t file = 0;
  Scan scan;
  std::string failure;          // why the file could not be read or scanned
  bool read_error = false;      // `failure` is the system's
  std::uint64_t too_large = 0;  // the size of a file left unread
};

Done Process(const Job& job) {
  Done done;
  done.file = job.file;
  try {
    const std::unique_ptr<platform::InputFile> in = platform::OpenForReading(job.path);
    std::string bytes;
    if (in->SizeHint() > kLargestFile) {
      done.too_large = in->SizeHint();
      return done;
    }
    bytes.reserve(static_cast<std::size_t>(in->SizeHint()));
    char buffer[65536];
    while (const std::size_t n = in->Read(buffer, sizeof buffer)) {
      bytes.append(buffer, n);
      if (bytes.size() > kLargestFile) {
        done.too_large = bytes.size();
        return done;
      }
    }
    done.scan = job.kind == Kind::kPage ? ScanPage(bytes) : ScanStylesheet(bytes);
  } catch (const platform::PlatformError& e) {
    done.failure = e.what();
    done.read_error = true;
  } catch (const std::exception& e) {
    done.failure = e.what();
  } catch (...) {
    done.failure = "unknown failure";
  }
  return done;
}

// Reads and scans files on worker threads, or on the caller's thread when there are none, and
// hands the results back in the order the files were handed in, so that every run of one book
// takes them in one order.
class Readers {
 public:
  explicit Readers(unsigned workers) {
    for (unsigned i = 0; i < workers; ++i) workers_.emplace_back([this] { Work(); });
  }
  ~Readers() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    for (std::thread& worker : workers_) worker.join();
  }
  Readers(const Readers&) = delete;
  Readers& operator=(const Readers&) = delete;

  void Add(Job job) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      jobs_.push_back({submitted_++, std::move(job)});
    }
    changed_.notify_one();
  }

  bool Pending() const { return taken_ < submitted_; }

  // The result of the oldest job not taken yet.
  Done Next() {
    if (workers_.empty()) {
      const Job job = std::move(jobs_.front().second);
      jobs_.pop_front();
      ++taken_;
      return Process(job);
    }
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return done_.count(taken_) > 0; });
    const auto it = done_.find(taken_);
    Done done = std::move(it->second);
    done_.erase(it);
    ++taken_;
    changed_.notify_all();  // a worker may wait for room ahead
    return done;
  }

 private:
  // How far the workers may run ahead of the results taken: bounds the results held.
  static constexpr std::size_t kAhead = 64;

  void Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(
          lock, [&] { return stop_ || (!jobs_.empty() && jobs_.front().first < taken_ + kAhead); });
      if (stop_) return;
      auto [index, job] = std::move(jobs_.front());
      jobs_.pop_front();
      lock.unlock();
      Done done = Process(job);
      lock.lock();
      done_.emplace(index, std::move(done));
      changed_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::pair<std::size_t, Job>> jobs_;
  std::map<std::size_t, Done> done_;
  std::size_t submitted_ = 0;
  std::size_t taken_ = 0;
  bool stop_ = false;
  std::vector<std::thread> workers_;
};

class Walker {
 public:
  Walker(platform::Path root, const BookOptions& options)
      : root_(std::move(root)), options_(options) {
    try {
      root_real_ = platform::ResolvedPath(root_).native();
      if (!root_real_.empty() && root_real_.back() != static_cast<platform::Path::Char>('/') &&
          root_real_.back() != static_cast<platform::Path::Char>(platform::PathSeparator())) {
        root_real_ += static_cast<platform::Path::Char>(platform::PathSeparator());
      }
    } catch (const platform::PlatformError&) {
      // A folder that cannot be resolved is read as it is named; nothing is outside it.
    }
  }

  BookReport Run(const std::string& start_page) {
    unsigned threads = options_.threads;
    if (threads == 0) threads = std::clamp(std::thread::hardware_concurrency(), 1u, 2u);
    Readers readers(threads > 1 ? threads : 0);
    const std::vector<std::string> parts = text::PathNames(start_page);
    const Resolved start = Resolve(parts);
    if (start.state == Resolved::kMissing || start.state == Resolved::kFolder) {
      Add(start_page, 0, Severity::kError, start_page,
          start_page +
              (start.state == Resolved::kMissing ? " not found" : " is a folder, not a page"));
    } else if (const Place& place = PlaceOf(start.rel, start.path); place.outside) {
      Add(start_page, 0, Severity::kError, start_page, OutsideMessage(start_page, *place.outside));
    } else {
      Reach(start, Kind::kPage);
    }
    for (;;) {
      for (Job& job : staged_) readers.Add(std::move(job));
      staged_.clear();
      if (!readers.Pending()) break;
      Take(readers.Next());
    }
    for (const FragmentUse& use : fragments_) CheckFragment(use);
    if (options_.unreached) NoteUnreached();
    std::stable_sort(report_.findings.begin(), report_.findings.end(),
                     [](const Finding& a, const Finding& b) {
                       return a.file != b.file ? a.file < b.file : a.line < b.line;
                     });
    for (const FileRecord& file : files_) {
      if (file.kind == Kind::kPage)
        ++report_.pages;
      else if (file.kind == Kind::kStylesheet)
        ++report_.stylesheets;
      else
        ++report_.other_files;
    }
    return std::move(report_);
  }

 private:
  void Add(const std::string& file, int line, Severity severity, const std::string& reference,
           std::string message) {
    report_.findings.push_back({file, line, severity, reference, std::move(message)});
    switch (severity) {
      case Severity::kError:
        ++report_.errors;
        break;
      case Severity::kWarning:
        ++report_.warnings;
        break;
      case Severity::kNote:
        ++report_.notes;
        break;
    }
  }

  static std::string OutsideMessage(const std::string& shown, const platform::Path& real) {
    return shown + " leaves the book's folder through a symbolic link (to " + real.ToBytes() + ")";
  }

  const Listing& ListingOf(const std::string& rel, const platform::Path& path) {
    auto it = listings_.find(rel);
    if (it != listings_.end()) return it->second;
    Listing listing;
    try {
      listing.entries = platform::ListDirectory(path);
    } catch (const platform::PlatformError&) {
      // An unreadable folder holds nothing the reader could see either.
    }
    std::sort(listing.entries.begin(), listing.entries.end(),
              [](const platform::DirectoryEntry& a, const platform::DirectoryEntry& b) {
                return a.name < b.name;
              });
    for (std::size_t i = 0; i < listing.entries.size(); ++i) {
      listing.exact.emplace(listing.entries[i].name, i);
      listing.folded.emplace(Folded(listing.entries[i].name), i);
    }
    return listings_.emplace(rel, std::move(listing)).first->second;
  }

  // What `rel` is, once links are followed, and whether that is still inside the book.
  const Place& PlaceOf(const std::string& rel, const platform::Path& path) {
    auto it = places_.find(rel);
    if (it != places_.end()) return it->second;
    Place place;
    place.identity = platform::IdentityOf(path);
    if (place.identity && !root_real_.empty()) {
      try {
        platform::Path real = platform::ResolvedPath(path);
        const auto& native = real.native();
        if (native.size() < root_real_.size() ||
            native.compare(0, root_real_.size(), root_real_) != 0) {
          // The book's folder itself, reached through a link, is inside it.
          if (native + root_real_.back() != root_real_) place.outside = std::move(real);
        }
      } catch (const platform::PlatformError&) {
        // Gone in the meantime: the reader would not get it either; reading it says so.
      }
    }
    return places_.emplace(rel, std::move(place)).first->second;
  }

  // Names relative to the book's folder, looked up as they are written.
  Resolved Resolve(const std::vector<std::string>& parts) {
    Resolved resolved;
    resolved.state = Resolved::kFound;
    platform::Path dir = root_;
    std::string rel;
    for (std::size_t i = 0; i < parts.size(); ++i) {
      const Listing& listing = ListingOf(rel, dir);
      std::size_t index;
      if (auto exact = listing.exact.find(parts[i]); exact != listing.exact.end()) {
        index = exact->second;
      } else if (auto folded = listing.folded.find(Folded(parts[i]));
                 folded != listing.folded.end()) {
        index = folded->second;
        resolved.state = Resolved::kCaseDiffers;
      } else {
        resolved.state = Resolved::kMissing;
        return resolved;
      }
      const platform::DirectoryEntry& entry = listing.entries[index];
      rel += (rel.empty() ? "" : "/") + entry.name;
      if (i + 1 < parts.size()) {
        if (!entry.is_directory) {
          resolved.state = Resolved::kMissing;
          return resolved;
        }
        dir = entry.path;
      } else {
        resolved.path = entry.path;
        if (entry.is_directory) resolved.state = Resolved::kFolder;
      }
    }
    resolved.rel = rel;
    return resolved;
  }

  // Each file is read once, whichever names reach it.
  static std::string KeyOf(const Place& place, const std::string& rel) {
    if (!place.identity) return "name:" + rel;
    return std::to_string(place.identity->volume) + ":" + std::to_string(place.identity->file);
  }

  std::size_t Reach(const Resolved& resolved, Kind kind) {
    const std::string key = KeyOf(PlaceOf(resolved.rel, resolved.path), resolved.rel);
    auto [it, added] = reached_.emplace(key, files_.size());
    if (!added) {
      // A file first met as a picture may be a stylesheet as well: read it once more as one.
      FileRecord& known = files_[it->second];
      if (kind == Kind::kStylesheet && known.kind == Kind::kOther) {
        known.kind = Kind::kStylesheet;
        staged_.push_back({it->second, resolved.path, kind});
      }
      return it->second;
    }
    files_.push_back({resolved.rel, kind, false, {}});
    if (kind != Kind::kOther) staged_.push_back({it->second, resolved.path, kind});
    return it->second;
  }

  void Take(Done done) {
    FileRecord& file = files_[done.file];
    const std::string from = file.rel;
    if (!done.failure.empty()) {
      Add(from, 0, Severity::kError, "",
          (done.read_error ? "cannot be read: " : "cannot be checked: ") + done.failure);
      return;
    }
    if (done.too_large > 0) {
      Add(from, 0, Severity::kWarning, "",
          "too large to check (" + std::to_string(done.too_large >> 20) +
              " MiB; pages and stylesheets are read up to " + std::to_string(kLargestFile >> 20) +
              " MiB)");
      return;
    }
    if (done.scan.too_deep) {
      Add(from, 0, Severity::kWarning, "",
          "too deeply nested to check (more than " + std::to_string(kDeepestNesting) +
              " elements inside each other)");
      return;
    }
    if (file.kind == Kind::kPage) {
      file.anchors.insert(done.scan.anchors.begin(), done.scan.anchors.end());
      file.scanned = true;
      if (options_.windows && !done.scan.edge_mode) {
        Add(from, 0, Severity::kWarning, "",
            "no X-UA-Compatible meta asking for IE=edge: the Windows control shows this page in "
            "IE 7 document mode");
      }
      if (!done.scan.unknown_charset.empty()) {
        Add(from, 0, Severity::kNote, "",
            "charset \"" + done.scan.unknown_charset +
                "\" is read here as windows-1252: names outside ASCII may be reported wrongly");
      }
    }
    BaseOf own;
    own.folder = text::PathNames(from, "/");
    own.folder.pop_back();
    const BaseOf base = done.scan.base ? BaseOfPage(done.file, own, *done.scan.base) : own;
    for (std::size_t i = 0; i < done.scan.references.size(); ++i) {
      const bool after_base = done.scan.base && i >= done.scan.base_from;
      Follow(done.file, after_base ? base : own, done.scan.references[i]);
    }
  }

  // The names `path` (relative, percent-escapes decoded) leads to from `folder`; nullopt when
  // it leaves the book's folder.
  static std::optional<std::vector<std::string>> Joined(std::vector<std::string> folder,
                                                        std::string_view path) {
    for (const std::string& part : text::PathNames(DiskName(PercentDecoded(path)), "/")) {
      if (part.empty() || part == ".") continue;
      if (part == "..") {
        if (folder.empty()) return std::nullopt;
        folder.pop_back();
        continue;
      }
      folder.push_back(part);
    }
    return folder;
  }

  // The URL without its query and fragment; the fragment, percent-escapes decoded, apart.
  static std::string_view PathPart(std::string_view url, std::optional<std::string>* fragment) {
    if (const std::size_t hash = url.find('#'); hash != std::string_view::npos) {
      if (fragment) *fragment = PercentDecoded(url.substr(hash + 1));
      url = url.substr(0, hash);
    }
    if (const std::size_t query = url.find('?'); query != std::string_view::npos) {
      url = url.substr(0, query);
    }
    return url;
  }

  // A page's <base href>, resolved against the page's own folder. A base that cannot be used
  // is reported once, and the relative references after it are not followed.
  BaseOf BaseOfPage(std::size_t from_index, const BaseOf& own, const Reference& ref) {
    const std::string url = Cleaned(ref.url);
    BaseOf base;
    base.href = url;
    if (url.empty()) return own;
    const std::string scheme = SchemeOf(url);
    const auto error = [&](const std::string& message) {
      Add(files_[from_index].rel, ref.line, Severity::kError, url, message);
      base.where = BaseOf::kNowhere;
      return base;
    };
    if (url.find('\\') != std::string::npos) {
      return error("base " + url +
                   ": backslash in a URL (only the Windows control reads it; "
                   "write /)");
    }
    if (scheme.size() == 1 || scheme == "file" || url.front() == '/') {
      if (url.rfind("//", 0) == 0) {
        base.where = BaseOf::kWeb;
        return base;
      }
      return error("base " + url + ": absolute path, which cannot exist on the reader's machine");
    }
    if (!scheme.empty()) {
      base.where = scheme == "http" || scheme == "https" || scheme == "ftp" ? BaseOf::kWeb
                                                                            : BaseOf::kNowhere;
      return base;
    }
    const std::string_view path = PathPart(url, nullptr);
    std::optional<std::vector<std::string>> names = Joined(own.folder, path);
    if (!names) return error("base " + url + " leaves the book's folder");
    if (!path.empty() && path.back() != '/' && !names->empty()) {
      base.file = names->back();
      names->pop_back();
    }
    base.folder = std::move(*names);
    return base;
  }

  void Follow(std::size_t from_index, const BaseOf& base, const Reference& ref) {
    const std::string from = files_[from_index].rel;
    const std::string url = Cleaned(ref.url);
    if (url.empty()) return;
    const std::string after_base = base.href.empty() ? "" : " (base " + base.href + ")";
    const auto error = [&](const std::string& message) {
      Add(from, ref.line, Severity::kError, url, message);
    };
    if (url.find('\\') != std::string::npos) {
      error(url + ": backslash in a URL (only the Windows control reads it; write /)");
      return;
    }
    const std::string scheme = SchemeOf(url);
    const bool fetched = ref.use != Use::kLink;
    if (scheme.size() == 1 || scheme == "file") {
      error(url + ": absolute path, which cannot exist on the reader's machine");
      return;
    }
    const bool from_web = scheme.empty() && base.where == BaseOf::kWeb;
    if (scheme == "http" || scheme == "https" || scheme == "ftp" || url.rfind("//", 0) == 0 ||
        from_web) {
      if (fetched) {
        Add(from, ref.line, Severity::kWarning, url,
            url + " is fetched from the web" + (from_web ? after_base : "") +
                "; an offline reader never sees it");
      }
      return;
    }
    if (!scheme.empty() || base.where == BaseOf::kNowhere) return;  // mailto:, javascript:, data:
    if (url.front() == '/') {
      error(url + ": absolute path, which cannot exist on the reader's machine");
      return;
    }
    std::optional<std::string> fragment;
    const std::string_view rest = PathPart(url, &fragment);
    std::size_t target;
    if (rest.empty() && base.href.empty()) {
      target = from_index;
    } else {
      if (rest.empty() && base.file.empty()) return;  // "#id" after a base that names a folder
      std::optional<std::vector<std::string>> parts = Joined(base.folder, rest);
      if (rest.empty() && parts) parts->push_back(base.file);
      if (!parts) {
        error(url + " leaves the book's folder" + after_base);
        return;
      }
      if (parts->empty() || (!rest.empty() && rest.back() == '/')) {
        error(url + " is a folder, not a file" + after_base);
        return;
      }
      const Resolved resolved = Resolve(*parts);
      switch (resolved.state) {
        case Resolved::kMissing:
          error(url + " not found" + after_base);
          return;
        case Resolved::kFolder:
          error(url + " is a folder, not a file" + after_base);
          return;
        case Resolved::kCaseDiffers:
          error(url + " not found (" + resolved.rel + " exists: letter case differs)" + after_base);
          break;  // followed still: the Windows reader gets it
        case Resolved::kFound:
          break;
      }
      if (const Place& place = PlaceOf(resolved.rel, resolved.path); place.outside) {
        error(OutsideMessage(url, *place.outside));
        return;
      }
      Kind kind = KindByName(resolved.rel);
      if (ref.use == Use::kStylesheet) kind = Kind::kStylesheet;
      target = Reach(resolved, kind);
    }
    if (fragment && !fragment->empty() && Folded(*fragment) != "top") {
      // A page's anchors are complete once it is read: a fragment found there now needs no
      // later look, and the findings stay the same. The others wait for the end of the walk.
      const FileRecord& page = files_[target];
      if (!page.scanned || !page.anchors.count(*fragment)) {
        fragments_.push_back({from_index, ref.line, url, target});
      }
    }
  }

  void CheckFragment(const FragmentUse& use) {
    const FileRecord& page = files_[use.target];
    if (page.kind != Kind::kPage || !page.scanned) return;
    const std::string fragment = PercentDecoded(use.reference.substr(use.reference.find('#') + 1));
    if (page.anchors.count(fragment)) return;
    Add(files_[use.from].rel, use.line, Severity::kWarning, use.reference,
        use.reference + ": " + page.rel + " has no element with id or name \"" + fragment + "\"");
  }

  // Every file and folder once, by what it is rather than by name: a link to a folder above
  // ends there, and one that leaves the book is not walked.
  void NoteUnreached() {
    std::set<std::string> known;  // the files reached, and those never to note
    for (const auto& [key, index] : reached_) known.insert(key);
    for (const std::string& name : options_.ignored) {
      const Resolved resolved = Resolve(text::PathNames(name, "/"));
      if (resolved.state == Resolved::kFound || resolved.state == Resolved::kCaseDiffers) {
        known.insert(KeyOf(PlaceOf(resolved.rel, resolved.path), resolved.rel));
      }
    }
    std::set<std::string> folders_seen{KeyOf(PlaceOf("", root_), "")};
    std::vector<std::pair<std::string, platform::Path>> folders{{"", root_}};
    while (!folders.empty()) {
      const auto [rel, path] = folders.back();
      folders.pop_back();
      const Listing& listing = ListingOf(rel, path);
      for (auto entry = listing.entries.rbegin(); entry != listing.entries.rend(); ++entry) {
        const std::string name = rel.empty() ? entry->name : rel + "/" + entry->name;
        const Place& place = PlaceOf(name, entry->path);
        if (place.outside) continue;
        const std::string key = KeyOf(place, name);
        if (entry->is_directory) {
          if (folders_seen.insert(key).second) folders.emplace_back(name, entry->path);
        } else if (known.insert(key).second) {
          Add(name, 0, Severity::kNote, "", "no reachable page refers to it");
        }
      }
    }
  }

  platform::Path root_;
  platform::Path::String root_real_;  // links resolved, ending in a separator
  const BookOptions& options_;
  std::unordered_map<std::string, Listing> listings_;
  std::unordered_map<std::string, Place> places_;
  std::unordered_map<std::string, std::size_t> reached_;
  std::vector<FileRecord> files_;
  std::deque<FragmentUse> fragments_;
  std::vector<Job> staged_;
  BookReport report_;
};

}  // namespace

BookReport CheckBook(const platform::Path& root, const platform::Path& start_page,
                     const BookOptions& options) {
  // A start page outside the folder is not found in it.
  return Walker(root, options).Run(start_page.NamesAfter(root).value_or(start_page.ToUtf8()));
}

const char* SeverityName(Severity severity) {
  switch (severity) {
    case Severity::kError:
      return "error";
    case Severity::kWarning:
      return "warning";
    case Severity::kNote:
      break;
  }
  return "note";
}

std::string FindingLine(const Finding& finding) {
  std::string line = finding.file;
  if (finding.line > 0) line += ":" + std::to_string(finding.line);
  return text::EscapeControls(line + ": " + SeverityName(finding.severity) + ": " +
                              finding.message);
}

std::string JsonText(std::string_view bytes, bool& escaped) {
  if (text::IsValidUtf8(bytes)) return std::string(bytes);
  static constexpr char kHex[] = "0123456789ABCDEF";
  escaped = true;
  std::string shown;
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::size_t start = at;
    if (text::NextCodePoint(bytes, at) && bytes[start] != '\\') {
      shown.append(bytes, start, at - start);
    } else {
      const auto byte = static_cast<unsigned char>(bytes[start]);
      shown += "\\x";
      shown += kHex[byte >> 4];
      shown += kHex[byte & 0xF];
      at = start + 1;
    }
  }
  return shown;
}

namespace {

std::string Count(std::size_t n, const char* one, const char* many) {
  return (n == 0 ? std::string("no") : std::to_string(n)) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string SummaryText(const BookReport& report) {
  std::string text = Count(report.pages, "page", "pages") + ", " +
                     Count(report.stylesheets, "stylesheet", "stylesheets") + ", " +
                     Count(report.other_files, "other file", "other files") + ": " +
                     Count(report.errors, "error", "errors") + ", " +
                     Count(report.warnings, "warning", "warnings");
  if (report.notes > 0) text += ", " + Count(report.notes, "note", "notes");
  return text;
}

}  // namespace vellum::tools::book
