// SPDX-License-Identifier: MIT
#include "tools/book/book_check.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>

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

std::vector<std::string> SplitPath(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  for (;;) {
    const std::size_t slash = path.find('/', at);
    parts.emplace_back(path.substr(at, slash == std::string_view::npos ? slash : slash - at));
    if (slash == std::string_view::npos) return parts;
    at = slash + 1;
  }
}

struct Listing {
  std::vector<platform::DirectoryEntry> entries;
  std::unordered_map<std::string, std::size_t> exact;
  std::unordered_map<std::string, std::size_t> folded;
};

struct Resolved {
  enum State { kFound, kMissing, kCaseDiffers, kFolder } state = kMissing;
  std::string rel;  // the names as they are on the disk
  platform::Path path;
};

struct FileRecord {
  std::string rel;
  Kind kind = Kind::kOther;
  bool scanned = false;
  std::unordered_set<std::string> anchors;
};

// A reference with a fragment into a page that has not been read yet.
struct FragmentUse {
  std::size_t from;
  int line;
  std::string reference;
};

struct Job {
  std::size_t file;
  platform::Path path;
  Kind kind;
};

struct Done {
  std::size_t file;
  Scan scan;
  std::string failure;  // why the file could not be read
};

Done Process(const Job& job) {
  Done done{job.file, {}, {}};
  try {
    const std::unique_ptr<platform::InputFile> in = platform::OpenForReading(job.path);
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(in->SizeHint()));
    char buffer[65536];
    while (const std::size_t n = in->Read(buffer, sizeof buffer)) bytes.append(buffer, n);
    done.scan = job.kind == Kind::kPage ? ScanPage(bytes) : ScanStylesheet(bytes);
  } catch (const std::exception& e) {
    done.failure = e.what();
  }
  return done;
}

class Walker {
 public:
  Walker(platform::Path root, const BookOptions& options)
      : root_(std::move(root)), options_(options) {}

  BookReport Run(const std::string& start_page) {
    unsigned threads = options_.threads;
    if (threads == 0) threads = std::clamp(std::thread::hardware_concurrency(), 1u, 2u);
    const std::vector<std::string> parts = SplitPath(start_page);
    const Resolved start = Resolve(parts);
    if (start.state == Resolved::kMissing || start.state == Resolved::kFolder) {
      Add(start_page, 0, Severity::kError, start_page,
          start_page +
              (start.state == Resolved::kMissing ? " not found" : " is a folder, not a page"));
    } else {
      Reach(start, Kind::kPage);
    }
    Release();
    if (threads <= 1) {
      while (!jobs_.empty()) {
        const Job job = std::move(jobs_.front());
        jobs_.pop_front();
        Take(Process(job));
        Release();
      }
    } else {
      RunThreads(threads);
    }
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
  void RunThreads(unsigned threads) {
    std::mutex mutex;
    std::condition_variable work_ready;
    std::condition_variable done_ready;
    std::deque<Done> done;
    bool stop = false;
    std::size_t outstanding = jobs_.size();
    std::vector<std::thread> workers;
    for (unsigned i = 0; i < threads; ++i) {
      workers.emplace_back([&] {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
          work_ready.wait(lock, [&] { return stop || !jobs_.empty(); });
          if (jobs_.empty()) return;
          const Job job = std::move(jobs_.front());
          jobs_.pop_front();
          lock.unlock();
          Done result = Process(job);
          lock.lock();
          done.push_back(std::move(result));
          done_ready.notify_one();
        }
      });
    }
    {
      std::unique_lock<std::mutex> lock(mutex);
      work_ready.notify_all();
      while (outstanding > 0) {
        done_ready.wait(lock, [&] { return !done.empty(); });
        Done result = std::move(done.front());
        done.pop_front();
        --outstanding;
        lock.unlock();
        // Only this thread touches the files, listings and findings; the workers share jobs_.
        Take(std::move(result));
        lock.lock();
        outstanding += Release();
        work_ready.notify_all();
      }
      stop = true;
      work_ready.notify_all();
    }
    for (std::thread& worker : workers) worker.join();
  }

  void Add(const std::string& file, int line, Severity severity, const std::string& reference,
           std::string message) {
    report_.findings.push_back(
        {file, line, severity, text::EscapeControls(reference), std::move(message)});
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

  const Listing& ListingOf(const std::string& rel, const platform::Path& path) {
    auto it = listings_.find(rel);
    if (it != listings_.end()) return it->second;
    Listing listing;
    try {
      listing.entries = platform::ListDirectory(path);
    } catch (const platform::PlatformError&) {
      // An unreadable folder holds nothing the reader could see either.
    }
    for (std::size_t i = 0; i < listing.entries.size(); ++i) {
      listing.exact.emplace(listing.entries[i].name, i);
      listing.folded.emplace(Folded(listing.entries[i].name), i);
    }
    return listings_.emplace(rel, std::move(listing)).first->second;
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

  std::size_t Reach(const Resolved& resolved, Kind kind) {
    auto [it, added] = reached_.emplace(resolved.rel, files_.size());
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

  // Hands the files met since the last call to the readers; returns how many.
  std::size_t Release() {
    const std::size_t n = staged_.size();
    for (Job& job : staged_) jobs_.push_back(std::move(job));
    staged_.clear();
    return n;
  }

  void Take(Done done) {
    FileRecord& file = files_[done.file];
    const std::string from = file.rel;
    if (!done.failure.empty()) {
      Add(from, 0, Severity::kError, "", "cannot be read: " + text::EscapeControls(done.failure));
      return;
    }
    if (file.kind == Kind::kPage) {
      file.anchors.insert(done.scan.anchors.begin(), done.scan.anchors.end());
      file.scanned = true;
      if (auto waiting = waiting_.find(done.file); waiting != waiting_.end()) {
        for (const FragmentUse& use : waiting->second) CheckFragment(use, done.file);
        waiting_.erase(waiting);
      }
      if (options_.windows && !done.scan.edge_mode) {
        Add(from, 0, Severity::kWarning, "",
            "no X-UA-Compatible meta asking for IE=edge: the Windows control shows this page in "
            "IE 7 document mode");
      }
    }
    std::vector<std::string> base = SplitPath(from);
    base.pop_back();
    for (const Reference& ref : done.scan.references) Follow(done.file, base, ref);
  }

  void Follow(std::size_t from_index, const std::vector<std::string>& base, const Reference& ref) {
    const std::string from = files_[from_index].rel;
    const std::string url = Cleaned(ref.url);
    const std::string shown = text::EscapeControls(url);
    if (url.empty()) return;
    const auto error = [&](const std::string& message) {
      Add(from, ref.line, Severity::kError, url, message);
    };
    if (url.find('\\') != std::string::npos) {
      error(shown + ": backslash in a URL (only the Windows control reads it; write /)");
      return;
    }
    const std::string scheme = SchemeOf(url);
    const bool fetched = ref.use != Use::kLink;
    if (scheme.size() == 1 || scheme == "file") {
      error(shown + ": absolute path, which cannot exist on the reader's machine");
      return;
    }
    if (scheme == "http" || scheme == "https" || scheme == "ftp" || url.rfind("//", 0) == 0) {
      if (fetched) {
        Add(from, ref.line, Severity::kWarning, url,
            shown + " is fetched from the web; an offline reader never sees it");
      }
      return;
    }
    if (!scheme.empty()) return;  // mailto:, javascript:, data: and the like are not followed
    if (url.front() == '/') {
      error(shown + ": absolute path, which cannot exist on the reader's machine");
      return;
    }
    std::string_view rest = url;
    std::optional<std::string> fragment;
    if (const std::size_t hash = rest.find('#'); hash != std::string_view::npos) {
      fragment = PercentDecoded(rest.substr(hash + 1));
      rest = rest.substr(0, hash);
    }
    if (const std::size_t query = rest.find('?'); query != std::string_view::npos) {
      rest = rest.substr(0, query);
    }
    std::size_t target;
    if (rest.empty()) {
      target = from_index;
    } else {
      std::vector<std::string> parts = base;
      for (const std::string& part : SplitPath(PercentDecoded(rest))) {
        if (part.empty() || part == ".") continue;
        if (part == "..") {
          if (parts.empty()) {
            error(shown + " leaves the book's folder");
            return;
          }
          parts.pop_back();
          continue;
        }
        parts.push_back(part);
      }
      if (parts.empty() || rest.back() == '/') {
        error(shown + " is a folder, not a file");
        return;
      }
      const Resolved resolved = Resolve(parts);
      switch (resolved.state) {
        case Resolved::kMissing:
          error(shown + " not found");
          return;
        case Resolved::kFolder:
          error(shown + " is a folder, not a file");
          return;
        case Resolved::kCaseDiffers:
          error(shown + " not found (" + text::EscapeControls(resolved.rel) +
                " exists: letter case differs)");
          break;  // followed still: the Windows reader gets it
        case Resolved::kFound:
          break;
      }
      Kind kind = KindByName(resolved.rel);
      if (ref.use == Use::kStylesheet) kind = Kind::kStylesheet;
      target = Reach(resolved, kind);
    }
    if (fragment && !fragment->empty() && Folded(*fragment) != "top" &&
        files_[target].kind == Kind::kPage) {
      FragmentUse use{from_index, ref.line, url};
      if (files_[target].scanned) {
        CheckFragment(use, target);
      } else {
        waiting_[target].push_back(std::move(use));
      }
    }
  }

  void CheckFragment(const FragmentUse& use, std::size_t target) {
    const std::string fragment = PercentDecoded(use.reference.substr(use.reference.find('#') + 1));
    const FileRecord& page = files_[target];
    if (page.anchors.count(fragment)) return;
    Add(files_[use.from].rel, use.line, Severity::kWarning, use.reference,
        text::EscapeControls(use.reference) + ": " + text::EscapeControls(page.rel) +
            " has no element with id or name \"" + text::EscapeControls(fragment) + "\"");
  }

  void NoteUnreached() {
    std::unordered_set<std::string> ignored(options_.ignored.begin(), options_.ignored.end());
    std::vector<std::pair<std::string, platform::Path>> folders{{"", root_}};
    while (!folders.empty()) {
      const auto [rel, path] = folders.back();
      folders.pop_back();
      const Listing& listing = ListingOf(rel, path);
      for (const platform::DirectoryEntry& entry : listing.entries) {
        const std::string name = rel.empty() ? entry.name : rel + "/" + entry.name;
        if (entry.is_directory) {
          folders.emplace_back(name, entry.path);
        } else if (!reached_.count(name) && !ignored.count(name)) {
          Add(name, 0, Severity::kNote, "", "no reachable page refers to it");
        }
      }
    }
  }

  platform::Path root_;
  const BookOptions& options_;
  std::unordered_map<std::string, Listing> listings_;
  std::unordered_map<std::string, std::size_t> reached_;
  std::vector<FileRecord> files_;
  std::unordered_map<std::size_t, std::vector<FragmentUse>> waiting_;
  std::deque<Job> jobs_;
  std::deque<Job> staged_;
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
  std::string line = text::EscapeControls(finding.file);
  if (finding.line > 0) line += ":" + std::to_string(finding.line);
  return line + ": " + SeverityName(finding.severity) + ": " + finding.message;
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
