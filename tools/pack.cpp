// SPDX-License-Identifier: MIT
#include "tools/pack.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <vector>

#include "platform/files.h"
#include "platform/platform.h"
#include "tools/archive.h"
#include "tools/inspect.h"

namespace vellum::tools {

namespace {

constexpr char kLinuxViewer[] = "vellum";
constexpr char kWindowsViewer[] = "Vellum.exe";
constexpr int kDeepestFolder = 64;

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string ReadAll(const platform::Path& file) {
  const std::unique_ptr<platform::InputFile> input = platform::OpenForReading(file);
  std::string data;
  data.reserve(static_cast<std::size_t>(input->SizeHint()));
  char buffer[1 << 16];
  for (std::size_t n; (n = input->Read(buffer, sizeof buffer)) > 0;) data.append(buffer, n);
  return data;
}

// Every file and folder under `folder`, named from `prefix` on, but those `skip` names at the
// top.
void Collect(const platform::Path& folder, const std::string& prefix,
             const std::vector<std::string>& skip, int depth, std::vector<ArchiveEntry>& entries) {
  if (depth > kDeepestFolder) {
    throw std::runtime_error(prefix + ": folders nested too deep (a link to a folder above?)");
  }
  for (const platform::DirectoryEntry& item : platform::ListDirectory(folder)) {
    if (depth == 0 && std::find(skip.begin(), skip.end(), item.name) != skip.end()) continue;
    const std::string name = prefix + item.name;
    if (item.is_directory) {
      entries.push_back({name + "/", "", 0755});
      Collect(item.path, name + "/", {}, depth + 1, entries);
    } else {
      entries.push_back({name, ReadAll(item.path), 0644});
    }
  }
}

std::int64_t ArchiveTime() {
  // SOURCE_DATE_EPOCH, where set, makes the same book give the same archive.
  if (const char* fixed = std::getenv("SOURCE_DATE_EPOCH")) {
    char* end = nullptr;
    const long long value = std::strtoll(fixed, &end, 10);
    if (end != fixed && *end == '\0') return value;
  }
  return static_cast<std::int64_t>(std::time(nullptr));
}

}  // namespace

int Pack(const PackOptions& options, std::ostream& out) {
  const SettingsLocation location = LocateForViewer(options.path);
  const platform::Path& directory = location.directory;
  const platform::Path folder_path =
      platform::Path::Native(directory.native().substr(0, directory.native().size() - 1));
  const std::string folder_name = folder_path.FileName().ToUtf8();

  std::string format = options.format;
  if (format.empty()) {
    format =
        EndsWith(options.output, ".tar.gz") || EndsWith(options.output, ".tgz") ? "tar.gz" : "zip";
  }
  const platform::Path output = options.output.empty() ? folder_path.Append("." + format)
                                                       : platform::Path::FromUtf8(options.output);
  const bool both = !options.linux_viewer && !options.windows_viewer;

  // The archive itself, when it is written into the book folder, is not part of the book.
  std::vector<std::string> skip = {kLinuxViewer, kWindowsViewer};
  const platform::Path output_folder =
      output.Directory().empty() ? platform::Path(".") : output.Directory();
  if (platform::KindOf(output_folder) == platform::PathKind::kDirectory &&
      platform::CanonicalDirectory(output_folder) == directory) {
    skip.push_back(output.NamesAfter(output.Directory()).value_or(""));
  }

  std::vector<ArchiveEntry> entries;
  entries.push_back({folder_name + "/", "", 0755});
  Collect(directory, folder_name + "/", skip, 0, entries);

  // The viewers: from beside this tool, else the book's own copy.
  const platform::Path tool_folder = platform::RunningProgramPath().Directory();
  std::vector<std::string> added;
  std::vector<std::string> left_out;
  struct Viewer {
    const char* file;
    const char* system;
    bool asked;
    unsigned mode;
  };
  for (const Viewer& viewer : {Viewer{kLinuxViewer, "Linux", options.linux_viewer, 0755},
                               Viewer{kWindowsViewer, "Windows", options.windows_viewer, 0644}}) {
    const std::string what = std::string(viewer.file) + " (the " + viewer.system + " viewer)";
    if (!both && !viewer.asked) {
      left_out.push_back(what + ": not asked for");
      continue;
    }
    std::string data;
    std::string from;
    const std::pair<platform::Path, const char*> places[] = {
        {tool_folder.Append(viewer.file), "from beside vellum-settings"},
        {directory.Append(viewer.file), "the book's own copy"}};
    for (const auto& [place, description] : places) {
      try {
        data = ReadAll(place);
        from = description;
        break;
      } catch (const platform::PlatformError&) {
      }
    }
    if (from.empty()) {
      const std::string why =
          what + ": none beside vellum-settings (" + tool_folder.ToUtf8() + ") or in the book";
      if (viewer.asked) throw std::runtime_error("cannot add " + why);
      left_out.push_back(why);
      continue;
    }
    entries.push_back({folder_name + "/" + viewer.file, std::move(data), viewer.mode});
    added.push_back(std::string(viewer.file) + " " + from);
  }
  std::sort(entries.begin(), entries.end(),
            [](const ArchiveEntry& a, const ArchiveEntry& b) { return a.name < b.name; });

  const std::int64_t time = ArchiveTime();
  const std::string archive = format == "zip" ? MakeZip(entries, time) : MakeTarGz(entries, time);
  platform::WriteFileReplacing(output, archive, platform::Overwrite::kReplace);

  std::size_t files = 0;
  for (const ArchiveEntry& entry : entries) files += entry.name.back() == '/' ? 0 : 1;
  out << "packed: " << output.ToUtf8() << ": " << files << (files == 1 ? " file" : " files");
  for (const std::string& viewer : added) out << "; " << viewer;
  out << "\n";
  for (const std::string& why : left_out) out << "left out: " << why << "\n";
  return 0;
}

std::optional<std::string> ViewerModeWarning(const platform::Path& directory) {
  const std::optional<bool> executable = platform::IsExecutableFile(directory.Append(kLinuxViewer));
  if (!executable || *executable) return std::nullopt;
  return std::string(kLinuxViewer) +
         ": not executable: a reader's file manager will not start it; deliver the book with "
         "\"vellum-settings pack\" or as a .tar.gz";
}

}  // namespace vellum::tools
