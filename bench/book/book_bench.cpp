// SPDX-License-Identifier: MIT
// The book check against the parser alone. Writes a generated book to a temporary folder (10 000
// pages of about 20 KiB, 50 references each, by default), then times in the same run, in turns:
// reading and parsing every page once with Gumbo and nothing else, and the whole check. Prints
// the times, their ratio and the check's peak resident memory.
// Usage: vellum_book_bench [PAGES] [ROUNDS]
#include <gumbo.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/platform.h"
#include "tools/book/book_check.h"

namespace {

namespace fs = std::filesystem;
using vellum::platform::Path;
namespace book = vellum::tools::book;

constexpr int kImages = 200;
constexpr int kReferences = 50;
constexpr std::size_t kPageSize = 20 * 1024;

std::string PageName(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "p%05d.html", i);
  return name;
}

std::string Page(int i, int pages, std::mt19937& random) {
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\"><head>\n"
      "<meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\">\n<meta charset=\"utf-8\">\n"
      "<title>Page " +
      std::to_string(i) +
      "</title>\n"
      "<link rel=\"stylesheet\" href=\"style.css\">\n</head><body>\n";
  int references = 1;
  const int per_section = kReferences / 5;
  for (int section = 0; section < 5; ++section) {
    html += "<h2 id=\"s" + std::to_string(section) + "\">Section " + std::to_string(section) +
            "</h2>\n";
    for (int r = 0; r < per_section - (section == 0 ? 2 : 0); ++r, ++references) {
      html +=
          "<p>Folded sheets are gathered into sections and sewn on tapes; the boards are "
          "covered in cloth or leather, and the text block is trimmed ";
      if (r % 3 == 0) {
        html += "<img src=\"images/i" + std::to_string(random() % kImages) + ".png\" alt=\"\">";
      } else {
        html += "<a href=\"" + PageName(static_cast<int>(random() % pages)) + "#s" +
                std::to_string(random() % 5) + "\">see also</a>";
      }
      html += " before the edges are gilt.</p>\n";
    }
  }
  html += "<a href=\"" + PageName((i + 1) % pages) + "\">next</a>\n";
  references += 1;
  html += "<div style=\"background: url(images/i1.png)\"></div>\n";
  while (html.size() < kPageSize) {
    html +=
        "<p>Paper made by hand is formed sheet by sheet on a mould, couched, pressed and "
        "dried; its deckle edges show where the mould's frame held the pulp.</p>\n";
  }
  html += "</body></html>\n";
  return html;
}

void Write(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string Read(const Path& path) {
  const std::unique_ptr<vellum::platform::InputFile> in = vellum::platform::OpenForReading(path);
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(in->SizeHint()));
  char buffer[65536];
  while (const std::size_t n = in->Read(buffer, sizeof buffer)) bytes.append(buffer, n);
  return bytes;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The peak resident set since the last reset, in KiB.
long PeakKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

}  // namespace

int main(int argc, char** argv) {
  const int pages = argc > 1 ? std::max(2, std::atoi(argv[1])) : 10000;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  char pattern[] = "/tmp/vellum-book-bench-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return 2;
  const fs::path root = pattern;
  std::mt19937 random(12345);
  std::size_t bytes = 0;
  std::size_t largest = 0;
  fs::create_directory(root / "images");
  for (int i = 0; i < kImages; ++i)
    Write(root / "images" / ("i" + std::to_string(i) + ".png"), "png");
  Write(root / "style.css", "body { background: url(images/i0.png); }\n");
  for (int i = 0; i < pages; ++i) {
    const std::string page = Page(i, pages, random);
    bytes += page.size();
    largest = std::max(largest, page.size());
    Write(root / PageName(i), page);
  }
  std::printf("book: %d pages, %.1f MiB (largest page %.1f KiB), %d references a page, %u cores\n",
              pages, bytes / 1048576.0, largest / 1024.0, kReferences,
              std::thread::hardware_concurrency());
  double load[3] = {0, 0, 0};
  if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
    if (std::fscanf(f, "%lf %lf %lf", &load[0], &load[1], &load[2]) != 3) load[0] = -1;
    std::fclose(f);
  }
  std::printf("load average at the start: %.2f %.2f %.2f\n", load[0], load[1], load[2]);

  const Path root_path(root.string() + "/");
  std::vector<double> parse_times, check_times, check1_times;
  long peak = 0;
  std::size_t findings = 0;
  for (int round = 0; round < rounds; ++round) {
    // The parser alone: every page read and parsed once, the tree dropped.
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < pages; ++i) {
      const std::string html = Read(root_path.Append(PageName(i)));
      GumboOutput* output =
          gumbo_parse_with_options(&kGumboDefaultOptions, html.data(), html.size());
      gumbo_destroy_output(&kGumboDefaultOptions, output);
    }
    parse_times.push_back(Seconds(start));

    book::BookOptions options;
    options.unreached = true;
    ResetPeak();
    start = std::chrono::steady_clock::now();
    const book::BookReport report =
        book::CheckBook(root_path, root_path.Append(PageName(0)), options);
    check_times.push_back(Seconds(start));
    peak = std::max(peak, PeakKiB());
    findings = report.findings.size();
    if (report.pages != static_cast<std::size_t>(pages)) {
      std::fprintf(stderr, "only %zu of %d pages reached\n", report.pages, pages);
      return 1;
    }

    options.threads = 1;
    start = std::chrono::steady_clock::now();
    book::CheckBook(root_path, root_path.Append(PageName(0)), options);
    check1_times.push_back(Seconds(start));
    std::printf("round %d: parse only %.2f s, check %.2f s (1 thread %.2f s)\n", round + 1,
                parse_times.back(), check_times.back(), check1_times.back());
    std::fflush(stdout);
  }
  const auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  const double parse = median(parse_times);
  const double check = median(check_times);
  const double check1 = median(check1_times);
  std::printf(
      "median: parse only %.2f s, check %.2f s = %.2fx (target <= 1.5x); "
      "1 thread %.2f s = %.2fx\n",
      parse, check, check / parse, check1, check1 / parse);
  std::printf(
      "check peak resident memory: %.1f MiB (target < 64 MiB + largest page); "
      "findings: %zu\n",
      peak / 1024.0, findings);
  fs::remove_all(root);
  return 0;
}
