// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <climits>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/headless/headless.h"
#include "tests/test_support.h"
#include "viewer/Unit1.h"

namespace vellum {
namespace {

using namespace std::string_literals;
using platform::Border;
using platform::BoxIcon;
using platform::ShowState;
using platform::headless::HeadlessApplication;
using platform::headless::HeadlessWindow;
using testing::Fields;
using testing::SettingsLine;
using testing::TempDir;

TEST(StrToInt, AcceptsDecimalAndHexadecimalForms) {
  struct Case {
    const char* text;
    int value;
  };
  const Case cases[] = {
      {"0", 0},
      {"600", 600},
      {"007", 7},
      {"+12", 12},
      {"-12", -12},
      {"   42", 42},
      {" -3", -3},
      {"2147483647", INT_MAX},
      {"-2147483648", INT_MIN},
      {"$1F", 31},
      {"x1f", 31},
      {"X1F", 31},
      {"0x1F", 31},
      {"0X1f", 31},
      {"-$10", -16},
      {"$FFFFFFFF", -1},
      {"$80000000", INT_MIN},
      {"$000000000001", 1},  // leading zeros are not significant
  };
  for (const auto& c : cases) EXPECT_EQ(StrToInt(c.text), c.value) << c.text;
}

TEST(StrToInt, RejectsWithTheExactText) {
  const char* const cases[] = {
      "",     " ",   "+",   "-",          "$",           "0x",         "x",   "12a",  "1 2", "12 ",
      "\t12", "1.5", "1e3", "2147483648", "-2147483649", "$123456789", "++1", "0x-1", "abc", "$G",
  };
  for (const char* text : cases) {
    try {
      StrToInt(text);
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.what(), "'"s + text + "' is not a valid integer value");
    }
  }
}

TEST(ApplicationTitle, NameWithoutDirectoryOrExtensionInTitleCase) {
  struct Case {
    const char* path;
    const char* title;
  };
  const Case cases[] = {
      {"VIEWER.EXE", "Viewer"},
      {"/opt/book/vellum", "vellum"},  // the first letter keeps its case
      {"C:\\Book\\Vellum.exe", "Vellum"},
      {"/opt/my.book/READER", "Reader"},
      {"/opt/book/my.reader.bin", "my"},
      {"/opt/book/.hidden", ""},
      {"/opt/book/x", "x"},
      // Beyond ASCII: Unicode lower case for UTF-8 names, the first character whole.
      {"/opt/book/V\xC3\x89LUM.bin", "V\xC3\xA9lum"},
      {"/opt/book/\xC3\x89"
       "COLE\xC5\x92",
       "\xC3\x89"
       "cole\xC5\x93"},
      {"/opt/book/\xD0\x9A\xD0\x9D\xD0\x98\xD0\x93\xD0\x90",
       "\xD0\x9A\xD0\xBD\xD0\xB8\xD0\xB3\xD0\xB0"},
      // Not UTF-8: Windows-1252 letters, as the title bar reads those bytes.
      {"/opt/book/V\xC9LUM\x8A\x8C\x8E\x9F\xD7", "V\xE9lum\x9A\x9C\x9E\xFF\xD7"},
  };
  for (const auto& c : cases) EXPECT_EQ(ApplicationTitle(c.path), c.title) << c.path;
}

TEST(ErrorReportText, AppendsAFullStopAfterCharactersAboveIt) {
  struct Case {
    const char* what;
    const char* shown;
  };
  const Case cases[] = {
      {"", ""},           {"Bad", "Bad."}, {"Done.", "Done."}, {"Why?", "Why?."},
      {"Stop!", "Stop!"}, {"a,", "a,"},    {"a/", "a/."},      {"x-", "x-"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorReportText(c.what), c.shown) << c.what;
}

// A program directory with the viewer "installed" in it.
class ViewerTest : public ::testing::Test {
 protected:
  void WriteSettings(const std::vector<std::string>& fields) {
    dir_.Write("Vellum.ini", SettingsLine(fields));
  }
  std::string ProgramPath() const { return dir_.dir() + "vellum"; }
  // The popup a page in `opener` asks for: the newest window.
  HeadlessWindow& OpenPopup(HeadlessWindow& opener) {
    opener.RequestNewWindow();
    return *app_.windows().back();
  }

  // Runs the program; `script` runs inside the message loop.
  void RunProgram(std::function<void()> script = {}) {
    if (script) app_.WhileRunning(std::move(script));
    EXPECT_EQ(Project1Main(app_), 0);
  }

  TempDir dir_;
  HeadlessApplication app_{dir_.dir() + "vellum"};
};

TEST_F(ViewerTest, StartSequenceTitlesNavigatesAndSizes) {
  WriteSettings(Fields("600", "800", "book/index.html", "A Book", "0"));
  RunProgram([&] {
    HeadlessWindow& main = *app_.main_window();
    EXPECT_EQ(main.Title(), "A Book");
    EXPECT_EQ(main.title_when_shown(), "A Book");  // set before the reader saw the window
    EXPECT_TRUE(main.visible());
    EXPECT_EQ(main.navigations(), std::vector<platform::Path>{dir_.dir() + "book/index.html"});
    EXPECT_EQ(main.calls(), (std::vector<std::string>{"title", "navigate", "height 600",
                                                      "width 800", "border fixed"}));
    EXPECT_TRUE(app_.message_boxes().empty());
    main.RequestClose();
  });
  EXPECT_TRUE(app_.terminated());
  EXPECT_TRUE(app_.windows().empty());
}

TEST_F(ViewerTest, SizingRules) {
  struct Case {
    const char* height;
    const char* width;
    const char* border;
    std::vector<std::string> calls_after_navigate;
    const char* error;  // the error report's text, if any
  };
  const Case cases[] = {
      {"600", "800", "1", {"height 600", "width 800"}, nullptr},
      {"600", "800", "", {"height 600", "width 800"}, nullptr},
      {"600", "800", "00", {"height 600", "width 800"}, nullptr},
      {"0", "800", "0", {"maximize"}, nullptr},
      {"600", "0", "0", {"maximize"}, nullptr},
      {"600", "", "0", {"maximize"}, nullptr},
      {"0", "abc", "0", {"maximize"}, nullptr},  // never converted
      {"$258", "0x320", "0", {"height 600", "width 800", "border fixed"}, nullptr},
      {"  600", "+800", "1", {"height 600", "width 800"}, nullptr},
      {"", "800", "0", {}, "'' is not a valid integer value."},
      {"600", "abc", "0", {"height 600"}, "'abc' is not a valid integer value."},
      {"00", "800", "0", {"height 1", "width 800", "border fixed"}, nullptr},
      // Sizes a window system cannot take are clamped to what it accepts.
      {"-5", "99999", "1", {"height 1", "width 32767"}, nullptr},
      {"$FFFFFFFF", "2147483647", "1", {"height 1", "width 32767"}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.height) + " x " + c.width + " border " + c.border);
    TempDir dir;
    dir.Write("Vellum.ini", SettingsLine(Fields(c.height, c.width, "index.html", "T", c.border)));
    HeadlessApplication app(dir.dir() + "vellum");
    app.WhileRunning([&] {
      HeadlessWindow& main = *app.main_window();
      std::vector<std::string> expected{"title", "navigate"};
      expected.insert(expected.end(), c.calls_after_navigate.begin(), c.calls_after_navigate.end());
      EXPECT_EQ(main.calls(), expected);
      EXPECT_TRUE(main.visible());  // shown all the same
      if (c.error) {
        ASSERT_EQ(app.message_boxes().size(), 1u);
        EXPECT_EQ(app.message_boxes()[0].text, c.error);
        EXPECT_EQ(app.message_boxes()[0].caption, "vellum");
        EXPECT_EQ(app.message_boxes()[0].icon, BoxIcon::Error);
      } else {
        EXPECT_TRUE(app.message_boxes().empty());
      }
      main.RequestClose();
    });
    EXPECT_EQ(Project1Main(app), 0);
  }
}

TEST_F(ViewerTest, SettingsFailuresShowTheirMessageAndEndTheProgram) {
  struct Case {
    const char* name;
    std::string contents;  // empty name: no file at all
    const char* message;
  };
  const Case cases[] = {
      {"missing", "", "Config file error."},
      {"not hex", "not a settings file", "Config file error."},
      {"empty", "\n", "File Error."},
      {"43 fields", SettingsLine(std::vector<std::string>(43)), "File Error."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    if (std::string(c.name) != "missing") dir.Write("Vellum.ini", c.contents);
    HeadlessApplication app(dir.dir() + "VELLUM.BIN");
    bool loop_ran = false;
    app.WhileRunning([&] { loop_ran = true; });
    EXPECT_EQ(Project1Main(app), 0);
    ASSERT_EQ(app.message_boxes().size(), 1u);
    EXPECT_EQ(app.message_boxes()[0].caption, "Vellum");
    EXPECT_EQ(app.message_boxes()[0].text, c.message);
    EXPECT_EQ(app.message_boxes()[0].icon, BoxIcon::None);
    EXPECT_TRUE(app.terminated());
    EXPECT_FALSE(loop_ran);                         // the loop ends before it serves anything
    EXPECT_FALSE(app.window_records()[0].visible);  // closed before the reader saw it
    EXPECT_TRUE(app.windows().empty());
  }
}

TEST_F(ViewerTest, EmptyTitleAndEmptyStartPage) {
  WriteSettings(Fields("0", "0", "", "", ""));
  RunProgram([&] {
    HeadlessWindow& main = *app_.main_window();
    EXPECT_EQ(main.Title(), "");
    // The program directory itself.
    EXPECT_EQ(main.navigations(), std::vector<platform::Path>{dir_.dir()});
    EXPECT_TRUE(main.maximized());
    // Still the main window: a close ends the program.
    main.RequestClose();
    EXPECT_TRUE(app_.terminated());
  });
}

TEST_F(ViewerTest, NavigationRejectedReportsAndLeavesTheSizeAlone) {
  WriteSettings(Fields("600", "800", "index.html", "T", "0"));
  // The first window created is the main window; make its browser reject the navigation.
  HeadlessApplication app(ProgramPath());
  TForm1 form(app, nullptr);
  auto& window = static_cast<HeadlessWindow&>(form.window());
  window.FailNavigation("Cannot open the page");
  app.SetErrorHandler([&app](const std::string& what) {
    app.ShowMessageBox("Vellum", ErrorReportText(what), BoxIcon::Error);
  });
  window.Show();
  EXPECT_TRUE(window.visible());
  EXPECT_EQ(window.Title(), "T");
  EXPECT_EQ(window.outer_width(), std::nullopt);  // the size it was created with stands
  EXPECT_EQ(window.outer_height(), std::nullopt);
  ASSERT_EQ(app.message_boxes().size(), 1u);
  EXPECT_EQ(app.message_boxes()[0].text, "Cannot open the page.");
}

TEST_F(ViewerTest, StartedMaximizedStillAppliesTheConfiguredSize) {
  WriteSettings(Fields("600", "800", "index.html", "T", "1"));
  app_.SetStartupShowState(ShowState::Maximized);
  RunProgram([&] {
    HeadlessWindow& main = *app_.main_window();
    EXPECT_TRUE(main.maximized());
    EXPECT_EQ(main.outer_height(), 600);
    EXPECT_EQ(main.outer_width(), 800);
    main.RequestClose();
  });
}

TEST_F(ViewerTest, PopupsAreOwnedTitledAndReadNoSettings) {
  WriteSettings(Fields("600", "800", "index.html", "Main", "0"));
  RunProgram([&] {
    HeadlessWindow& main = *app_.main_window();
    const auto answer = main.RequestNewWindow();
    ASSERT_EQ(app_.windows().size(), 2u);
    HeadlessWindow& popup = *app_.windows()[1];
    EXPECT_EQ(popup.owner(), &main);
    EXPECT_EQ(popup.Title(), "newwindow");
    EXPECT_EQ(popup.title_when_shown(), "newwindow");
    EXPECT_TRUE(popup.visible());
    EXPECT_TRUE(popup.navigations().empty());
    EXPECT_EQ(popup.outer_width(), std::nullopt);  // never resized
    EXPECT_EQ(popup.border(), Border::Resizable);
    EXPECT_EQ(answer.pp_disp, popup.browser().AutomationInterface());
    EXPECT_FALSE(answer.cancel);
    // Cancel is never touched, whatever the request supplied.
    EXPECT_TRUE(main.RequestNewWindow({}, true).cancel);
    EXPECT_EQ(app_.windows().size(), 3u);
    EXPECT_EQ(app_.main_window()->Title(), "Main");
    main.RequestClose();
  });
  EXPECT_TRUE(app_.windows().empty());
}

TEST_F(ViewerTest, ClosingAPopupFreesItAndItsPopupsButNotTheProgram) {
  WriteSettings(Fields("0", "0", "index.html", "Main", ""));
  RunProgram([&] {
    HeadlessWindow& main = *app_.main_window();
    HeadlessWindow& first = OpenPopup(main);
    HeadlessWindow& second = OpenPopup(first);
    EXPECT_EQ(second.owner(), &first);
    HeadlessWindow* sibling = &OpenPopup(main);  // must survive
    ASSERT_EQ(app_.windows().size(), 4u);

    first.RequestClose();
    // Freed when the loop next gets to it, not inside its close handler.
    EXPECT_EQ(app_.windows().size(), 4u);
    EXPECT_FALSE(first.visible());
    app_.RunPending();
    EXPECT_EQ(app_.windows(), (std::vector<HeadlessWindow*>{&main, sibling}));
    EXPECT_FALSE(app_.terminated());

    sibling->RequestClose();
    app_.RunPending();
    EXPECT_EQ(app_.windows().size(), 1u);
    EXPECT_FALSE(app_.terminated());
    main.RequestClose();
    EXPECT_TRUE(app_.terminated());
  });
  EXPECT_TRUE(app_.windows().empty());
}

// The owner is freed first, and its popup with it, before the popup's own freeing comes up: that
// task must not reach its owner. (A task holding a raw owner reads freed memory: the sanitizer
// build fails here.)
TEST_F(ViewerTest, PopupFreedAfterItsOwnerWentIsNotTouchedAgain) {
  WriteSettings(Fields("0", "0", "index.html", "Main", ""));
  RunProgram([&] {
    HeadlessWindow& main = *app_.main_window();
    HeadlessWindow& first = OpenPopup(main);
    HeadlessWindow& second = OpenPopup(first);
    first.RequestClose();   // queued for freeing...
    second.RequestClose();  // ...and its popup after it
    app_.RunPending();
    EXPECT_EQ(app_.windows(), std::vector<HeadlessWindow*>{&main});
    EXPECT_EQ(app_.window_records().size(), 3u);
    EXPECT_FALSE(app_.terminated());
    main.RequestClose();
  });
}

// The loop's rules, shared by every backend: a posted task runs later, never inside Post; what it
// throws goes to the error report; once Terminate was called, no task runs any more.
TEST(MessageLoop, PostedTasksAreGuardedAndDroppedAfterTerminate) {
  HeadlessApplication app{platform::Path()};
  std::vector<std::string> reports;
  app.SetErrorHandler([&](const std::string& what) { reports.push_back(what); });
  std::vector<std::string> ran;
  app.WhileRunning([&] {
    app.Post([&] {
      ran.push_back("throws");
      throw std::runtime_error("task failed");
    });
    app.Post([&] {
      ran.push_back("terminates");
      app.Terminate();
      app.Post([&] { ran.push_back("posted after Terminate"); });
    });
    app.Post([&] { ran.push_back("posted before Terminate"); });
    EXPECT_TRUE(ran.empty());
  });
  app.Run();
  EXPECT_EQ(ran, (std::vector<std::string>{"throws", "terminates"}));
  EXPECT_EQ(reports, std::vector<std::string>{"task failed"});
}

TEST_F(ViewerTest, ClosingTheMainWindowEndsTheProgramWithItsPopups) {
  WriteSettings(Fields("0", "0", "index.html", "Main", ""));
  RunProgram([&] {
    HeadlessWindow& main = *app_.main_window();
    OpenPopup(OpenPopup(main));
    EXPECT_EQ(app_.windows().size(), 3u);
    main.RequestClose();
    EXPECT_TRUE(app_.terminated());
  });
  EXPECT_TRUE(app_.windows().empty());
  EXPECT_TRUE(app_.message_boxes().empty());
}

TEST_F(ViewerTest, ConfiguredTitleNewwindowStillEndsTheProgramOnClose) {
  WriteSettings(Fields("600", "800", "index.html", "newwindow", "1"));
  RunProgram([&] {
    HeadlessWindow& main = *app_.main_window();
    // It was shown as the main window: settings read, page opened, sized.
    EXPECT_EQ(main.navigations().size(), 1u);
    EXPECT_EQ(main.outer_width(), 800);
    main.RequestClose();
    EXPECT_TRUE(app_.terminated());
  });
  EXPECT_TRUE(app_.windows().empty());
}

TEST_F(ViewerTest, PopupCreationFailureIsSwallowed) {
  WriteSettings(Fields("0", "0", "index.html", "Main", ""));
  RunProgram([&] {
    app_.FailWindowCreationAfter(0);
    HeadlessWindow& main = *app_.main_window();
    const platform::Automation supplied = main.browser().AutomationInterface();
    const auto answer = main.RequestNewWindow(supplied, false);
    EXPECT_EQ(answer.pp_disp, supplied);  // left as the request supplied it
    EXPECT_FALSE(answer.cancel);
    EXPECT_EQ(app_.windows().size(), 1u);
    EXPECT_TRUE(app_.message_boxes().empty());
    main.RequestClose();
  });
}

TEST_F(ViewerTest, FormCloseFreesOnlyPopups) {
  WriteSettings(Fields("0", "0", "index.html", "Main", ""));
  RunProgram([&] {
    // The main form is not reachable from here; a popup and a fresh main-role form are.
    app_.main_window()->RequestNewWindow();
    TForm1 other(app_, nullptr);
    TCloseAction action = TCloseAction::caHide;
    other.FormClose(action);
    EXPECT_EQ(action, TCloseAction::caHide);
    other.window().SetTitle("newwindow");
    other.FormClose(action);
    EXPECT_EQ(action, TCloseAction::caFree);
    app_.main_window()->RequestClose();
  });
}

}  // namespace
}  // namespace vellum
