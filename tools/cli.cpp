// SPDX-License-Identifier: MIT
#include "tools/cli.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <istream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>

#include "platform/files.h"
#include "settings/settings.h"
#include "text/text.h"
#ifdef VELLUM_HAVE_BOOK_CHECK
#include "tools/book/book_check.h"
#endif
#include "tools/inspect.h"
#include "tools/pack.h"
#include "tools/settings_edit.h"
#include "tools/text_encoding.h"
#include "viewer/Unit1.h"

#ifndef VELLUM_VERSION
#define VELLUM_VERSION "unknown"
#endif

namespace vellum::tools {

using platform::FileError;
using platform::FileLock;
using platform::FinalTarget;
using platform::KindOf;
using platform::Overwrite;
using platform::Path;
using platform::PathKind;
using platform::ReadAs;
using platform::ReadWholeFile;
using platform::WriteFileReplacing;

namespace {

using json = nlohmann::ordered_json;

constexpr char kProgram[] = "vellum-settings";

// An error that already names its file, or needs no file.
class ToolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Settings bytes for a terminal: the viewer's display rule, control characters escaped.
std::string Shown(std::string_view bytes) { return text::EscapeControls(DisplayText(bytes)); }

std::string Quoted(std::string_view bytes) { return "\"" + Shown(bytes) + "\""; }

// A file's name for a message: UTF-8, control characters escaped.
std::string Named(const Path& path) { return text::EscapeControls(path.ToUtf8()); }

// The first line of standard input, found as the viewer finds it in a file.
class StreamInputFile final : public platform::InputFile {
 public:
  explicit StreamInputFile(std::istream& in) : in_(in) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    in_.read(buffer, static_cast<std::streamsize>(size));
    if (in_.bad()) throw ToolError("standard input: cannot read");
    return static_cast<std::size_t>(in_.gcount());
  }
  std::uint64_t SizeHint() const override { return 0; }

 private:
  std::istream& in_;
};

bool IsStandardStream(const std::string& path) { return path.empty() || path == "-"; }

// --- show and check ----------------------------------------------------------------------------

std::string StatusName(settings::LoadStatus status) {
  switch (status) {
    case settings::LoadStatus::kSuccess:
      return "ok";
    case settings::LoadStatus::kReadFailure:
      return "read failure";
    case settings::LoadStatus::kWrongFieldCount:
      return "wrong field count";
  }
  return "";
}

std::string WindowDescription(const Inspection& ins) {
  const ViewerRun& run = ins.run;
  if (run.main_window.maximized) return "maximized";
  const std::string border =
      run.main_window.border == platform::Border::FixedDialog ? "fixed border" : "resizable border";
  if (run.main_window.outer_height && run.main_window.outer_width) {
    return "outer size " + std::to_string(*run.main_window.outer_width) + " x " +
           std::to_string(*run.main_window.outer_height) + ", " + border;
  }
  if (run.main_window.outer_height) {
    return "outer height " + std::to_string(*run.main_window.outer_height) +
           ", width left at the design size (see the error report)";
  }
  return "the design size (see the error report)";
}

std::string PageDescription(PageState page) {
  switch (page) {
    case PageState::kFound:
      return "found";
    case PageState::kFolder:
      return "a folder, not a page";
    case PageState::kMissing:
      return "NOT FOUND";
    case PageState::kNotOpened:
      break;
  }
  return "not opened";
}

std::string ProblemLine(const Problem& problem) {
  std::string line = problem.kind;
  if (!problem.caption.empty()) line += " \"" + text::EscapeControls(problem.caption) + "\"";
  line += ": " + text::EscapeControls(problem.text);
  if (!problem.detail.empty()) line += "  (" + text::EscapeControls(problem.detail) + ")";
  return line;
}

json JsonText(const ByteString& bytes) { return DisplayText(bytes); }

// Which fields `show` prints: the named ones the viewer uses, or all 44 by index as well.
enum class Fields { kNamed, kAll };
enum class Format { kText, kJson };

json InspectionJson(const Inspection& ins, Fields which) {
  json doc;
  doc["file"] = ins.location.file.ToUtf8();
  doc["program"] = ins.program_path.ToUtf8();
  doc["status"] = StatusName(ins.run.load.status);
  doc["field_count"] = ins.run.load.record.size();
  if (ins.run.load.ok()) {
    const settings::ViewerSettings& v = ins.run.load.viewer;
    json& values = doc["values"];
    for (const settings::ViewerField& field : settings::kViewerFields) {
      values[std::string(field.name)] = JsonText(v.*field.value);
    }
    doc["title"] = TitleText(ins.run.main_window.title);
    json window;
    window["maximized"] = ins.run.main_window.maximized;
    window["outer_width"] =
        ins.run.main_window.outer_width ? json(*ins.run.main_window.outer_width) : json(nullptr);
    window["outer_height"] =
        ins.run.main_window.outer_height ? json(*ins.run.main_window.outer_height) : json(nullptr);
    window["border"] =
        ins.run.main_window.border == platform::Border::FixedDialog ? "fixed" : "resizable";
    doc["window"] = window;
  } else {
    doc["values"] = nullptr;
    doc["title"] = nullptr;
    doc["window"] = nullptr;
  }
  if (ins.page != PageState::kNotOpened) {
    doc["start_page"] = {{"path", ins.start_page_path.ToUtf8()},
                         {"exists", ins.page == PageState::kFound},
                         {"is_folder", ins.page == PageState::kFolder}};
  } else {
    doc["start_page"] = nullptr;
  }
  json problems = json::array();
  for (const Problem& p : ins.problems) {
    problems.push_back(
        {{"kind", p.kind}, {"caption", p.caption}, {"text", p.text}, {"detail", p.detail}});
  }
  doc["problems"] = problems;
  doc["notes"] = ins.notes;
  if (which == Fields::kAll) {
    json fields = json::array();
    for (const ByteString& field : ins.run.load.record) fields.push_back(JsonText(field));
    doc["fields"] = fields;
  }
  return doc;
}

void PrintFields(const Inspection& ins, std::ostream& out) {
  out << "Fields:        " << ins.run.load.record.size() << "\n";
  for (std::size_t i = 0; i < ins.run.load.record.size(); ++i) {
    char index[32];
    std::snprintf(index, sizeof index, "  [%2zu] ", i);
    out << index << Quoted(ins.run.load.record[i]);
    if (const std::string_view name = ViewerFieldName(i); !name.empty()) out << "  " << name;
    out << "\n";
  }
}

int Show(const std::string& path, Fields which, Format format, std::ostream& out) {
  const SettingsLocation location = LocateForViewer(path);
  if (KindOf(location.file) == PathKind::kMissing) {
    throw FileError(location.file, "no such file");
  }
  const Inspection ins = Inspect(location);
  if (format == Format::kJson) {
    out << InspectionJson(ins, which).dump(2) << "\n";
    return kExitOk;
  }
  out << "Settings file: " << Named(ins.location.file) << "\n";
  if (!ins.run.load.ok()) {
    out << "Viewer:        shows a message and ends\n";
  } else {
    out << "Title:         \"" << text::EscapeControls(TitleText(ins.run.main_window.title))
        << "\"\n";
    out << "Start page:    " << Named(ins.start_page_path) << " (" << PageDescription(ins.page)
        << ")\n";
    out << "Window:        " << WindowDescription(ins) << "\n";
    const settings::ViewerSettings& v = ins.run.load.viewer;
    out << "Size fields:   WindowHeight " << Quoted(v.WindowHeight) << ", WindowWidth "
        << Quoted(v.WindowWidth) << ", BorderMode " << Quoted(v.BorderMode) << "\n";
  }
  for (const Problem& p : ins.problems) out << "Problem:       " << ProblemLine(p) << "\n";
  for (const std::string& note : ins.notes) {
    out << "Note:          " << text::EscapeControls(note) << "\n";
  }
  if (which == Fields::kAll) PrintFields(ins, out);
  return kExitOk;
}

struct CheckOptions {
  std::string path;
  bool settings_only = false;
  std::string platform = "windows";
  bool unreached = false;
  bool as_json = false;
  bool strict = false;
};

int Check(const CheckOptions& options, std::ostream& out) {
  const Inspection ins = Inspect(LocateForViewer(options.path));
  const std::string file = Named(ins.location.file);
  int code = ins.problems.empty() ? kExitOk : kExitProblems;
  const std::optional<std::string> viewer_warning = ViewerModeWarning(ins.location.directory);
  if (viewer_warning && options.strict) code = kExitProblems;
  json doc;
  if (options.as_json) {
    doc["settings"] = InspectionJson(ins, Fields::kNamed);
    if (viewer_warning) doc["viewer_warning"] = *viewer_warning;
  } else {
    for (const Problem& p : ins.problems) out << "problem: " << ProblemLine(p) << "\n";
    for (const std::string& note : ins.notes) out << "note: " << text::EscapeControls(note) << "\n";
    if (viewer_warning) out << "warning: " << *viewer_warning << "\n";
    if (ins.problems.empty()) {
      out << "ok: " << file << ": the viewer starts without a message and opens "
          << Named(ins.start_page_path) << "\n";
    } else {
      const std::size_t n = ins.problems.size();
      out << file << ": " << n << (n == 1 ? " problem" : " problems") << "\n";
    }
  }
  if (options.settings_only) {
    if (options.as_json) {
      doc["exit_code"] = code;
      out << doc.dump(2) << "\n";
    }
    return code;
  }
#ifdef VELLUM_HAVE_BOOK_CHECK
  const std::optional<std::string> start = ins.start_page_path.NamesAfter(ins.location.directory);
  if (ins.page != PageState::kFound || !start) {
    // The settings problems above already say why no page opens.
    if (options.as_json) {
      doc["book"] = nullptr;
    } else {
      out << "book: not walked: the viewer opens no page of the book\n";
    }
  } else {
    book::BookOptions book_options;
    book_options.windows = options.platform != "linux";
    book_options.unreached = options.unreached;
    for (const Path& own : {ins.location.file, ins.program_path}) {
      book_options.ignored.push_back(own.NamesAfter(ins.location.directory).value_or(""));
    }
    const book::BookReport report =
        book::CheckBook(ins.location.directory, ins.start_page_path, book_options);
    if (report.errors > 0 || (options.strict && report.warnings > 0)) code = kExitProblems;
    if (options.as_json) {
      json findings = json::array();
      for (const book::Finding& f : report.findings) {
        bool escaped = false;
        json finding = {{"file", book::JsonText(f.file, escaped)},
                        {"line", f.line},
                        {"severity", book::SeverityName(f.severity)},
                        {"reference", book::JsonText(f.reference, escaped)},
                        {"message", book::JsonText(f.message, escaped)}};
        // Names that are not UTF-8 are carried as text with \xNN for their other bytes.
        finding["escaped"] = escaped;
        findings.push_back(std::move(finding));
      }
      bool start_escaped = false;
      doc["book"] = {{"walked", true},
                     {"folder", ins.location.directory.ToUtf8()},
                     {"start_page", book::JsonText(*start, start_escaped)},
                     {"start_page_escaped", start_escaped},
                     {"pages", report.pages},
                     {"stylesheets", report.stylesheets},
                     {"other_files", report.other_files},
                     {"errors", report.errors},
                     {"warnings", report.warnings},
                     {"notes", report.notes},
                     {"findings", findings},
                     {"summary", book::SummaryText(report)}};
    } else {
      for (const book::Finding& f : report.findings) out << book::FindingLine(f) << "\n";
      out << "book: " << book::SummaryText(report) << "\n";
    }
  }
#else
  // A walk that did not happen is no success: a warning, which --strict makes fail.
  const std::string why = "this build of " + std::string(kProgram) + " has no HTML parser";
  if (options.strict) code = kExitProblems;
  if (options.as_json) {
    doc["book"] = {{"walked", false}, {"reason", why}, {"errors", 0}, {"warnings", 1}};
  } else {
    out << "warning: book not walked: " << why << "\n";
  }
#endif
  if (options.as_json) {
    doc["exit_code"] = code;
    out << doc.dump(2) << "\n";
  }
  return code;
}

// --- new and set -------------------------------------------------------------------------------

struct EditOptions {
  std::string path;
  std::string title;
  std::string start_page;
  std::string size;
  bool maximized = false;
  bool fixed_border = false;
  bool resizable = false;
  std::vector<std::string> fields;
  bool force = false;
  std::string encoding = "windows-1252";
};

SettingsChanges ChangesFrom(const EditOptions& options, const CLI::App& command) {
  SettingsChanges changes;
  if (command.count("--title")) changes.title = options.title;
  if (command.count("--start-page")) changes.start_page = options.start_page;
  if (command.count("--size")) {
    changes.window = WindowMode::kSized;
    changes.size = ParseWindowSize(options.size);
  } else if (options.maximized) {
    changes.window = WindowMode::kMaximized;
  }
  if (options.fixed_border) changes.border = BorderChoice::kFixed;
  if (options.resizable) changes.border = BorderChoice::kResizable;
  for (const std::string& field : options.fields) {
    changes.fields.push_back(ParseFieldAssignment(field));
  }
  return changes;
}

void WarnAboutStartPage(const SettingsLocation& location, const settings::SettingsRecord& record,
                        std::ostream& err) {
  // The file the viewer will open, found by its rules.
  const Path page = location.directory.Append(record[settings::kStartPageField]);
  if (KindOf(page) != PathKind::kFile) {
    err << kProgram << ": warning: the start page " << Named(page) << " is not there yet\n";
  }
}

// Runs `body`, putting the file's name in front of any message that lacks it.
template <typename Body>
int ForFile(const Path& file, Body&& body) {
  try {
    return body();
  } catch (const UsageError& e) {
    throw ToolError(Named(file) + ": " + e.what());
  } catch (const EncodingError& e) {
    throw ToolError(Named(file) + ": " + e.what());
  }
}

// A new file's path: an existing folder, or a file name ending in ".ini" (so that a mistyped
// folder does not silently become a settings file of that name).
void RequireFolderOrIniName(const std::string& path) {
  const Path given = Path::FromUtf8(path);
  if (KindOf(given) == PathKind::kDirectory) return;
  if (text::LowerAscii(path.size() >= 4 ? path.substr(path.size() - 4) : path) != ".ini") {
    throw FileError(given, "no such folder (to name a file, end its name in .ini)");
  }
}

int New(const EditOptions& options, const CLI::App& command, std::ostream& out, std::ostream& err) {
  RequireFolderOrIniName(options.path);
  const SettingsLocation location = LocateAnyFile(options.path);
  return ForFile(location.file, [&] {
    const TextEncoding encoding = TextEncoding::Named(options.encoding);
    SettingsChanges changes = ChangesFrom(options, command);
    if (changes.window == WindowMode::kUnchanged) changes.window = WindowMode::kMaximized;
    if (changes.border == BorderChoice::kUnchanged) changes.border = BorderChoice::kResizable;
    const settings::SettingsRecord record = ApplyChanges(EmptyRecord(), changes, encoding);
    const ByteString line = settings::EncodeScrambledHex(JoinFields(record));
    // A file that is there is replaced (with --force) only in turn with other runs.
    const std::unique_ptr<FileLock> lock =
        options.force ? FileLock::Acquire(location.file) : nullptr;
    WriteFileReplacing(location.file, line + kLineBreak,
                       options.force ? Overwrite::kReplace : Overwrite::kRefuse);
    out << "Wrote " << Named(location.file) << "\n";
    WarnAboutStartPage(location, record, err);
    return kExitOk;
  });
}

int Set(const EditOptions& options, const CLI::App& command, std::ostream& out, std::ostream& err) {
  const SettingsLocation location = LocateAnyFile(options.path);
  return ForFile(location.file, [&] {
    const TextEncoding encoding = TextEncoding::Named(options.encoding);
    const SettingsChanges changes = ChangesFrom(options, command);
    if (!changes.title && !changes.start_page && changes.window == WindowMode::kUnchanged &&
        changes.border == BorderChoice::kUnchanged && changes.fields.empty()) {
      throw UsageError("nothing to change (see " + std::string(kProgram) + " set --help)");
    }
    // Through symbolic links to the file they end in; the whole read-modify-write in turn with
    // other runs, so that no change is lost.
    const Path target = FinalTarget(location.file);
    const std::unique_ptr<FileLock> lock = FileLock::Acquire(target);
    if (!lock) throw UsageError("no such file (use 'new' to make one)");
    // Loaded first: a file the viewer refuses at once is refused here as fast.
    const settings::LoadOutcome load = settings::LoadSettingsFrom(lock->file());
    settings::SettingsRecord record = load.record;
    if (!load.ok()) {
      const std::string why = load.status == settings::LoadStatus::kWrongFieldCount
                                  ? std::to_string(load.record.size()) + " fields instead of " +
                                        std::to_string(settings::kFieldCount)
                                  : load.cause;
      if (!options.force) {
        throw UsageError(std::string("the viewer cannot read it (") +
                         settings::FailureMessage(load.status) + " " + why +
                         "); left untouched, use --force to change it anyway");
      }
      err << kProgram << ": warning: " << Named(location.file) << ": "
          << settings::FailureMessage(load.status) << " " << why << "; "
          << (record.empty() ? "starting from empty fields"
                             : "fields past the last are dropped, missing ones added empty")
          << "\n";
      record.resize(settings::kFieldCount);
    }
    const std::optional<ByteString> raw = ReadWholeFile(target, ReadAs::kSettingsFile);
    if (!raw) throw UsageError("no such file (use 'new' to make one)");
    record = ApplyChanges(std::move(record), changes, encoding);
    const ByteString line = settings::EncodeScrambledHex(JoinFields(record));
    WriteFileReplacing(target, line + AfterFirstLine(*raw), Overwrite::kReplace);
    out << "Wrote " << Named(target);
    if (target != location.file)
      out << " (the file the link " << Named(location.file) << " leads to)";
    out << "\n";
    if (changes.start_page) WarnAboutStartPage(location, record, err);
    return kExitOk;
  });
}

// --- decode and encode -------------------------------------------------------------------------

struct CodecOptions {
  std::string input;
  std::string output;
  bool force = false;
};

void WriteResult(const CodecOptions& options, const ByteString& bytes, std::ostream& out) {
  if (IsStandardStream(options.output)) {
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) throw ToolError("standard output: cannot write");
    return;
  }
  WriteFileReplacing(Path::FromUtf8(options.output), bytes,
                     options.force ? Overwrite::kReplace : Overwrite::kRefuse);
}

int Decode(const CodecOptions& options, std::istream& in, std::ostream& out) {
  ByteString plain;
  std::string source = "standard input";
  try {
    if (IsStandardStream(options.input)) {
      StreamInputFile file(in);
      plain = settings::ReadDecodedFirstLine(file);
    } else {
      const SettingsLocation location = LocateAnyFile(options.input);
      source = Named(location.file);
      plain = settings::ReadDecodedFirstLine(*platform::OpenForReading(location.file));
    }
  } catch (const settings::ConversionError& e) {
    throw ToolError(source + ": not a settings line: " + e.what());
  }
  WriteResult(options, plain, out);
  return kExitOk;
}

int Encode(const CodecOptions& options, std::istream& in, std::ostream& out, std::ostream& err) {
  ByteString plain;
  if (IsStandardStream(options.input)) {
    plain.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) throw ToolError("standard input: cannot read");
  } else {
    const Path file = Path::FromUtf8(options.input);
    std::optional<ByteString> bytes = ReadWholeFile(file, ReadAs::kAnyFile);
    if (!bytes) throw FileError(file, "no such file");
    plain = std::move(*bytes);
  }
  const std::size_t fields = settings::SplitFields(plain, settings::kFieldSeparator).size();
  if (fields != settings::kFieldCount) {
    err << kProgram << ": warning: the text has " << fields << " fields; the viewer needs "
        << settings::kFieldCount << "\n";
  }
  const ByteString line = settings::EncodeScrambledHex(plain);
  WriteResult(options, line + (IsStandardStream(options.output) ? "\n" : kLineBreak), out);
  return kExitOk;
}

std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  std::replace(text.begin(), text.end(), '\r', ' ');
  return text::EscapeControls(text);  // a name in the message may hold any bytes
}

// `new` writes a whole record and needs the values every record has; `set` changes some.
enum class Edit { kNew, kSet };

void AddEditOptions(CLI::App& command, EditOptions& options, Edit edit) {
  const bool for_new = edit == Edit::kNew;
  command.add_option("--title", options.title, "window title (field 41)")->required(for_new);
  command
      .add_option("--start-page", options.start_page,
                  "first page, relative to the viewer's folder (field 6)")
      ->required(for_new);
  auto* size = command.add_option("--size", options.size,
                                  "outer window size WIDTHxHEIGHT, e.g. 1024x768 (fields 2, 1)");
  auto* maximized =
      command.add_flag("--maximized", options.maximized, "open maximized (fields 1, 2 = \"0\")");
  size->excludes(maximized);
  auto* fixed = command.add_flag("--fixed-border", options.fixed_border,
                                 "fixed dialog-style border for a sized window (field 42 = \"0\")");
  if (!for_new) {
    auto* resizable = command.add_flag("--resizable", options.resizable,
                                       "normal resizable border (field 42 = \"1\")");
    resizable->excludes(fixed);
    command.add_option("--field", options.fields, "set field N to VALUE (repeatable)")
        ->type_name("N=VALUE");
  }
  command.add_flag("--force", options.force,
                   for_new ? "replace an existing file"
                           : "change a file the viewer cannot read, or of the wrong field count");
  command.add_option("--encoding", options.encoding,
                     "code page the text is stored in (default windows-1252; utf-8 for Linux-only "
                     "deliveries, or another Windows code page such as windows-1250)");
}

}  // namespace

int RunSettingsTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                    std::ostream& err) {
  CLI::App app{"Makes, inspects and changes Vellum.ini, the settings file of the Vellum viewer.",
               kProgram};
  app.set_version_flag("--version", std::string(kProgram) + " " + VELLUM_VERSION);
  app.require_subcommand(1);
  app.footer(
      "Exit codes: 0 success, 1 check found problems or errors (with --strict: warnings), 2 usage "
      "or "
      "file error.\n"
      "Text on the command line is UTF-8; it is stored as Windows-1252 unless --encoding says "
      "otherwise.");

  std::string show_path;
  bool show_all = false;
  bool show_json = false;
  CLI::App* show =
      app.add_subcommand("show", "Print the values the viewer uses and what it does with them");
  show->add_option("path", show_path,
                   "a folder, or the Vellum.ini in it (default: the current folder)");
  show->add_flag("--all", show_all, "also print all 44 fields by index");
  show->add_flag("--json", show_json, "print JSON, for scripts");

  CheckOptions check_options;
  CLI::App* check = app.add_subcommand(
      "check",
      "Check the settings, then every page, picture and link reachable from the start page; "
      "exit 0 when nothing is wrong");
  check->add_option("path", check_options.path,
                    "a folder, or the Vellum.ini in it (default: the current folder)");
  check->add_flag("--settings-only", check_options.settings_only,
                  "check the settings and the start page alone, not the book");
  check
      ->add_option("--platform", check_options.platform,
                   "the systems the book is delivered for: windows (default; also warns about "
                   "pages the Windows control shows in IE 7 document mode) or linux")
      ->check(CLI::IsMember({"windows", "linux"}));
  check->add_flag("--unreached", check_options.unreached,
                  "also note the files no reachable page refers to");
  check->add_flag("--json", check_options.as_json, "print JSON, for scripts");
  check->add_flag("--strict", check_options.strict, "exit 1 on a warning as well");

  EditOptions new_options;
  CLI::App* make = app.add_subcommand("new", "Write a new settings file (the other fields empty)");
  make->add_option("path", new_options.path, "the file to write, or a folder for its Vellum.ini")
      ->required();
  AddEditOptions(*make, new_options, Edit::kNew);

  EditOptions set_options;
  CLI::App* set = app.add_subcommand(
      "set", "Change some values of a settings file, keeping every other field byte for byte");
  set->add_option("path", set_options.path, "the file to change, or a folder with its Vellum.ini")
      ->required();
  AddEditOptions(*set, set_options, Edit::kSet);

  CodecOptions decode_options;
  CLI::App* decode =
      app.add_subcommand("decode", "Print the plain text of a settings file's scrambled line");
  decode->add_option("input", decode_options.input,
                     "a settings file or its folder (default, or \"-\": standard input)");
  decode->add_option("-o,--output", decode_options.output, "write to a file instead");
  decode->add_flag("--force", decode_options.force, "replace an existing output file");

  CodecOptions encode_options;
  CLI::App* encode = app.add_subcommand(
      "encode", "Scramble a plain text (44 fields separated by \"`\") into a settings line");
  encode->add_option("input", encode_options.input,
                     "a file of plain text (default, or \"-\": standard input)");
  encode->add_option("-o,--output", encode_options.output, "write to a file instead");
  encode->add_flag("--force", encode_options.force, "replace an existing output file");

  PackOptions pack_options;
  CLI::App* pack = app.add_subcommand(
      "pack", "Check the book, then write it with its viewers as one archive for readers");
  pack->add_option("path", pack_options.path,
                   "a folder, or the Vellum.ini in it (default: the current folder)");
  pack->add_option("-o,--output", pack_options.output,
                   "the archive to write (default: beside the folder, named after it)");
  pack->add_option("--format", pack_options.format,
                   "zip (default) or tar.gz (the default for an output named .tar.gz)")
      ->check(CLI::IsMember({"zip", "tar.gz"}));
  pack->add_flag("--linux", pack_options.linux_viewer,
                 "add the Linux viewer (vellum) from beside this tool");
  pack->add_flag("--windows", pack_options.windows_viewer,
                 "add the Windows viewer (Vellum.exe) from beside this tool (with neither "
                 "option: both, where there are any)");
  pack->add_flag("--force", pack_options.force, "pack even a book that check finds errors in");

  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e, out, err);  // --help, --version
    const CLI::App* command = nullptr;
    for (const CLI::App* sub : app.get_subcommands()) command = sub;
    const std::string help =
        std::string(kProgram) + (command ? " " + command->get_name() : "") + " --help";
    err << kProgram << ": " << OneLine(e.what()) << " (see " << help << ")\n";
    return kExitError;
  }

  try {
    if (show->parsed()) {
      return Show(show_path, show_all ? Fields::kAll : Fields::kNamed,
                  show_json ? Format::kJson : Format::kText, out);
    }
    if (check->parsed()) return Check(check_options, out);
    if (make->parsed()) return New(new_options, *make, out, err);
    if (set->parsed()) return Set(set_options, *set, out, err);
    if (decode->parsed()) return Decode(decode_options, in, out);
    if (encode->parsed()) return Encode(encode_options, in, out, err);
    if (pack->parsed()) {
      CheckOptions book;
      book.path = pack_options.path;
      book.platform =
          pack_options.windows_viewer || !pack_options.linux_viewer ? "windows" : "linux";
      if (Check(book, out) != kExitOk && !pack_options.force) {
        err << kProgram << ": not packed: the book has problems (above); fix them, or pack it "
            << "anyway with --force\n";
        return kExitProblems;
      }
      return Pack(pack_options, out);
    }
  } catch (const std::exception& e) {
    err << kProgram << ": " << OneLine(e.what()) << "\n";
    return kExitError;
  }
  return kExitError;
}

}  // namespace vellum::tools
