// SPDX-License-Identifier: MIT
// What a reader without WebKitGTK is told to run, by what /etc/os-release says of the system.
#include <gtest/gtest.h>

#include <string>

#include "platform/gtk/webkit_library.h"

namespace {

using vellum::platform::gtk::webkit_library::MissingText;

TEST(MissingWebKitTest, OneInstallCommandChosenFromIdThenIdLike) {
  constexpr const char* kApt = "sudo apt install libwebkit2gtk-4.1-0";
  constexpr const char* kDnf = "sudo dnf install webkit2gtk4.1";
  constexpr const char* kZypper = "sudo zypper install libwebkit2gtk-4_1-0";
  constexpr const char* kPacman = "sudo pacman -S webkit2gtk-4.1";
  const struct {
    const char* os_release;
    const char* command;  // nullptr: none, the plain sentence
  } cases[] = {
      {"PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n", kApt},
      {"NAME=\"Ubuntu\"\nID=ubuntu\nID_LIKE=debian\n", kApt},
      {"NAME=\"Linux Mint\"\nID=linuxmint\nID_LIKE=\"ubuntu debian\"\n", kApt},
      {"ID=pop\nID_LIKE=\"ubuntu debian\"\n", kApt},
      {"NAME=\"Fedora Linux\"\nID=fedora\n", kDnf},
      {"ID=\"opensuse-tumbleweed\"\nID_LIKE=\"opensuse suse\"\n", kZypper},
      {"ID='opensuse-leap'\r\nID_LIKE='suse opensuse'\r\n", kZypper},
      {"ID=arch\n", kPacman},
      {"ID=manjaro\nID_LIKE=arch\n", kPacman},
      {"  ID=endeavouros \nID_LIKE=arch\n", kPacman},
      {"VARIANT_ID=debian\nID=gentoo\n", nullptr},
      {"ID=\"archlinux32\"\n", nullptr},
      {"", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.os_release);
    const std::string text = MissingText(c.os_release);
    EXPECT_EQ(text.rfind("This book needs WebKitGTK 4.1", 0), 0u) << text;
    for (const char* command : {kApt, kDnf, kZypper, kPacman}) {
      const bool named = text.find(command) != std::string::npos;
      EXPECT_EQ(named, c.command != nullptr && std::string(command) == c.command) << text;
    }
    if (c.command == nullptr) {
      EXPECT_NE(text.find("software manager"), std::string::npos) << text;
    }
  }
}

}  // namespace
