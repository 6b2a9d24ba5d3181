// SPDX-License-Identifier: MIT
// The viewer on the real Win32 backend, in-process: real windows, the real browser control and
// real files in a temporary program directory. Message boxes are acknowledged by a thread of the
// test, as a reader would press OK.
#include <exdispid.h>
#include <gtest/gtest.h>
#include <ole2.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/win32/text.h"
#include "platform/win32/win32_backend.h"
#include "settings/scramble.h"
#include "tests/test_support.h"
#include "tests/win32/win32_test_support.h"
#include "viewer/Unit1.h"

namespace vellum {
namespace {

using platform::win32::ToWide;
using platform::win32::Win32Application;
using platform::win32::Win32Window;
using testing::Fields;
using testing::SettingsLine;
using testing::TempDir;
using testing::win32::BoxAnswerer;
using testing::win32::MessageBoxSeen;

constexpr int kPatience = 5000;  // ms

// The application as the program makes it, with its program file in a temporary directory.
class TestApplication final : public Win32Application {
 public:
  TestApplication(std::string program_path, int show_command = SW_SHOWNORMAL)
      : Win32Application(nullptr, show_command), program_path_(std::move(program_path)) {}
  platform::Path ProgramPath() override { return program_path_; }

 private:
  std::string program_path_;
};

Win32Window& Native(TForm1& form) { return dynamic_cast<Win32Window&>(form.window()); }
HWND Hwnd(TForm1& form) { return Native(form).hwnd(); }

// Dispatches messages (posted tasks included) until `done` holds or the patience runs out.
bool PumpUntil(const std::function<bool()>& done, int timeout_ms = kPatience) {
  const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(timeout_ms);
  for (;;) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    if (done()) return true;
    if (::GetTickCount64() >= deadline) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

void Pump(int ms) {
  PumpUntil([] { return false; }, ms);
}

std::wstring TitleOf(HWND hwnd) {
  wchar_t buffer[256] = {};
  ::GetWindowTextW(hwnd, buffer, 256);
  return buffer;
}

SIZE OuterSize(HWND hwnd) {
  RECT rect{};
  ::GetWindowRect(hwnd, &rect);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

SIZE ClientSize(HWND hwnd) {
  RECT rect{};
  ::GetClientRect(hwnd, &rect);
  return {rect.right, rect.bottom};
}

// The design client size: 756 x 619 at 96 dots per inch, scaled to the screen's.
SIZE DesignSize() {
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return {::MulDiv(756, dpi, 96), ::MulDiv(619, dpi, 96)};
}

// No sizing frame, no minimize or maximize box, and the dialog frame (no icon).
bool HasFixedBorder(HWND hwnd) {
  const LONG_PTR style = ::GetWindowLongPtrW(hwnd, GWL_STYLE);
  const LONG_PTR ex_style = ::GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
  return (style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) == 0 &&
         (ex_style & WS_EX_DLGMODALFRAME) != 0;
}

// The control's NewWindow2 event, raised on `sink` exactly as the control raises it.
HRESULT RaiseNewWindow2(IDispatch* sink, IDispatch** pp_disp, VARIANT_BOOL* cancel) {
  VARIANT args[2];
  ::VariantInit(&args[0]);
  ::VariantInit(&args[1]);
  V_VT(&args[0]) = VT_BOOL | VT_BYREF;  // last argument first
  V_BOOLREF(&args[0]) = cancel;
  V_VT(&args[1]) = VT_DISPATCH | VT_BYREF;
  V_DISPATCHREF(&args[1]) = pp_disp;
  DISPPARAMS params{args, nullptr, 2, 0};
  return sink->Invoke(DISPID_NEWWINDOW2, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                      nullptr, nullptr, nullptr);
}

// The control's WindowClosing event (a page's window.close()).
HRESULT RaiseWindowClosing(IDispatch* sink, VARIANT_BOOL* cancel) {
  VARIANT args[2];
  ::VariantInit(&args[0]);
  ::VariantInit(&args[1]);
  V_VT(&args[0]) = VT_BOOL | VT_BYREF;
  V_BOOLREF(&args[0]) = cancel;
  V_VT(&args[1]) = VT_BOOL;
  V_BOOL(&args[1]) = VARIANT_FALSE;
  DISPPARAMS params{args, nullptr, 2, 0};
  return sink->Invoke(DISPID_WINDOWCLOSING, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                      nullptr, nullptr, nullptr);
}

// Opens a popup from `form`'s page, the request carrying `*cancel` (VARIANT_FALSE when none is
// given) and leaving there what the handler made of it; returns the automation interface handed
// back (a reference of the caller's), or nullptr.
IDispatch* OpenPopupFrom(TForm1& form, VARIANT_BOOL* cancel = nullptr) {
  IDispatch* pp_disp = nullptr;
  VARIANT_BOOL not_cancelled = VARIANT_FALSE;
  EXPECT_EQ(RaiseNewWindow2(Native(form).EventSink(), &pp_disp,
                            cancel != nullptr ? cancel : &not_cancelled),
            S_OK);
  return pp_disp;
}

// Records the URLs the control is about to navigate to (BeforeNavigate2), as a second sink.
class NavigationRecorder final : public IDispatch {
 public:
  explicit NavigationRecorder(IWebBrowser2* browser) {
    IConnectionPointContainer* container = nullptr;
    if (SUCCEEDED(browser->QueryInterface(IID_IConnectionPointContainer,
                                          reinterpret_cast<void**>(&container)))) {
      container->FindConnectionPoint(DIID_DWebBrowserEvents2, &point_);
      container->Release();
    }
    if (point_ != nullptr) point_->Advise(this, &cookie_);
  }
  ~NavigationRecorder() {
    if (point_ != nullptr) {
      point_->Unadvise(cookie_);
      point_->Release();
    }
  }
  NavigationRecorder(const NavigationRecorder&) = delete;
  NavigationRecorder& operator=(const NavigationRecorder&) = delete;

  const std::vector<std::wstring>& urls() const { return urls_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, DIID_DWebBrowserEvents2)) {
      *object = static_cast<IDispatch*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  // Lives on the test's stack; the control's references do not decide its life.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                   EXCEPINFO*, UINT*) override {
    // BeforeNavigate2(pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel).
    if (member == DISPID_BEFORENAVIGATE2 && params != nullptr && params->cArgs == 7) {
      VARIANT* url = &params->rgvarg[5];
      if (V_VT(url) == (VT_VARIANT | VT_BYREF)) url = V_VARIANTREF(url);
      if (V_VT(url) == VT_BSTR) urls_.emplace_back(V_BSTR(url), ::SysStringLen(V_BSTR(url)));
    }
    return S_OK;
  }

 private:
  IConnectionPoint* point_ = nullptr;
  DWORD cookie_ = 0;
  std::vector<std::wstring> urls_;
};

// A program directory with Vellum.ini (unless the settings line is empty) and a start page.
class ProgramDirectory {
 public:
  explicit ProgramDirectory(const std::string& settings_line) {
    if (!settings_line.empty()) dir_.Write("Vellum.ini", settings_line + "\r\n");
    dir_.Write("index.html", "<html><body>Vellum</body></html>");
  }
  std::string dir() const { return dir_.dir(); }
  std::string program() const { return dir_.dir() + "Vellum.exe"; }

 private:
  TempDir dir_;
};

// ---------------------------------------------------------------------------------------------
// The window as the seam promises it

// Records what the window reports, and what the window looked like when it did.
class RecordingEvents final : public platform::WindowEvents {
 public:
  HWND hwnd = nullptr;
  int shows = 0;
  bool visible_at_show = true;
  int close_requests = 0;
  std::function<void()> on_show;

  void OnShow() override {
    ++shows;
    visible_at_show = ::IsWindowVisible(hwnd) != FALSE;
    if (on_show) on_show();
  }
  void OnCloseRequest() override { ++close_requests; }
  void OnNewWindow(platform::Automation&, bool&) override {}
};

class WindowTest : public ::testing::Test {
 protected:
  WindowTest() : app_(dir_.dir() + "Vellum.exe") {
    window_ = app_.CreateViewerWindow(events_, nullptr);
    events_.hwnd = hwnd();
  }
  HWND hwnd() { return dynamic_cast<Win32Window&>(*window_).hwnd(); }

  TempDir dir_;
  TestApplication app_;
  RecordingEvents events_;
  std::unique_ptr<platform::Window> window_;
};

TEST_F(WindowTest, CreatedHiddenWithTheDesignLook) {
  EXPECT_FALSE(::IsWindowVisible(hwnd()));
  EXPECT_EQ(TitleOf(hwnd()), L"Reader");
  EXPECT_EQ(ClientSize(hwnd()).cx, DesignSize().cx);
  EXPECT_EQ(ClientSize(hwnd()).cy, DesignSize().cy);
  EXPECT_FALSE(HasFixedBorder(hwnd()));
}

TEST_F(WindowTest, ShowReportsBeforeTheWindowIsVisible) {
  window_->Show();
  EXPECT_EQ(events_.shows, 1);
  EXPECT_FALSE(events_.visible_at_show);
  EXPECT_TRUE(::IsWindowVisible(hwnd()));
  EXPECT_FALSE(::IsZoomed(hwnd()));
}

TEST_F(WindowTest, MaximizedWhileBeingShownOpensMaximized) {
  events_.on_show = [&] { window_->Maximize(); };
  window_->Show();
  EXPECT_FALSE(events_.visible_at_show);
  EXPECT_TRUE(::IsWindowVisible(hwnd()));
  EXPECT_TRUE(::IsZoomed(hwnd()));
}

TEST_F(WindowTest, CloseRequestIsReportedAndLeavesTheWindowAsItIs) {
  window_->Show();
  ::SendMessageW(hwnd(), WM_CLOSE, 0, 0);
  EXPECT_EQ(events_.close_requests, 1);
  EXPECT_TRUE(::IsWindow(hwnd()));
  EXPECT_TRUE(::IsWindowVisible(hwnd()));
}

TEST_F(WindowTest, ControlFillsTheClientAreaAndFollowsIt) {
  window_->Show();
  const HWND control = ::GetWindow(hwnd(), GW_CHILD);
  ASSERT_NE(control, nullptr) << "the control has no window";
  auto fills = [&] {
    const SIZE client = ClientSize(hwnd());
    RECT rect{};
    ::GetWindowRect(control, &rect);
    return rect.right - rect.left == client.cx && rect.bottom - rect.top == client.cy;
  };
  EXPECT_TRUE(fills());
  window_->SetOuterWidth(640);
  window_->SetOuterHeight(480);
  EXPECT_EQ(OuterSize(hwnd()).cx, 640);
  EXPECT_EQ(OuterSize(hwnd()).cy, 480);
  EXPECT_TRUE(fills());
  window_->SetBorder(platform::Border::FixedDialog);
  EXPECT_TRUE(HasFixedBorder(hwnd()));
  EXPECT_EQ(OuterSize(hwnd()).cx, 640) << "the border keeps the outer size";
  EXPECT_TRUE(fills());
}

// ---------------------------------------------------------------------------------------------
// The start sequence

struct SizingCase {
  const char* name;
  const char* height;
  const char* width;
  const char* border;
  int outer_width;  // when not maximized
  int outer_height;
  bool maximized;
  bool fixed_border;
};

class StartSequenceTest : public ::testing::TestWithParam<SizingCase> {};

TEST_P(StartSequenceTest, TitleSizeAndBorderFromTheSettings) {
  const SizingCase& c = GetParam();
  ProgramDirectory dir(
      SettingsLine(Fields(c.height, c.width, "index.html", "Vellum Book", c.border)));
  BoxAnswerer boxes;
  TestApplication app(dir.program());
  TForm1 form(app, nullptr);
  NavigationRecorder navigations(Native(form).WebBrowser());
  form.window().Show(app.StartupShowState());
  const HWND hwnd = Hwnd(form);

  EXPECT_TRUE(::IsWindowVisible(hwnd));
  EXPECT_EQ(TitleOf(hwnd), L"Vellum Book");
  EXPECT_EQ(::IsZoomed(hwnd) != FALSE, c.maximized);
  EXPECT_EQ(HasFixedBorder(hwnd), c.fixed_border);
  if (!c.maximized) {
    const SIZE outer = OuterSize(hwnd);
    EXPECT_EQ(outer.cx, c.outer_width);
    EXPECT_EQ(outer.cy, c.outer_height);
  }
  // The start page: the program directory followed by the page, as given.
  ASSERT_TRUE(PumpUntil([&] { return !navigations.urls().empty(); }));
  EXPECT_NE(navigations.urls().front().find(ToWide(dir.dir() + "index.html")), std::wstring::npos)
      << "navigated to " << platform::win32::ToAnsi(navigations.urls().front());
  EXPECT_TRUE(boxes.seen().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Sizing, StartSequenceTest,
    ::testing::Values(SizingCase{"ExplicitFixed", "600", "800", "0", 800, 600, false, true},
                      SizingCase{"ExplicitResizable", "600", "800", "1", 800, 600, false, false},
                      SizingCase{"HexadecimalSize", "$1F4", "0x2BC", "", 700, 500, false, false},
                      SizingCase{"HeightZeroIgnoresBorder", "0", "800", "0", 0, 0, true, false},
                      SizingCase{"EmptyWidthMaximizes", "600", "", "0", 0, 0, true, false}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(StartSequence, StartedMaximizedKeepsTheExplicitSizeAsRestoredSize) {
  ProgramDirectory dir(SettingsLine(Fields("600", "800", "index.html", "Vellum Book", "1")));
  TestApplication app(dir.program(), SW_SHOWMAXIMIZED);
  TForm1 form(app, nullptr);
  form.window().Show(app.StartupShowState());
  const HWND hwnd = Hwnd(form);
  EXPECT_TRUE(::IsZoomed(hwnd));
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  ASSERT_TRUE(::GetWindowPlacement(hwnd, &placement));
  EXPECT_EQ(placement.rcNormalPosition.right - placement.rcNormalPosition.left, 800);
  EXPECT_EQ(placement.rcNormalPosition.bottom - placement.rcNormalPosition.top, 600);
}

TEST(StartSequence, StartedMinimizedOpensMinimized) {
  ProgramDirectory dir(SettingsLine(Fields("600", "800", "index.html", "Vellum Book", "1")));
  TestApplication app(dir.program(), SW_SHOWMINNOACTIVE);
  TForm1 form(app, nullptr);
  form.window().Show(app.StartupShowState());
  EXPECT_TRUE(::IsIconic(Hwnd(form)));
}

TEST(StartSequence, EmptyStartPageNavigatesToTheProgramDirectory) {
  ProgramDirectory dir(SettingsLine(Fields("600", "800", "", "Vellum Book", "1")));
  TestApplication app(dir.program());
  TForm1 form(app, nullptr);
  NavigationRecorder navigations(Native(form).WebBrowser());
  form.window().Show();
  ASSERT_TRUE(PumpUntil([&] { return !navigations.urls().empty(); }));
  const std::wstring& url = navigations.urls().front();
  const std::wstring expected = ToWide(dir.dir());
  ASSERT_GE(url.size(), expected.size());
  EXPECT_EQ(url.substr(url.size() - expected.size()), expected);
}

TEST(StartSequence, TitleBytesAreTakenInTheAnsiCodePage) {
  if (::GetACP() != 1252) GTEST_SKIP() << "ANSI code page " << ::GetACP();
  ProgramDirectory dir(SettingsLine(Fields("600", "800", "index.html", "Caf\xE9 \x80 Book", "1")));
  TestApplication app(dir.program());
  TForm1 form(app, nullptr);
  form.window().Show();
  EXPECT_EQ(TitleOf(Hwnd(form)), L"Caf\u00E9 \u20AC Book");
}

// ---------------------------------------------------------------------------------------------
// Failures the reader is told about

struct FailureCase {
  const char* name;
  std::string settings_line;  // empty: no settings file
  std::wstring message;
};

class SettingsFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(SettingsFailureTest, ShowsTheMessageThenEndsTheProgram) {
  ProgramDirectory dir(GetParam().settings_line);
  BoxAnswerer boxes;
  TestApplication app(dir.program());
  TForm1 form(app, nullptr);
  NavigationRecorder navigations(Native(form).WebBrowser());
  form.window().Show(app.StartupShowState());

  const std::vector<MessageBoxSeen> seen = boxes.seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].caption, L"Vellum");
  EXPECT_EQ(seen[0].text, GetParam().message);
  EXPECT_FALSE(seen[0].has_icon);
  EXPECT_EQ(seen[0].buttons, 1);
  // Centred on the screen.
  const int box_centre_x = (seen[0].rect.left + seen[0].rect.right) / 2;
  EXPECT_NEAR(box_centre_x, ::GetSystemMetrics(SM_CXSCREEN) / 2, 2);
  EXPECT_EQ(TitleOf(Hwnd(form)), L"");

  // The program ends: the loop returns before it runs anything.
  bool loop_ran = false;
  app.Post([&] { loop_ran = true; });
  app.Run();
  EXPECT_FALSE(loop_ran);
  Pump(200);
  EXPECT_TRUE(navigations.urls().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SettingsFailureTest,
    ::testing::Values(FailureCase{"NoFile", "", L"Config file error."},
                      FailureCase{"NotHex", "not scrambled hex", L"Config file error."},
                      // 43 fields instead of 44.
                      FailureCase{"WrongFieldCount",
                                  settings::EncodeScrambledHex(std::string(42, '`')),
                                  L"File Error."}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(ErrorReport, IntegerConversionErrorIsReportedAndTheWindowKeepsItsDesignSize) {
  ProgramDirectory dir(SettingsLine(Fields("", "800", "index.html", "Vellum Book", "0")));
  BoxAnswerer boxes;
  TestApplication app(dir.program());
  // The program entry, with a look at the main window once the report is acknowledged and the
  // window shown (tasks also run inside the message box's own loop).
  bool looked = false;
  std::function<void()> look = [&] {
    ASSERT_EQ(app.windows().size(), 1u);
    const HWND hwnd = app.windows().front()->hwnd();
    if (boxes.seen().empty() || !::IsWindowVisible(hwnd)) return app.Post(look);
    // Shown all the same, titled, at the design size, resizable.
    EXPECT_TRUE(::IsWindowVisible(hwnd));
    EXPECT_EQ(TitleOf(hwnd), L"Vellum Book");
    const SIZE design = DesignSize();
    const SIZE client = ClientSize(hwnd);
    EXPECT_EQ(client.cx, design.cx);
    EXPECT_EQ(client.cy, design.cy);
    EXPECT_FALSE(HasFixedBorder(hwnd));
    looked = true;
    ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
  };
  app.Post(look);
  EXPECT_EQ(Project1Main(app), 0);
  EXPECT_TRUE(looked);

  const std::vector<MessageBoxSeen> seen = boxes.seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].caption, L"Vellum");
  EXPECT_EQ(seen[0].text, L"'' is not a valid integer value.");
  EXPECT_TRUE(seen[0].has_icon);
  EXPECT_EQ(seen[0].buttons, 1);
}

// ---------------------------------------------------------------------------------------------
// Popups

class PopupTest : public ::testing::Test {
 protected:
  PopupTest()
      : dir_(SettingsLine(Fields("600", "800", "index.html", "Vellum Book", "0"))),
        app_(dir_.program()),
        main_(app_, nullptr) {
    main_.window().Show();
  }

  ProgramDirectory dir_;
  TestApplication app_;
  TForm1 main_;
};

TEST_F(PopupTest, NewWindowRequestOpensAnOwnedPopupAndHandsBackItsBrowser) {
  VARIANT_BOOL cancel = VARIANT_TRUE;
  IDispatch* pp_disp = OpenPopupFrom(main_, &cancel);
  EXPECT_EQ(cancel, VARIANT_TRUE) << "Cancel is left as the request supplied it";
  ASSERT_EQ(main_.popups().size(), 1u);
  TForm1& popup = *main_.popups().front();
  const HWND hwnd = Hwnd(popup);

  EXPECT_EQ(TitleOf(hwnd), L"newwindow");
  EXPECT_TRUE(::IsWindowVisible(hwnd));
  EXPECT_EQ(::GetWindow(hwnd, GW_OWNER), Hwnd(main_));
  // The popup keeps the design size and a resizable border whatever the settings say.
  const SIZE design = DesignSize();
  EXPECT_EQ(ClientSize(hwnd).cx, design.cx);
  EXPECT_EQ(ClientSize(hwnd).cy, design.cy);
  EXPECT_FALSE(HasFixedBorder(hwnd));

  ASSERT_NE(pp_disp, nullptr);
  EXPECT_EQ(pp_disp, Native(popup).AutomationDispatch());
  IWebBrowser2* browser = nullptr;
  EXPECT_EQ(pp_disp->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser)), S_OK);
  if (browser != nullptr) browser->Release();
  pp_disp->Release();
}

// An automation interface a request may come with; counts its references.
class CountedDispatch final : public IDispatch {
 public:
  LONG references = 1;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
      *object = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }
};

TEST_F(PopupTest, AnInterfaceTheRequestCameWithIsReleasedWhenReplaced) {
  CountedDispatch given;
  IDispatch* pp_disp = &given;
  VARIANT_BOOL cancel = VARIANT_FALSE;
  EXPECT_EQ(RaiseNewWindow2(Native(main_).EventSink(), &pp_disp, &cancel), S_OK);
  ASSERT_NE(pp_disp, &given);
  EXPECT_EQ(given.references, 0);
  if (pp_disp != nullptr) pp_disp->Release();
}

TEST_F(PopupTest, CancelComesBackAsTheRequestSuppliedIt) {
  IDispatch* pp_disp = nullptr;
  VARIANT_BOOL cancel = VARIANT_TRUE;
  EXPECT_EQ(RaiseNewWindow2(Native(main_).EventSink(), &pp_disp, &cancel), S_OK);
  EXPECT_EQ(cancel, VARIANT_TRUE);
  EXPECT_EQ(main_.popups().size(), 1u);
  if (pp_disp != nullptr) pp_disp->Release();
}

TEST_F(PopupTest, ClosingAPopupDestroysItAndItsPopupsButNotTheProgram) {
  if (IDispatch* d = OpenPopupFrom(main_)) d->Release();
  TForm1& first = *main_.popups().front();
  if (IDispatch* d = OpenPopupFrom(first)) d->Release();
  ASSERT_EQ(first.popups().size(), 1u);
  const HWND first_hwnd = Hwnd(first);
  const HWND second_hwnd = Hwnd(*first.popups().front());
  EXPECT_EQ(::GetWindow(second_hwnd, GW_OWNER), first_hwnd);

  // The reader closes the first popup; then, once it is gone, the main window.
  bool main_closed = false;
  std::function<void()> poll = [&] {
    if (main_.popups().empty() && !::IsWindow(first_hwnd) && !::IsWindow(second_hwnd)) {
      EXPECT_TRUE(::IsWindowVisible(Hwnd(main_)));
      main_closed = true;
      ::PostMessageW(Hwnd(main_), WM_CLOSE, 0, 0);
    } else {
      app_.Post(poll);
    }
  };
  ::PostMessageW(first_hwnd, WM_CLOSE, 0, 0);
  app_.Post(poll);
  app_.Run();
  EXPECT_TRUE(main_closed) << "the loop ended before the main window was closed";
  EXPECT_FALSE(::IsWindow(first_hwnd));
  EXPECT_FALSE(::IsWindow(second_hwnd));
}

TEST_F(PopupTest, PageClosingAPopupClosesOnlyThePopup) {
  if (IDispatch* d = OpenPopupFrom(main_)) d->Release();
  const HWND popup_hwnd = Hwnd(*main_.popups().front());
  VARIANT_BOOL cancel = VARIANT_FALSE;
  EXPECT_EQ(RaiseWindowClosing(Native(*main_.popups().front()).EventSink(), &cancel), S_OK);
  EXPECT_TRUE(PumpUntil([&] { return main_.popups().empty(); }));
  EXPECT_FALSE(::IsWindow(popup_hwnd));
  EXPECT_TRUE(::IsWindowVisible(Hwnd(main_)));
}

TEST_F(PopupTest, PageClosingTheMainWindowEndsTheLoop) {
  if (IDispatch* d = OpenPopupFrom(main_)) d->Release();
  app_.Post([&] {
    VARIANT_BOOL cancel = VARIANT_FALSE;
    RaiseWindowClosing(Native(main_).EventSink(), &cancel);
  });
  app_.Run();  // returns: the main window's close ended the program
  EXPECT_FALSE(::IsWindowVisible(Hwnd(main_)));
}

// ---------------------------------------------------------------------------------------------
// The message loop

// An active object as the control announces it when it is UI-active: records the messages
// offered to it and takes F5.
class RecordingActiveObject final : public IOleInPlaceActiveObject {
 public:
  std::vector<MSG> offered;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleWindow) ||
        IsEqualIID(riid, IID_IOleInPlaceActiveObject)) {
      *object = static_cast<IOleInPlaceActiveObject*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetWindow(HWND*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG message) override {
    offered.push_back(*message);
    return message->message == WM_KEYDOWN && message->wParam == VK_F5 ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
};

TEST_F(PopupTest, KeysReachTheActiveControlBeforeTheWindow) {
  // The control announces its active object through the frame its site hands out.
  IOleInPlaceSite* site = nullptr;
  ASSERT_EQ(Native(main_).ClientSite()->QueryInterface(IID_IOleInPlaceSite,
                                                       reinterpret_cast<void**>(&site)),
            S_OK);
  IOleInPlaceFrame* frame = nullptr;
  IOleInPlaceUIWindow* doc = nullptr;
  RECT position{}, clip{};
  OLEINPLACEFRAMEINFO info{};
  info.cb = sizeof info;
  ASSERT_EQ(site->GetWindowContext(&frame, &doc, &position, &clip, &info), S_OK);
  EXPECT_EQ(info.hwndFrame, Hwnd(main_));
  RecordingActiveObject active;
  frame->SetActiveObject(&active, L"WebBrowser");

  // A key for the window, one for a popup's window, and one for nobody's window.
  if (IDispatch* d = OpenPopupFrom(main_)) d->Release();
  ::PostMessageW(Hwnd(main_), WM_KEYDOWN, VK_F5, 0);
  ::PostMessageW(Hwnd(main_), WM_KEYDOWN, 'A', 0);
  ::PostMessageW(Hwnd(*main_.popups().front()), WM_KEYDOWN, VK_F5, 0);
  app_.Post([&] { app_.Terminate(); });
  app_.Run();
  frame->SetActiveObject(nullptr, nullptr);
  frame->Release();
  site->Release();

  // F5 was taken; 'A' went on to the window, which turned it into a character that was offered
  // in turn. The popup's key went to the popup's own control.
  ASSERT_EQ(active.offered.size(), 3u);
  EXPECT_EQ(active.offered[0].hwnd, Hwnd(main_));
  EXPECT_EQ(active.offered[0].wParam, static_cast<WPARAM>(VK_F5));
  EXPECT_EQ(active.offered[1].wParam, static_cast<WPARAM>('A'));
  EXPECT_EQ(active.offered[2].message, static_cast<UINT>(WM_CHAR));
}

// The loop's hooks: a task runs from the loop, never inside Post, and Terminate ends the loop.
// (Guarding and dropping tasks are the seam's own, tested on the headless loop.)
TEST(MessageLoop, PostedTasksWaitForTheLoopAndTerminateEndsIt) {
  TempDir dir;
  TestApplication app(dir.dir() + "Vellum.exe");
  bool ran = false;
  app.Post([&] {
    ran = true;
    app.Terminate();
  });
  EXPECT_FALSE(ran) << "Post runs the task later, never inside the call";
  app.Run();
  EXPECT_TRUE(ran);
}

// ---------------------------------------------------------------------------------------------
// Program file and file reading

TEST(Files, RunningProgramPathIsTheTestProgram) {
  const platform::Path path = platform::RunningProgramPath();
  EXPECT_EQ(platform::PathSeparator(), '\\');
  EXPECT_NE(path.native().find(L'\\'), std::wstring::npos);
  EXPECT_EQ(ApplicationTitle(path), "vellum_win32_tests");
}

TEST(Files, FileHeldOpenForWritingIsNotOpened) {
  TempDir dir;
  const std::string path = dir.Write("Vellum.ini", "line\r\n");
  HANDLE writer =
      ::CreateFileW(ToWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_THROW(platform::OpenForReading(path), platform::PlatformError);
  ::CloseHandle(writer);

  auto file = platform::OpenForReading(path);
  EXPECT_EQ(file->SizeHint(), 6u);
  // While it is open here, nobody may write to it.
  HANDLE late_writer =
      ::CreateFileW(ToWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(late_writer, INVALID_HANDLE_VALUE);
  if (late_writer != INVALID_HANDLE_VALUE) ::CloseHandle(late_writer);
  char buffer[16];
  EXPECT_EQ(file->Read(buffer, sizeof buffer), 6u);
  EXPECT_EQ(file->Read(buffer, sizeof buffer), 0u);
}

TEST(Files, MissingFilesDirectoriesAndDevicesAreNotOpened) {
  TempDir dir;
  EXPECT_THROW(platform::OpenForReading(dir.dir() + "absent.ini"), platform::PlatformError);
  EXPECT_THROW(platform::OpenForReading(dir.dir()), platform::PlatformError);
  EXPECT_THROW(platform::OpenForReading("NUL"), platform::PlatformError);
}

TEST(Files, FolderListingNamesEntriesInUtf8) {
  TempDir dir;
  const std::wstring folder = ToWide(dir.dir());
  HANDLE file = ::CreateFileW((folder + L"Caf\u00E9.html").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ::CloseHandle(file);
  ASSERT_TRUE(::CreateDirectoryW((folder + L"images").c_str(), nullptr));
  std::vector<std::pair<std::string, bool>> seen;
  for (const platform::DirectoryEntry& entry : platform::ListDirectory(dir.dir())) {
    seen.emplace_back(entry.name, entry.is_directory);
    EXPECT_EQ(entry.path.native(), folder + entry.path.FileName().native());
  }
  std::sort(seen.begin(), seen.end());
  const std::vector<std::pair<std::string, bool>> expected = {{"Caf\xC3\xA9.html", false},
                                                              {"images", true}};
  EXPECT_EQ(seen, expected);
  EXPECT_THROW(platform::ListDirectory(dir.dir() + "absent"), platform::PlatformError);
}

}  // namespace
}  // namespace vellum
