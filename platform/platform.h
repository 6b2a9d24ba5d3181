// SPDX-License-Identifier: MIT
// The seam between Vellum's rules (settings/, viewer/) and the system they run on: paths and the
// program file (files and folders are in files.h), windows with one embedded browser control
// each, message boxes and the message loop. Backends (gtk/, win32/, headless/) implement the
// virtual hooks; the non-virtual fronts hold the policy every backend shares, so the backends
// cannot drift apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vellum::platform {

// Text as bytes in the system's ANSI code page (on Linux: whatever the bytes are). Any byte
// value may occur, zero included.
using Bytes = std::string;

// A failure of the system underneath: a file that cannot be opened, a window that cannot be
// created, a navigation the browser control rejects. what() is the text a reader may see.
class PlatformError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// ---------------------------------------------------------------------------------------------
// Paths and the program file

// A file's path in the form the system names files in: UTF-16 on Windows, so that a folder is
// reached whatever its name and whatever the ANSI code page can hold; bytes elsewhere. Byte
// strings (settings fields) join it only through Append, which converts them the system's way.
class Path {
 public:
#if defined(_WIN32)
  using Char = wchar_t;
#else
  using Char = char;
#endif
  using String = std::basic_string<Char>;

  Path() = default;
  // From bytes in the ANSI code page (elsewhere: the bytes as they are), as tools and tests
  // name files. Implicit: a byte path names the same file. Throws PlatformError.
  Path(std::string_view bytes);
  Path(const Bytes& bytes) : Path(std::string_view(bytes)) {}
  Path(const char* bytes) : Path(std::string_view(bytes)) {}
  static Path Native(String native) {
    Path path;
    path.native_ = std::move(native);
    return path;
  }
  // From UTF-8, as a person types a name (on the command line): on Windows every character
  // reaches the file, whatever the ANSI code page holds; elsewhere the bytes as they are.
  // Throws PlatformError for text that is not UTF-8 on Windows.
  static Path FromUtf8(std::string_view utf8);

  const String& native() const { return native_; }
  bool empty() const { return native_.empty(); }
  // In the ANSI code page, as the viewer shows a path to a reader; a character the code page
  // lacks becomes "?". Never used to reach the file again.
  Bytes ToBytes() const;
  // In UTF-8, for messages of the tools: on Windows every character as it is; elsewhere valid
  // UTF-8 as it is and other bytes read as Windows-1252.
  std::string ToUtf8() const;

  // The directory part, up to and including its last separator; empty when there is none.
  Path Directory() const;
  // What follows the directory part.
  Path FileName() const;
  // This path followed directly by `name`, a byte string: no separator inserted, nothing
  // normalised. On Windows `name` is read in the ANSI code page. Elsewhere bytes that are valid
  // UTF-8 stay; others are read as Windows-1252 (the code page a book made on Windows names its
  // files in) when a file of that UTF-8 name exists, and stay as they are when none does.
  Path Append(std::string_view name) const;
  // The names that lead from the folder `folder` (ending in a separator) to this path, "/"
  // between them, each as ListDirectory names it (UTF-8 on Windows, the file system's bytes
  // elsewhere); nullopt when this path does not start with `folder` or is the folder itself.
  std::optional<std::string> NamesAfter(const Path& folder) const;

  bool operator==(const Path&) const = default;

 private:
  String native_;
};

// `name` with every character after the first in lower case by the system's rules, as a byte
// string: on Windows CharLowerBuffW, then the ANSI code page; elsewhere Unicode lower case when
// the bytes are valid UTF-8, else the Windows-1252 letters' lower case.
Bytes LowerCaseAfterFirst(const Path& name);

// True when the ANSI code page uses lead bytes (932, 936, 949, 950), so that a byte string must
// be walked by character: a trail byte may look like "\" or "`" (never on Linux).
bool IsMultiByteCodePage();
// The length in bytes of the character that starts at `text[i]` (1 or 2).
std::size_t CharacterLength(std::string_view text, std::size_t i);

// Full path of the running program file. Throws PlatformError.
Path RunningProgramPath();

// The directory separator of this system ('/' or '\\').
char PathSeparator();

// ---------------------------------------------------------------------------------------------
// Windows and their browser control

enum class ShowState { Normal, Maximized, Minimized };
enum class Border { Resizable, FixedDialog };
enum class BoxIcon { None, Error };

class Browser;

// The browser control's own automation interface, as a new-window request hands it back to the
// control: it names the viewer's browser control that is to show the new page. Each backend
// answers the request in its own terms from it (the control's IDispatch on Windows, the related
// WebKitWebView that "create" returns with GTK). A null one answers nothing: the request goes on
// as it came.
class Automation {
 public:
  Automation() = default;
  Browser* browser() const { return browser_; }
  bool operator==(const Automation&) const = default;

 private:
  friend class Browser;
  explicit Automation(Browser* browser) : browser_(browser) {}
  Browser* browser_ = nullptr;
};

// What a window reports up to the viewer. Called on the UI thread, from the message loop. The
// window front catches whatever a handler throws and routes it to the application's error report,
// so no exception ever reaches the toolkit.
class WindowEvents {
 public:
  // The window is being shown and is not yet visible to the reader.
  virtual void OnShow() = 0;
  // The reader (or the page, through window.close()) asked the window to close. The viewer
  // decides what happens: the backend neither hides nor destroys the window by itself.
  virtual void OnCloseRequest() = 0;
  // The page asks for a new window. `pp_disp` receives the automation interface of the browser
  // that is to show the new page; `cancel` would refuse the new window.
  virtual void OnNewWindow(Automation& pp_disp, bool& cancel) = 0;

 protected:
  ~WindowEvents() = default;
};

// The browser control that fills a window's client area and follows its size.
class Browser {
 public:
  virtual ~Browser() = default;
  // Opens a local file given by its full path. The backend turns it into the control's URL
  // form. Throws PlatformError when the control rejects the request.
  virtual void NavigateToFile(const Path& path) = 0;
  Automation AutomationInterface() { return Automation(this); }
};

class Application;

// A top-level viewer window hosting one browser control. Destroying the object destroys the
// native window.
class Window {
 public:
  Window(Application& app, WindowEvents& events) : app_(app), events_(events) {}
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  virtual ~Window() = default;

  // The title exactly as it was set, byte for byte (the backend shows a converted copy).
  const Bytes& Title() const { return title_; }
  void SetTitle(const Bytes& title);

  // Shows the window: OnShow runs first, then the window becomes visible in `state`. A window
  // that OnShow hid (closed) stays hidden: the reader never sees it, empty and untitled.
  void Show(ShowState state = ShowState::Normal);
  void Hide();
  void Maximize() { MaximizeImpl(); }
  // Outer size, frame included; the window keeps its position. Values outside what a window
  // system accepts are clamped to [kMinOuterSize, kMaxOuterSize].
  void SetOuterHeight(int height);
  void SetOuterWidth(int width);
  void SetBorder(Border border) { SetBorderImpl(border); }

  virtual Browser& browser() = 0;

  // The look every viewer window is created with, whatever the backend: this title, and this
  // client area at 96 dots per inch (scaled to the screen's resolution).
  static constexpr char kDesignTitle[] = "Reader";
  static constexpr int kDesignClientWidth = 756;
  static constexpr int kDesignClientHeight = 619;

  static constexpr int kMinOuterSize = 1;
  static constexpr int kMaxOuterSize = 32767;

 protected:
  // Backends deliver toolkit events through these; they never throw.
  void FireCloseRequest() noexcept;
  void FireNewWindow(Automation& pp_disp, bool& cancel) noexcept;

  Application& app() { return app_; }

 private:
  virtual void SetTitleImpl(const Bytes& title) = 0;
  // Makes the window visible in `state`; runs after OnShow.
  virtual void ShowImpl(ShowState state) = 0;
  virtual void HideImpl() = 0;
  virtual void MaximizeImpl() = 0;
  virtual void SetOuterHeightImpl(int height) = 0;
  virtual void SetOuterWidthImpl(int width) = 0;
  virtual void SetBorderImpl(Border border) = 0;

  Application& app_;
  WindowEvents& events_;
  Bytes title_;
  unsigned hides_ = 0;  // Hide calls so far
};

// Error report for failures that leave an event handler: receives the error's text.
using ErrorHandler = std::function<void(const std::string& what)>;

// The application object: creates windows, shows message boxes and runs the message loop.
class Application {
 public:
  Application() = default;
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;
  virtual ~Application() = default;

  // Creates a hidden viewer window with the design look (Window::kDesignTitle,
  // kDesignClientWidth x kDesignClientHeight) at the system's default placement.
  // `owner` is the window it belongs to (nullptr for the main window). Throws PlatformError.
  virtual std::unique_ptr<Window> CreateViewerWindow(WindowEvents& events, Window* owner) = 0;

  // Full path of the running program file.
  virtual Path ProgramPath() = 0;
  // How the program was asked to show its first window when it was started.
  virtual ShowState StartupShowState() = 0;

  // A modal box centred on the screen with a single OK button; returns once acknowledged.
  virtual void ShowMessageBox(const Bytes& caption, const Bytes& text, BoxIcon icon) = 0;

  // Runs the message loop until Terminate() is called; returns at once if it was called before.
  // Once it has returned the program ends: the windows still open may be left to go with the
  // process rather than taken down one by one.
  void Run();
  // Ends the message loop. Tasks posted and not yet run are dropped.
  void Terminate();
  bool terminated() const { return terminated_; }
  // Runs `task` when the message loop next gets to it, never from inside this call, guarded as a
  // toolkit callback is (Guarded). Dropped once Terminate() was called.
  void Post(std::function<void()> task);

  void SetErrorHandler(ErrorHandler handler) { error_handler_ = std::move(handler); }
  // Routes a failure that left an event handler to the error report. Never throws, not even
  // when there is no memory left to copy `what`.
  void ReportError(std::string_view what) noexcept;

  // Runs `body` from a toolkit callback, which no exception may leave: whatever it throws goes
  // to the error report.
  template <typename Body>
  void Guarded(Body&& body) noexcept {
    try {
      body();
    } catch (const std::exception& e) {
      ReportError(e.what());
    } catch (...) {
      ReportError("Unknown error");
    }
  }

 private:
  // The backend's message loop: runs queued tasks and the window system's events until
  // QuitLoop(). Called at most once, and never after Terminate().
  virtual void RunLoop() = 0;
  // Makes a running RunLoop() return. Called once, from inside RunLoop() or before it.
  virtual void QuitLoop() = 0;
  // Queues `task` for RunLoop() to call, in order, never from inside this call. The task is
  // guarded and checks for Terminate() itself. Throws PlatformError when it cannot be queued.
  virtual void Queue(std::function<void()> task) = 0;

  ErrorHandler error_handler_;
  bool terminated_ = false;
};

// What the program was started with. Each backend reads the fields it knows.
struct StartupArgs {
  int argc = 0;
  char** argv = nullptr;
  void* instance = nullptr;  // HINSTANCE on Windows
  int show_command = 0;      // nCmdShow on Windows
};

// The backend this program was built with. Throws PlatformError when the window system cannot
// be reached.
std::unique_ptr<Application> CreateApplication(const StartupArgs& args);

}  // namespace vellum::platform
