// SPDX-License-Identifier: MIT
// The Windows backend: top-level Win32 windows, each hosting the web-browser ActiveX control by
// OLE in-place activation, message boxes and the message loop. Declared here for the backend's
// own files and for its tests, which drive the real windows and the control's event sink.
#pragma once

#include <ole2.h>
#include <windows.h>
// After ole2.h:
#include <exdisp.h>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "platform/platform.h"

namespace vellum::platform::win32 {

// OLE for the calling thread, from construction to destruction.
class OleSession {
 public:
  OleSession();
  ~OleSession();
  OleSession(const OleSession&) = delete;
  OleSession& operator=(const OleSession&) = delete;
};

class ControlSite;
class Win32Application;

// A viewer window: a top-level window whose whole client area is the browser control. Its sizes
// are given in 96-dpi units and drawn at the dpi of the monitor it is on.
class Win32Window final : public Window, public Browser {
 public:
  Win32Window(Win32Application& app, WindowEvents& events, Win32Window* owner);
  ~Win32Window() override;

  Browser& browser() override { return *this; }
  void NavigateToFile(const Path& path) override;
  // The control's automation object, as a new-window request hands it back to the control.
  IDispatch* AutomationDispatch() const { return automation_; }

  HWND hwnd() const { return hwnd_; }
  // The control's site as the control sees it; its in-place site hands out the frame.
  IOleClientSite* ClientSite() const;
  // The DWebBrowserEvents2 sink advised on the control.
  IDispatch* EventSink() const;
  IWebBrowser2* WebBrowser() const { return web_browser_; }

  // Offers a keyboard message to the control's active object first; true when it took it.
  bool TranslateAccelerator(MSG& message);

  // From the site, as the control calls it.
  void OnNewWindow2(IDispatch** pp_disp, VARIANT_BOOL* cancel) noexcept;
  void OnWindowClosing(VARIANT_BOOL* cancel) noexcept;
  void SetActiveObject(IOleInPlaceActiveObject* active) noexcept;

  // The window procedure of the viewer window class.
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);

  void SetTitleImpl(const Bytes& title) override;
  void ShowImpl(ShowState state) override;
  void HideImpl() override;
  void MaximizeImpl() override;
  void SetOuterHeightImpl(int height) override;
  void SetOuterWidthImpl(int width) override;
  void SetBorderImpl(Border border) override;

  void CreateControl();
  void DestroyControl() noexcept;
  void FitControl() noexcept;
  // Outer size of a window that may be maximized or minimized: the restored size then.
  void SetOuterSize(int width, int height);
  RECT OuterRect() const;
  // A length from the settings (96-dpi units) in pixels at the window's dpi, held to `limit`
  // (the work area's width or height).
  int OuterLengthAtDpi(int length, LONG limit) const;
  RECT WorkArea() const;
  // The program's icons in the sizes for the window's dpi.
  void SetIconsForDpi() noexcept;
  void OnDpiChanged(UINT dpi, const RECT* suggested);
  void ScaleZoom(UINT from_dpi, UINT to_dpi) noexcept;

  Win32Application& app_;
  HWND hwnd_ = nullptr;
  bool maximize_on_show_ = false;
  UINT dpi_;
  HICON large_icon_ = nullptr;  // owned; only when the class's icons do not fit the dpi
  HICON small_icon_ = nullptr;
  ControlSite* site_ = nullptr;
  IOleObject* ole_object_ = nullptr;
  IOleInPlaceObject* in_place_object_ = nullptr;
  IOleInPlaceActiveObject* active_object_ = nullptr;      // as announced by the control
  IOleInPlaceActiveObject* own_active_object_ = nullptr;  // the control's own, as fallback
  IWebBrowser2* web_browser_ = nullptr;
  IDispatch* automation_ = nullptr;
  IConnectionPoint* connection_point_ = nullptr;
  DWORD advise_cookie_ = 0;
};

class Win32Application : public Application {
 public:
  Win32Application(HINSTANCE instance, int show_command);
  ~Win32Application() override;

  std::unique_ptr<Window> CreateViewerWindow(WindowEvents& events, Window* owner) override;
  Path ProgramPath() override;
  ShowState StartupShowState() override { return startup_state_; }
  void ShowMessageBox(const Bytes& caption, const Bytes& text, BoxIcon icon) override;

  HINSTANCE instance() const { return instance_; }
  // The live viewer windows, in creation order: a window enters once it is made and leaves as it
  // goes.
  const std::vector<Win32Window*>& windows() const { return windows_; }
  void Enter(Win32Window* window) { windows_.push_back(window); }
  void Leave(Win32Window* window) noexcept { std::erase(windows_, window); }
  // The design client size at `dpi`, and at the system's dpi.
  static SIZE DesignClientSize(UINT dpi);
  static SIZE DesignClientSize();
  // The program's icon (resource 1) in `size` pixels; nullptr when the program has none. The
  // caller destroys it.
  HICON LoadProgramIcon(int size) const;
  static const wchar_t* WindowClassName() { return L"VellumViewerWindow"; }

 private:
  void RunLoop() override;
  void QuitLoop() override;
  void Queue(std::function<void()> task) override;
  static LRESULT CALLBACK TaskWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  void RunNextTask() noexcept;
  Win32Window* ViewerWindowOf(HWND hwnd) const;

  OleSession ole_;
  HINSTANCE instance_;
  ShowState startup_state_;
  HWND task_window_ = nullptr;
  HICON class_icon_ = nullptr;
  HICON class_small_icon_ = nullptr;
  std::deque<std::function<void()>> tasks_;
  std::vector<Win32Window*> windows_;
  bool running_ = false;
};

// The show request a program was started with (nCmdShow, or the startup information when it
// says "default").
ShowState ShowStateFromCommand(int show_command);

}  // namespace vellum::platform::win32
