// SPDX-License-Identifier: MIT
// Decoding and loading a settings line of 1 KiB and of 256 MiB, measured against a plain copy of
// the same bytes and against reading the same file whole into memory. After the runs it prints
// the ratios the loader is held to, from the medians when repetitions are asked for, and the peak
// memory of loading the large file, measured in a fresh process.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "settings/scramble.h"
#include "settings/settings.h"

namespace {

namespace fs = std::filesystem;
using vellum::settings::ByteString;

constexpr std::int64_t kSmall = std::int64_t{1} << 10;
constexpr std::int64_t kLarge = std::int64_t{256} << 20;
constexpr char kLoadOnceFlag[] = "--load-once";

// The plain text of a valid record whose scrambled form is `scrambled_size` characters: the
// viewer's fields hold ordinary values and the other 39 fields share the rest evenly.
ByteString MakePlain(std::size_t scrambled_size) {
  using namespace vellum::settings;
  std::vector<ByteString> fields(kFieldCount);
  fields[kWindowHeightField] = "600";
  fields[kWindowWidthField] = "800";
  fields[kStartPageField] = "pages/index.html";
  fields[kWindowTitleField] = "Benchmark";
  fields[kBorderModeField] = "1";
  std::vector<std::size_t> others;
  std::size_t used = kFieldCount - 1;  // the separators
  for (std::size_t i = 0; i < kFieldCount; ++i) {
    if (fields[i].empty()) others.push_back(i);
    used += fields[i].size();
  }
  const std::size_t size = scrambled_size / 2;
  if (used > size) throw std::logic_error("settings line too short for 44 fields");
  const std::size_t share = (size - used) / others.size();
  std::size_t extra = (size - used) % others.size();
  for (std::size_t i : others) {
    const std::size_t length = share + (extra > 0 ? 1 : 0);
    if (extra > 0) --extra;
    for (std::size_t j = 0; j < length; ++j) fields[i] += static_cast<char>('a' + (i + j) % 26);
  }
  ByteString plain;
  plain.reserve(size);
  for (std::size_t i = 0; i < kFieldCount; ++i) {
    if (i > 0) plain += kFieldSeparator;
    plain += fields[i];
  }
  return plain;
}

// The scrambled settings line of `size` characters, built once per size.
const ByteString& Line(std::int64_t size) {
  static std::map<std::int64_t, ByteString> lines;
  auto it = lines.find(size);
  if (it == lines.end()) {
    const ByteString plain = MakePlain(static_cast<std::size_t>(size));
    it = lines.emplace(size, vellum::settings::EncodeScrambledHex(plain)).first;
  }
  return it->second;
}

// A folder of settings files for this run, removed when the program ends.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "vellum-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a folder");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// The settings file holding Line(size) and a CR LF, written once per size.
std::string SettingsFile(std::int64_t size) {
  static TempFolder folder;
  const fs::path path = folder.path() / ("Vellum-" + std::to_string(size) + ".ini");
  if (!fs::exists(path)) {
    std::ofstream out(path, std::ios::binary);
    const ByteString& line = Line(size);
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
    out << "\r\n";
    if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
  }
  return path.string();
}

void BM_Copy(benchmark::State& state) {
  const ByteString& line = Line(state.range(0));
  std::vector<char> target(line.size(), '\0');  // touched once, so no page faults are timed
  for (auto _ : state) {
    std::memcpy(target.data(), line.data(), line.size());
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

// The same copy into a new string, which pays for fresh memory as decoding does.
void BM_CopyToNewString(benchmark::State& state) {
  const ByteString& line = Line(state.range(0));
  for (auto _ : state) {
    ByteString copy(line);
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_Decode(benchmark::State& state) {
  const ByteString& line = Line(state.range(0));
  for (auto _ : state) {
    ByteString plain = vellum::settings::DecodeScrambledHex(line);
    benchmark::DoNotOptimize(plain.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

// Reading the whole file into memory with nothing else done: the floor for loading it.
void BM_ReadWhole(benchmark::State& state) {
  const std::string path = SettingsFile(state.range(0));
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
      state.SkipWithError("cannot open the settings file");
      break;
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    std::unique_ptr<char[]> content(new char[size]);
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = ::read(fd, content.get() + done, size - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    benchmark::DoNotOptimize(content.get());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_Load(benchmark::State& state) {
  const std::string path = SettingsFile(state.range(0));
  for (auto _ : state) {
    vellum::settings::LoadOutcome outcome = vellum::settings::LoadSettingsFile(path);
    if (!outcome.ok()) {
      state.SkipWithError("the settings file did not load");
      break;
    }
    benchmark::DoNotOptimize(outcome.record.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_Copy)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_CopyToNewString)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_Decode)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_ReadWhole)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);

// Prints the runs as usual and keeps, per benchmark, the median (or the only run).
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  explicit SummaryReporter(OutputOptions options) : ConsoleReporter(options) {}

  struct Figures {
    double cpu_seconds = 0;
    double bytes_per_second = 0;
  };

  void ReportRuns(const std::vector<Run>& reports) override {
    ConsoleReporter::ReportRuns(reports);
    for (const Run& run : reports) {
      if (run.error_occurred) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      if (!median && !single) continue;
      Figures figures;
      figures.cpu_seconds =
          run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
      if (auto it = run.counters.find("bytes_per_second"); it != run.counters.end()) {
        figures.bytes_per_second = it->second.value;
      }
      figures_[run.run_name.function_name + "/" + run.run_name.args] = figures;
    }
  }

  const Figures* Find(const std::string& name, std::int64_t size) const {
    auto it = figures_.find(name + "/" + std::to_string(size));
    return it == figures_.end() ? nullptr : &it->second;
  }

 private:
  std::map<std::string, Figures> figures_;
};

const char* SizeName(std::int64_t size) { return size == kSmall ? "1 KiB" : "256 MiB"; }

void PrintRatios(const SummaryReporter& reporter) {
  std::printf("\nSettings loader figures (medians, CPU time):\n");
  for (std::int64_t size : {kSmall, kLarge}) {
    const auto* copy = reporter.Find("BM_Copy", size);
    const auto* fresh = reporter.Find("BM_CopyToNewString", size);
    const auto* decode = reporter.Find("BM_Decode", size);
    if (copy == nullptr || fresh == nullptr || decode == nullptr) continue;
    if (copy->bytes_per_second <= 0 || fresh->bytes_per_second <= 0) continue;
    std::printf(
        "  decode %-7s: %8.0f MiB/s; memcpy into a reused buffer %8.0f MiB/s, ratio %.2f; "
        "copy into a new string %8.0f MiB/s, ratio %.2f (target >= 0.50)\n",
        SizeName(size), decode->bytes_per_second / (1 << 20), copy->bytes_per_second / (1 << 20),
        decode->bytes_per_second / copy->bytes_per_second, fresh->bytes_per_second / (1 << 20),
        decode->bytes_per_second / fresh->bytes_per_second);
  }
  for (std::int64_t size : {kSmall, kLarge}) {
    const auto* read = reporter.Find("BM_ReadWhole", size);
    const auto* load = reporter.Find("BM_Load", size);
    if (read != nullptr && load != nullptr && read->cpu_seconds > 0) {
      std::printf("  load   %-7s: %10.3f ms, read whole %10.3f ms, ratio %.2f%s\n", SizeName(size),
                  load->cpu_seconds * 1e3, read->cpu_seconds * 1e3,
                  load->cpu_seconds / read->cpu_seconds, size == kLarge ? " (target < 3.00)" : "");
    }
  }
  std::fflush(stdout);
}

// The process's peak resident set so far, in bytes (VmHWM).
std::int64_t PeakResident() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atoll(line.c_str() + 6) * 1024;
  }
  return -1;
}

// Run in a fresh process: loads `path` once and prints how far the peak resident set grew.
int LoadOnce(const char* path) {
  const std::int64_t file_size = static_cast<std::int64_t>(fs::file_size(path));
  const std::int64_t before = PeakResident();
  const vellum::settings::LoadOutcome outcome = vellum::settings::LoadSettingsFile(path);
  const std::int64_t after = PeakResident();
  if (!outcome.ok() || before < 0 || after < 0) {
    std::printf("  peak memory: the load failed (%s)\n", outcome.cause.c_str());
    return 1;
  }
  std::printf(
      "  peak memory of loading the %s file: +%.1f MiB over the %.1f MiB before it, "
      "ratio %.2f of the file's %.1f MiB (target < 2.50); whole process %.2f\n",
      SizeName(kLarge), static_cast<double>(after - before) / (1 << 20),
      static_cast<double>(before) / (1 << 20),
      static_cast<double>(after - before) / static_cast<double>(file_size),
      static_cast<double>(file_size) / (1 << 20),
      static_cast<double>(after) / static_cast<double>(file_size));
  return 0;
}

// Measures the peak memory of the large load in a fresh copy of this program.
void MeasurePeakMemory() {
  const std::string path = SettingsFile(kLarge);
  std::fflush(stdout);
  const pid_t child = ::fork();
  if (child == 0) {
    char flag[sizeof kLoadOnceFlag];
    std::memcpy(flag, kLoadOnceFlag, sizeof kLoadOnceFlag);
    std::string arg = path;
    char self[] = "/proc/self/exe";
    char* argv[] = {self, flag, arg.data(), nullptr};
    ::execv(self, argv);
    ::_exit(127);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    std::printf("  peak memory: the measuring process failed\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], kLoadOnceFlag) == 0) return LoadOnce(argv[2]);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  SummaryReporter reporter(::isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_ColorTabular
                                                   : benchmark::ConsoleReporter::OO_Tabular);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintRatios(reporter);
  MeasurePeakMemory();
  benchmark::Shutdown();
  return 0;
}
