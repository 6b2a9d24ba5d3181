// SPDX-License-Identifier: MIT
#include "platform/gtk/programs.h"

#include <gio/gio.h>

#include <array>
#include <string>

namespace vellum::platform::gtk {

namespace {

// What is never opened from a page: content types (their subtypes included, so that the shell,
// Perl, Ruby, awk and JavaScript scripts and AppImages count as application/x-executable) and
// name endings (for what the system may not know by its content: Windows programs run by Wine).
constexpr std::array kPrograms = {
    // Programs and libraries
    "application/x-executable",
    "application/x-pie-executable",
    "application/x-sharedlib",
    "application/x-ms-dos-executable",
    "application/x-msdownload",
    ".exe",
    ".com",
    ".scr",
    ".pif",
    ".cpl",
    ".dll",
    ".run",
    // Launchers
    "application/x-desktop",
    "application/x-mswinurl",
    "application/x-ms-shortcut",
    ".desktop",
    ".lnk",
    ".url",
    // Scripts
    "text/x-python",
    "text/x-python3",
    "application/x-php",
    "text/x-lua",
    "text/vbscript",
    ".sh",
    ".bash",
    ".csh",
    ".ksh",
    ".zsh",
    ".py",
    ".pyw",
    ".pl",
    ".rb",
    ".php",
    ".lua",
    ".js",
    ".jse",
    ".mjs",
    ".bat",
    ".cmd",
    ".ps1",
    ".psm1",
    ".vbs",
    ".vbe",
    ".wsf",
    ".wsh",
    ".hta",
    // Installers
    "application/x-msi",
    "application/vnd.debian.binary-package",
    "application/x-rpm",
    "application/vnd.flatpak",
    "application/vnd.flatpak.ref",
    "application/vnd.flatpak.repo",
    "application/vnd.snap",
    "application/vnd.android.package-archive",
    "application/x-apple-diskimage",
    "application/x-xpinstall",
    "application/x-shar",
    ".msi",
    ".msp",
    ".msix",
    ".appx",
    ".appxbundle",
    ".deb",
    ".rpm",
    ".flatpak",
    ".flatpakref",
    ".snap",
    ".apk",
    ".dmg",
    ".pkg",
    ".xpi",
    ".shar",
    // Archives that run
    "application/x-java-archive",
    "application/x-java-jnlp-file",
    "application/vnd.appimage",
    "application/x-iso9660-appimage",
    ".jar",
    ".jnlp",
    ".appimage",
};

bool IsProgramType(const char* type) {
  if (type == nullptr) return false;
  for (const char* entry : kPrograms) {
    if (entry[0] != '.' && g_content_type_is_a(type, entry)) return true;
  }
  return false;
}

bool HasProgramEnding(const char* path) {
  gchar* name = g_path_get_basename(path);
  gchar* lower = g_ascii_strdown(name, -1);
  g_free(name);
  bool found = false;
  for (const char* entry : kPrograms) {
    if (entry[0] == '.' && g_str_has_suffix(lower, entry)) found = true;
  }
  g_free(lower);
  return found;
}

// The content type of the file at `path` by its name and first bytes; empty when unreadable.
std::string TypeByContent(const char* path) {
  std::string head(4096, '\0');
  gsize size = 0;
  GFile* file = g_file_new_for_path(path);
  GFileInputStream* stream = g_file_read(file, nullptr, nullptr);
  g_object_unref(file);
  if (stream == nullptr) return {};
  g_input_stream_read_all(G_INPUT_STREAM(stream), head.data(), head.size(), &size, nullptr,
                          nullptr);
  g_object_unref(stream);
  gchar* type =
      g_content_type_guess(path, reinterpret_cast<const guchar*>(head.data()), size, nullptr);
  std::string result = type;
  g_free(type);
  return result;
}

}  // namespace

bool IsProgram(const char* path, const char* mime_type) {
  if (HasProgramEnding(path) || IsProgramType(mime_type)) return true;
  if (g_file_test(path, G_FILE_TEST_IS_REGULAR) && g_file_test(path, G_FILE_TEST_IS_EXECUTABLE)) {
    return true;
  }
  gchar* by_name = g_content_type_guess(path, nullptr, 0, nullptr);
  const bool named = IsProgramType(by_name);
  g_free(by_name);
  return named || IsProgramType(TypeByContent(path).c_str());
}

}  // namespace vellum::platform::gtk
