// SPDX-License-Identifier: MIT
#include "platform/win32/win32_backend.h"

#include <exdispid.h>

#include <algorithm>
#include <utility>

#include "platform/win32/control_site.h"
#include "platform/win32/dpi.h"
#include "platform/win32/text.h"

namespace vellum::platform::win32 {

namespace {

constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = 0;
constexpr DWORD kFixedBorderRemoves = WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
// The dialog frame: no icon in the title bar.
constexpr DWORD kFixedBorderExStyle = WS_EX_DLGMODALFRAME;
constexpr wchar_t kTaskWindowClass[] = L"VellumTaskWindow";
constexpr UINT kRunTaskMessage = WM_APP + 1;
// The program's icon in its resources (program.rc).
constexpr WORD kProgramIconId = 1;
// The zoom the control accepts, in percent.
constexpr int kMinZoom = 10;
constexpr int kMaxZoom = 1000;

[[noreturn]] void ThrowHresult(const char* what, HRESULT hr) {
  throw PlatformError(std::string(what) + ": " + ErrorCodeText(static_cast<DWORD>(hr)));
}

template <typename Interface>
void ReleaseAndClear(Interface*& pointer) noexcept {
  if (pointer != nullptr) {
    pointer->Release();
    pointer = nullptr;
  }
}

bool IsInputMessage(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
         (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// OLE

OleSession::OleSession() {
  const HRESULT hr = ::OleInitialize(nullptr);
  if (FAILED(hr)) ThrowHresult("Cannot initialise OLE", hr);
}

OleSession::~OleSession() { ::OleUninitialize(); }

ShowState ShowStateFromCommand(int show_command) {
  if (show_command == SW_SHOWDEFAULT) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    ::GetStartupInfoW(&startup);
    if (startup.dwFlags & STARTF_USESHOWWINDOW) show_command = startup.wShowWindow;
  }
  switch (show_command) {
    case SW_SHOWMAXIMIZED:
      return ShowState::Maximized;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
    case SW_FORCEMINIMIZE:
      return ShowState::Minimized;
    default:
      return ShowState::Normal;
  }
}

// ---------------------------------------------------------------------------------------------
// Viewer window

Win32Window::Win32Window(Win32Application& app, WindowEvents& events, Win32Window* owner)
    : Window(app, events), app_(app), dpi_(SystemDpi()) {
  const SIZE outer = OuterSizeForClient(Win32Application::DesignClientSize(dpi_), kWindowStyle,
                                        kWindowExStyle, dpi_);
  // WM_NCCREATE stores `this` with the window and sets hwnd_.
  ::CreateWindowExW(kWindowExStyle, Win32Application::WindowClassName(),
                    win32::ToWide(kDesignTitle).c_str(), kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                    outer.cx, outer.cy, owner != nullptr ? owner->hwnd() : nullptr, nullptr,
                    app.instance(), this);
  if (hwnd_ == nullptr) {
    throw PlatformError("Cannot create a window: " + ErrorCodeText(::GetLastError()));
  }
  try {
    CreateControl();
  } catch (...) {
    DestroyControl();
    ::DestroyWindow(hwnd_);
    throw;
  }
  // The monitor the window opened on may have a dpi other than the system's.
  if (const UINT dpi = WindowDpi(hwnd_); dpi != dpi_) {
    dpi_ = dpi;
    const SIZE sized = OuterSizeForClient(Win32Application::DesignClientSize(dpi_), kWindowStyle,
                                          kWindowExStyle, dpi_);
    ::SetWindowPos(hwnd_, nullptr, 0, 0, sized.cx, sized.cy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
    SetIconsForDpi();
  }
  app_.Enter(this);
}

Win32Window::~Win32Window() {
  app_.Leave(this);
  DestroyControl();
  if (hwnd_ != nullptr) ::DestroyWindow(hwnd_);
  if (large_icon_ != nullptr) ::DestroyIcon(large_icon_);
  if (small_icon_ != nullptr) ::DestroyIcon(small_icon_);
}

void Win32Window::CreateControl() {
  HRESULT hr = ::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                  reinterpret_cast<void**>(&ole_object_));
  if (FAILED(hr)) ThrowHresult("Cannot create the browser control", hr);
  site_ = new ControlSite(this);
  hr = ole_object_->SetClientSite(site_);
  if (FAILED(hr)) ThrowHresult("Cannot embed the browser control", hr);
  ::OleSetContainedObject(ole_object_, TRUE);

  RECT client{};
  ::GetClientRect(hwnd_, &client);
  hr = ole_object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_, 0, hwnd_, &client);
  if (FAILED(hr)) ThrowHresult("Cannot activate the browser control", hr);
  ole_object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&in_place_object_));
  ole_object_->QueryInterface(IID_IOleInPlaceActiveObject,
                              reinterpret_cast<void**>(&own_active_object_));

  hr = ole_object_->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&web_browser_));
  if (FAILED(hr)) ThrowHresult("The browser control has no IWebBrowser2", hr);
  // The automation object a new-window request hands back is the control's Application.
  if (FAILED(web_browser_->get_Application(&automation_)) || automation_ == nullptr) {
    web_browser_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&automation_));
  }

  IConnectionPointContainer* container = nullptr;
  hr = ole_object_->QueryInterface(IID_IConnectionPointContainer,
                                   reinterpret_cast<void**>(&container));
  if (FAILED(hr)) ThrowHresult("The browser control raises no events", hr);
  hr = container->FindConnectionPoint(DIID_DWebBrowserEvents2, &connection_point_);
  container->Release();
  if (FAILED(hr)) ThrowHresult("The browser control raises no events", hr);
  hr = connection_point_->Advise(static_cast<IDispatch*>(site_), &advise_cookie_);
  if (FAILED(hr)) {
    ReleaseAndClear(connection_point_);
    ThrowHresult("Cannot listen to the browser control", hr);
  }
  FitControl();
}

void Win32Window::DestroyControl() noexcept {
  if (connection_point_ != nullptr) {
    connection_point_->Unadvise(advise_cookie_);
    ReleaseAndClear(connection_point_);
  }
  if (in_place_object_ != nullptr) in_place_object_->InPlaceDeactivate();
  ReleaseAndClear(in_place_object_);
  ReleaseAndClear(active_object_);
  ReleaseAndClear(own_active_object_);
  ReleaseAndClear(automation_);
  ReleaseAndClear(web_browser_);
  if (ole_object_ != nullptr) {
    ole_object_->Close(OLECLOSE_NOSAVE);
    ole_object_->SetClientSite(nullptr);
    ReleaseAndClear(ole_object_);
  }
  if (site_ != nullptr) {
    site_->Detach();
    site_->Release();
    site_ = nullptr;
  }
}

void Win32Window::FitControl() noexcept {
  if (in_place_object_ == nullptr || hwnd_ == nullptr) return;
  RECT client{};
  ::GetClientRect(hwnd_, &client);
  in_place_object_->SetObjectRects(&client, &client);
}

IOleClientSite* Win32Window::ClientSite() const { return site_; }

IDispatch* Win32Window::EventSink() const { return site_; }

void Win32Window::NavigateToFile(const Path& path) {
  if (web_browser_ == nullptr) throw PlatformError("The window has no browser control");
  const std::wstring& url = path.native();
  BSTR bstr = ::SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
  if (bstr == nullptr) throw PlatformError("Out of memory");
  // No flags, no target frame, no post data, no extra headers.
  VARIANT none;
  ::VariantInit(&none);
  const HRESULT hr = web_browser_->Navigate(bstr, &none, &none, &none, &none);
  ::SysFreeString(bstr);
  if (FAILED(hr)) throw PlatformError(ErrorCodeText(static_cast<DWORD>(hr)));
}

bool Win32Window::TranslateAccelerator(MSG& message) {
  IOleInPlaceActiveObject* active = active_object_ != nullptr ? active_object_ : own_active_object_;
  return active != nullptr && active->TranslateAccelerator(&message) == S_OK;
}

void Win32Window::OnNewWindow2(IDispatch** pp_disp, VARIANT_BOOL* cancel) noexcept {
  Automation answer;
  bool refuse = *cancel != VARIANT_FALSE;
  const bool refuse_before = refuse;
  FireNewWindow(answer, refuse);
  // The control receives the named window's automation object with a reference of its own, and
  // the one the request came with is given up: an out-argument that is replaced is released by
  // whoever replaces it. Unanswered, the request keeps what it came with.
  const auto* window = dynamic_cast<const Win32Window*>(answer.browser());
  if (window != nullptr && window->automation_ != nullptr) {
    window->automation_->AddRef();
    if (*pp_disp != nullptr) (*pp_disp)->Release();
    *pp_disp = window->automation_;
  }
  if (refuse != refuse_before) *cancel = refuse ? VARIANT_TRUE : VARIANT_FALSE;
}

void Win32Window::OnWindowClosing(VARIANT_BOOL* cancel) noexcept {
  // The page's window.close() closes the window the way the reader would; the control does
  // nothing on its own.
  *cancel = VARIANT_TRUE;
  FireCloseRequest();
}

void Win32Window::SetActiveObject(IOleInPlaceActiveObject* active) noexcept {
  if (active != nullptr) active->AddRef();
  ReleaseAndClear(active_object_);
  active_object_ = active;
}

void Win32Window::SetTitleImpl(const Bytes& title) {
  if (!::SetWindowTextW(hwnd_, ToWide(title).c_str())) {
    throw PlatformError("Cannot set the window title: " + ErrorCodeText(::GetLastError()));
  }
}

void Win32Window::ShowImpl(ShowState state) {
  if (hwnd_ == nullptr) return;
  int command = SW_SHOWNORMAL;
  if (state == ShowState::Minimized) {
    command = SW_SHOWMINIMIZED;
  } else if (state == ShowState::Maximized || maximize_on_show_) {
    command = SW_SHOWMAXIMIZED;
  }
  ::ShowWindow(hwnd_, command);
  if (state == ShowState::Minimized && maximize_on_show_) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (::GetWindowPlacement(hwnd_, &placement)) {
      placement.flags |= WPF_RESTORETOMAXIMIZED;
      ::SetWindowPlacement(hwnd_, &placement);
    }
  }
  maximize_on_show_ = false;
  ::UpdateWindow(hwnd_);
}

void Win32Window::HideImpl() { ::ShowWindow(hwnd_, SW_HIDE); }

void Win32Window::MaximizeImpl() {
  // A window that is not shown yet opens maximized when it is.
  if (::IsWindowVisible(hwnd_)) {
    ::ShowWindow(hwnd_, SW_MAXIMIZE);
  } else {
    maximize_on_show_ = true;
  }
}

RECT Win32Window::OuterRect() const {
  RECT rect{};
  if (::IsZoomed(hwnd_) || ::IsIconic(hwnd_)) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (::GetWindowPlacement(hwnd_, &placement)) return placement.rcNormalPosition;
  }
  ::GetWindowRect(hwnd_, &rect);
  return rect;
}

void Win32Window::SetOuterSize(int width, int height) {
  if (::IsZoomed(hwnd_) || ::IsIconic(hwnd_)) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (::GetWindowPlacement(hwnd_, &placement)) {
      placement.rcNormalPosition.right = placement.rcNormalPosition.left + width;
      placement.rcNormalPosition.bottom = placement.rcNormalPosition.top + height;
      ::SetWindowPlacement(hwnd_, &placement);
      return;
    }
  }
  ::SetWindowPos(hwnd_, nullptr, 0, 0, width, height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

RECT Win32Window::WorkArea() const {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (::GetMonitorInfoW(::MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &monitor)) {
    return monitor.rcWork;
  }
  RECT area{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  return area;
}

int Win32Window::OuterLengthAtDpi(int length, LONG limit) const {
  return std::clamp(ScaledToDpi(length, dpi_), 1, std::max(1, static_cast<int>(limit)));
}

void Win32Window::SetOuterHeightImpl(int height) {
  const RECT outer = OuterRect();
  const RECT area = WorkArea();
  SetOuterSize(outer.right - outer.left, OuterLengthAtDpi(height, area.bottom - area.top));
}

void Win32Window::SetOuterWidthImpl(int width) {
  const RECT outer = OuterRect();
  const RECT area = WorkArea();
  SetOuterSize(OuterLengthAtDpi(width, area.right - area.left), outer.bottom - outer.top);
}

void Win32Window::SetIconsForDpi() noexcept {
  HICON large = app_.LoadProgramIcon(SystemMetricForDpi(SM_CXICON, dpi_));
  HICON small = app_.LoadProgramIcon(SystemMetricForDpi(SM_CXSMICON, dpi_));
  if (large == nullptr || small == nullptr) {
    // A program without an icon keeps the class's.
    if (large != nullptr) ::DestroyIcon(large);
    if (small != nullptr) ::DestroyIcon(small);
    return;
  }
  ::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large));
  ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  if (large_icon_ != nullptr) ::DestroyIcon(large_icon_);
  if (small_icon_ != nullptr) ::DestroyIcon(small_icon_);
  large_icon_ = large;
  small_icon_ = small;
}

// The window moved to a monitor of another dpi: it takes the rectangle Windows suggests, which
// keeps its size in 96-dpi units, and the control follows through WM_SIZE.
void Win32Window::OnDpiChanged(UINT dpi, const RECT* suggested) {
  const UINT before = std::exchange(dpi_, dpi != 0 ? dpi : WindowDpi(hwnd_));
  SetIconsForDpi();
  if (suggested != nullptr) {
    ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
  }
  FitControl();
  ScaleZoom(before, dpi_);
}

// The control zooms a page by the dpi it was created at; the page's zoom, whatever the reader made
// it, follows the window to its new dpi. A control that has no page or refuses keeps its zoom.
void Win32Window::ScaleZoom(UINT from_dpi, UINT to_dpi) noexcept {
  if (web_browser_ == nullptr || from_dpi == 0 || from_dpi == to_dpi) return;
  VARIANT zoom;
  ::VariantInit(&zoom);
  if (FAILED(web_browser_->ExecWB(OLECMDID_OPTICAL_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, nullptr,
                                  &zoom)) ||
      V_VT(&zoom) != VT_I4) {
    ::VariantClear(&zoom);
    return;
  }
  VARIANT scaled;
  ::VariantInit(&scaled);
  V_VT(&scaled) = VT_I4;
  V_I4(&scaled) =
      std::clamp(::MulDiv(V_I4(&zoom), static_cast<int>(to_dpi), static_cast<int>(from_dpi)),
                 kMinZoom, kMaxZoom);
  web_browser_->ExecWB(OLECMDID_OPTICAL_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, &scaled, nullptr);
}

void Win32Window::SetBorderImpl(Border border) {
  LONG_PTR style = ::GetWindowLongPtrW(hwnd_, GWL_STYLE);
  if (border == Border::FixedDialog) {
    style &= ~static_cast<LONG_PTR>(kFixedBorderRemoves);
  } else {
    style |= static_cast<LONG_PTR>(kFixedBorderRemoves);
  }
  ::SetWindowLongPtrW(hwnd_, GWL_STYLE, style);
  LONG_PTR ex_style = ::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE);
  if (border == Border::FixedDialog) {
    ex_style |= static_cast<LONG_PTR>(kFixedBorderExStyle);
  } else {
    ex_style &= ~static_cast<LONG_PTR>(kFixedBorderExStyle);
  }
  ::SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, ex_style);
  ::SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE |
                     SWP_NOOWNERZORDER);
  FitControl();
}

LRESULT CALLBACK Win32Window::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    auto* self = static_cast<Win32Window*>(create->lpCreateParams);
    self->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Win32Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcW(hwnd, message, wparam, lparam);
  LRESULT result = 0;
  self->app_.Guarded([&] { result = self->HandleMessage(message, wparam, lparam); });
  return result;
}

LRESULT Win32Window::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_SIZE:
      FitControl();
      break;
    case WM_DPICHANGED:
      OnDpiChanged(HIWORD(wparam), reinterpret_cast<const RECT*>(lparam));
      return 0;
    case WM_SETFOCUS: {
      // The keyboard belongs to the control.
      HWND control = nullptr;
      if (in_place_object_ != nullptr && SUCCEEDED(in_place_object_->GetWindow(&control)) &&
          control != nullptr) {
        ::SetFocus(control);
        return 0;
      }
      break;
    }
    case WM_CLOSE:
      // The viewer decides what closing does.
      FireCloseRequest();
      return 0;
    case WM_NCDESTROY: {
      DestroyControl();
      ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      HWND hwnd = std::exchange(hwnd_, nullptr);
      return ::DefWindowProcW(hwnd, message, wparam, lparam);
    }
    default:
      break;
  }
  return ::DefWindowProcW(hwnd_, message, wparam, lparam);
}

// ---------------------------------------------------------------------------------------------
// Application

Win32Application::Win32Application(HINSTANCE instance, int show_command)
    : instance_(instance != nullptr ? instance : ::GetModuleHandleW(nullptr)),
      startup_state_(ShowStateFromCommand(show_command)) {
  WNDCLASSEXW viewer{};
  viewer.cbSize = sizeof viewer;
  viewer.lpfnWndProc = &Win32Window::WindowProc;
  viewer.hInstance = instance_;
  // The program's icon in the sizes for the system's dpi; windows on a monitor of another dpi
  // set their own.
  const UINT dpi = SystemDpi();
  class_icon_ = LoadProgramIcon(SystemMetricForDpi(SM_CXICON, dpi));
  class_small_icon_ = LoadProgramIcon(SystemMetricForDpi(SM_CXSMICON, dpi));
  viewer.hIcon = class_icon_ != nullptr ? class_icon_ : ::LoadIconW(nullptr, IDI_APPLICATION);
  viewer.hIconSm = class_small_icon_;
  viewer.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  // Seen only where the browser control does not paint.
  viewer.hbrBackground = ::GetSysColorBrush(COLOR_HIGHLIGHTTEXT);
  viewer.lpszClassName = WindowClassName();
  if (!::RegisterClassExW(&viewer) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    throw PlatformError("Cannot register the window class: " + ErrorCodeText(::GetLastError()));
  }

  WNDCLASSEXW tasks{};
  tasks.cbSize = sizeof tasks;
  tasks.lpfnWndProc = &Win32Application::TaskWindowProc;
  tasks.hInstance = instance_;
  tasks.lpszClassName = kTaskWindowClass;
  if (!::RegisterClassExW(&tasks) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    throw PlatformError("Cannot register the window class: " + ErrorCodeText(::GetLastError()));
  }
  task_window_ = ::CreateWindowExW(0, kTaskWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   instance_, this);
  if (task_window_ == nullptr) {
    throw PlatformError("Cannot create the message window: " + ErrorCodeText(::GetLastError()));
  }
}

Win32Application::~Win32Application() {
  if (task_window_ != nullptr) ::DestroyWindow(task_window_);
  ::UnregisterClassW(kTaskWindowClass, instance_);
  ::UnregisterClassW(WindowClassName(), instance_);
  if (class_icon_ != nullptr) ::DestroyIcon(class_icon_);
  if (class_small_icon_ != nullptr) ::DestroyIcon(class_small_icon_);
}

SIZE Win32Application::DesignClientSize(UINT dpi) {
  return SIZE{ScaledToDpi(Win32Window::kDesignClientWidth, dpi),
              ScaledToDpi(Win32Window::kDesignClientHeight, dpi)};
}

SIZE Win32Application::DesignClientSize() { return DesignClientSize(SystemDpi()); }

HICON Win32Application::LoadProgramIcon(int size) const {
  return static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(kProgramIconId), IMAGE_ICON,
                                         size, size, LR_DEFAULTCOLOR));
}

std::unique_ptr<Window> Win32Application::CreateViewerWindow(WindowEvents& events, Window* owner) {
  return std::make_unique<Win32Window>(*this, events, dynamic_cast<Win32Window*>(owner));
}

Path Win32Application::ProgramPath() { return RunningProgramPath(); }

void Win32Application::ShowMessageBox(const Bytes& caption, const Bytes& text, BoxIcon icon) {
  // No owner: the box is centred on the screen; task-modal, so every window of the program
  // waits for it.
  UINT type = MB_OK | MB_TASKMODAL | MB_SETFOREGROUND;
  if (icon == BoxIcon::Error) type |= MB_ICONERROR;
  const std::wstring wide_text = ToWide(text);
  const std::wstring wide_caption = ToWide(caption);
  if (::MessageBoxW(nullptr, wide_text.c_str(), wide_caption.c_str(), type) == 0) {
    throw PlatformError("Cannot show a message: " + ErrorCodeText(::GetLastError()));
  }
}

Win32Window* Win32Application::ViewerWindowOf(HWND hwnd) const {
  if (hwnd == nullptr) return nullptr;
  HWND root = ::GetAncestor(hwnd, GA_ROOT);
  for (Win32Window* window : windows_) {
    if (window->hwnd() == root) return window;
  }
  return nullptr;
}

void Win32Application::RunLoop() {
  running_ = true;
  MSG message{};
  for (;;) {
    const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    // The browser control sees keyboard and mouse input first, so that its own keys (Tab,
    // clipboard, back, forward, reload, find, print, zoom) work as it means them to.
    if (IsInputMessage(message.message)) {
      Win32Window* window = ViewerWindowOf(message.hwnd);
      if (window != nullptr && window->TranslateAccelerator(message)) continue;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  running_ = false;
}

void Win32Application::QuitLoop() {
  // Before Run() there is no loop to end, and Run() will not start one.
  if (running_) ::PostQuitMessage(0);
}

void Win32Application::Queue(std::function<void()> task) {
  tasks_.push_back(std::move(task));
  if (!::PostMessageW(task_window_, kRunTaskMessage, 0, 0)) {
    tasks_.pop_back();
    throw PlatformError("Cannot post a task: " + ErrorCodeText(::GetLastError()));
  }
}

void Win32Application::RunNextTask() noexcept {
  if (tasks_.empty()) return;
  std::function<void()> task = std::move(tasks_.front());
  tasks_.pop_front();
  task();  // guarded by Post
}

LRESULT CALLBACK Win32Application::TaskWindowProc(HWND hwnd, UINT message, WPARAM wparam,
                                                  LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  } else if (message == kRunTaskMessage) {
    auto* app = reinterpret_cast<Win32Application*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (app != nullptr) app->RunNextTask();
    return 0;
  } else if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  }
  return ::DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace vellum::platform::win32

namespace vellum::platform {

std::unique_ptr<Application> CreateApplication(const StartupArgs& args) {
  return std::make_unique<win32::Win32Application>(static_cast<HINSTANCE>(args.instance),
                                                   args.show_command);
}

}  // namespace vellum::platform
