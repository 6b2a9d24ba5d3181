// SPDX-License-Identifier: MIT
// WebKitGTK 4.1, loaded when the program starts, and what a reader without it is told.
#include "platform/gtk/webkit_library.h"

#include <dlfcn.h>
#include <glib.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace vellum::platform::gtk::webkit_library {

Functions functions;
bool loaded = false;

namespace {

constexpr char kLibrary[] = "libwebkit2gtk-4.1.so.0";

template <typename Function>
bool Resolve(void* library, const char* name, Function& function, std::string& why) {
  void* symbol = ::dlsym(library, name);
  if (symbol == nullptr) {
    why = std::string(kLibrary) + " has no " + name;
    return false;
  }
  function = reinterpret_cast<Function>(symbol);
  return true;
}

// The value of `key` in os-release text (os-release(5)): KEY=value lines, the value maybe quoted.
std::string Value(std::string_view text, std::string_view key) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) {
      line.remove_suffix(1);
    }
    if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != '=') {
      continue;
    }
    std::string_view value = line.substr(key.size() + 1);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    std::string unquoted;
    for (std::size_t i = 0; i < value.size(); ++i) {
      if (value[i] == '\\' && i + 1 < value.size()) ++i;
      unquoted += value[i];
    }
    return unquoted;
  }
  return {};
}

struct Installer {
  std::string_view id;  // an ID, or the start of one ("opensuse" for "opensuse-tumbleweed")
  std::string_view command;
};

constexpr std::array kInstallers{
    Installer{"debian", "sudo apt install libwebkit2gtk-4.1-0"},
    Installer{"ubuntu", "sudo apt install libwebkit2gtk-4.1-0"},
    Installer{"linuxmint", "sudo apt install libwebkit2gtk-4.1-0"},
    Installer{"fedora", "sudo dnf install webkit2gtk4.1"},
    Installer{"opensuse", "sudo zypper install libwebkit2gtk-4_1-0"},
    Installer{"suse", "sudo zypper install libwebkit2gtk-4_1-0"},
    Installer{"arch", "sudo pacman -S webkit2gtk-4.1"},
};

// The install command for the first of the system's ID and ID_LIKE names that has one.
std::string_view InstallCommand(std::string_view os_release) {
  const std::string names = Value(os_release, "ID") + ' ' + Value(os_release, "ID_LIKE");
  gchar** ids = g_strsplit(names.c_str(), " ", -1);
  std::string_view command;
  for (gchar** id = ids; *id != nullptr && command.empty(); ++id) {
    const std::string_view name(*id);
    for (const Installer& installer : kInstallers) {
      const bool whole = name == installer.id;
      const bool variant = installer.id == "opensuse" && name.starts_with("opensuse-");
      if (whole || variant) {
        command = installer.command;
        break;
      }
    }
  }
  g_strfreev(ids);
  return command;
}

}  // namespace

bool Load(std::string& why) {
  if (loaded) return true;
  void* library = ::dlopen(kLibrary, RTLD_LAZY | RTLD_GLOBAL);
  if (library == nullptr) {
    const char* error = ::dlerror();
    why = error != nullptr ? error : kLibrary;
    return false;
  }
  Functions found;
#define VELLUM_WEBKIT_RESOLVE(name)                \
  if (!Resolve(library, #name, found.name, why)) { \
    ::dlclose(library);                            \
    return false;                                  \
  }
  VELLUM_WEBKIT_FUNCTIONS(VELLUM_WEBKIT_RESOLVE)
#undef VELLUM_WEBKIT_RESOLVE
  functions = found;
  loaded = true;
  return true;
}

void LoadOrEnd() {
  std::string why;
  if (Load(why)) return;
  std::fprintf(stderr, "WebKitGTK 4.1 cannot be loaded: %s\n", why.c_str());
  std::abort();
}

std::string MissingText(std::string_view os_release) {
  std::string text = "This book needs WebKitGTK 4.1, which is not installed on this computer.";
  const std::string_view command = InstallCommand(os_release);
  if (command.empty()) {
    text +=
        "\n\nInstall WebKitGTK 4.1 (the version for GTK 3) with your system's software manager, "
        "then start the book again.";
  } else {
    text += "\n\nTo install it, open a terminal and run:\n\n";
    text += command;
    text += "\n\nThen start the book again.";
  }
  return text;
}

}  // namespace vellum::platform::gtk::webkit_library
