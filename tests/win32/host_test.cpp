// SPDX-License-Identifier: MIT
// The Win32 backend as the control's host on a modern desktop, in-process under Wine: what the
// control site tells the control about its host, and a window moving to a monitor of another dpi.
#include <gtest/gtest.h>
#include <ole2.h>
#include <windows.h>
// After ole2.h:
#include <mshtmhst.h>

#include <functional>
#include <memory>

#include "platform/win32/win32_backend.h"

namespace vellum {
namespace {

using platform::win32::Win32Application;
using platform::win32::Win32Window;

class NoEvents final : public platform::WindowEvents {
 public:
  void OnShow() override {}
  void OnCloseRequest() override {}
  void OnNewWindow(platform::Automation&, bool&) override {}
};

class HostTest : public ::testing::Test {
 protected:
  HostTest() : app_(nullptr, SW_SHOWNORMAL), window_(app_.CreateViewerWindow(events_, nullptr)) {}
  Win32Window& native() { return dynamic_cast<Win32Window&>(*window_); }

  Win32Application app_;
  NoEvents events_;
  std::unique_ptr<platform::Window> window_;
};

TEST_F(HostTest, SiteAsksForDpiAwarePagesWithoutBorderAndLeavesTheRestToTheControl) {
  IDocHostUIHandler* handler = nullptr;
  ASSERT_EQ(native().ClientSite()->QueryInterface(IID_IDocHostUIHandler,
                                                  reinterpret_cast<void**>(&handler)),
            S_OK);
  DOCHOSTUIINFO info{};
  info.cbSize = sizeof info;
  EXPECT_EQ(handler->GetHostInfo(&info), S_OK);
  EXPECT_EQ(info.dwFlags, static_cast<DWORD>(DOCHOSTUIFLAG_DPI_AWARE | DOCHOSTUIFLAG_NO3DBORDER |
                                             DOCHOSTUIFLAG_THEME));

  // "Not handled": the control shows its own menu and takes its own keys.
  MSG key{};
  key.message = WM_KEYDOWN;
  key.wParam = VK_F5;
  POINT point{10, 10};
  IDispatch* external = nullptr;
  LPWSTR url = nullptr;
  struct Answer {
    const char* method;
    std::function<HRESULT()> call;
    HRESULT expected;
  };
  const Answer answers[] = {
      {"ShowContextMenu", [&] { return handler->ShowContextMenu(0, &point, nullptr, nullptr); },
       S_FALSE},
      {"TranslateAccelerator", [&] { return handler->TranslateAccelerator(&key, nullptr, 0); },
       S_FALSE},
      {"ShowUI", [&] { return handler->ShowUI(0, nullptr, nullptr, nullptr, nullptr); }, S_FALSE},
      {"GetExternal", [&] { return handler->GetExternal(&external); }, E_NOTIMPL},
      {"TranslateUrl", [&] { return handler->TranslateUrl(0, nullptr, &url); }, S_FALSE},
  };
  for (const Answer& answer : answers) EXPECT_EQ(answer.call(), answer.expected) << answer.method;
  EXPECT_EQ(external, nullptr);
  EXPECT_EQ(url, nullptr);
  handler->Release();
}

TEST_F(HostTest, DpiChangeMovesTheWindowToTheSuggestedRectangleAndTheControlFollows) {
  window_->Show();
  const HWND hwnd = native().hwnd();
  const HWND control = ::GetWindow(hwnd, GW_CHILD);
  ASSERT_NE(control, nullptr) << "the control has no window";
  // Larger on a 144-dpi monitor, then back on a 96-dpi one. The control has no page under Wine,
  // so its zoom call fails, which must do no harm.
  const struct {
    UINT dpi;
    RECT suggested;
  } moves[] = {{144, {40, 30, 1240, 930}}, {96, {60, 50, 860, 650}}};
  for (const auto& move : moves) {
    RECT suggested = move.suggested;
    ::SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(move.dpi, move.dpi),
                   reinterpret_cast<LPARAM>(&suggested));
    RECT outer{};
    ::GetWindowRect(hwnd, &outer);
    EXPECT_TRUE(::EqualRect(&outer, &move.suggested))
        << move.dpi << " dpi: window at " << outer.left << "," << outer.top << " "
        << outer.right - outer.left << "x" << outer.bottom - outer.top;
    RECT client{};
    ::GetClientRect(hwnd, &client);
    RECT filled{};
    ::GetWindowRect(control, &filled);
    EXPECT_EQ(filled.right - filled.left, client.right) << move.dpi << " dpi";
    EXPECT_EQ(filled.bottom - filled.top, client.bottom) << move.dpi << " dpi";
  }
}

}  // namespace
}  // namespace vellum
