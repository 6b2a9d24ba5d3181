// SPDX-License-Identifier: MIT
// WebKitGTK 4.1, loaded when the program starts rather than linked to it: a reader without it
// gets a message saying what to install instead of a program that does not start at all.
//
// The backend includes this header instead of <webkit2/webkit2.h> and calls WebKit as usual:
// inside namespace vellum::platform::gtk each function below is an object of the same name that
// calls the function loaded from the library, so `webkit_web_view_load_uri (view, uri)` and the
// type macros (WEBKIT_WEB_VIEW (obj) calls webkit_web_view_get_type ()) compile unchanged. A call
// of a function missing from the list ends in "undefined reference to `webkit_...'" when the
// program is linked: WebKit is not linked to it.
#pragma once

#include <webkit2/webkit2.h>

#include <string>
#include <string_view>

// Every WebKit function the backend calls. To call another one, add the one line
// `  X(its_name) \` here, in alphabetical order; its type comes from WebKit's own header.
// jsc_* functions go here too: they are found through the same library. Functions that take
// `...` cannot be called this way.
// clang-format off
#define VELLUM_WEBKIT_FUNCTIONS(X) \
  X(webkit_download_cancel) \
  X(webkit_download_error_quark) \
  X(webkit_download_get_web_view) \
  X(webkit_download_set_allow_overwrite) \
  X(webkit_download_set_destination) \
  X(webkit_find_controller_count_matches) \
  X(webkit_find_controller_search) \
  X(webkit_find_controller_search_finish) \
  X(webkit_find_controller_search_next) \
  X(webkit_find_controller_search_previous) \
  X(webkit_policy_decision_download) \
  X(webkit_policy_decision_ignore) \
  X(webkit_print_operation_new) \
  X(webkit_print_operation_print) \
  X(webkit_print_operation_run_dialog) \
  X(webkit_print_operation_set_page_setup) \
  X(webkit_print_operation_set_print_settings) \
  X(webkit_response_policy_decision_get_request) \
  X(webkit_response_policy_decision_get_response) \
  X(webkit_response_policy_decision_is_mime_type_supported) \
  X(webkit_settings_get_enable_caret_browsing) \
  X(webkit_settings_new) \
  X(webkit_settings_set_allow_file_access_from_file_urls) \
  X(webkit_settings_set_allow_universal_access_from_file_urls) \
  X(webkit_settings_set_enable_caret_browsing) \
  X(webkit_settings_set_javascript_can_open_windows_automatically) \
  X(webkit_settings_set_zoom_text_only) \
  X(webkit_uri_request_get_uri) \
  X(webkit_uri_response_get_mime_type) \
  X(webkit_web_context_new_ephemeral) \
  X(webkit_web_view_download_uri) \
  X(webkit_web_view_get_context) \
  X(webkit_web_view_get_find_controller) \
  X(webkit_web_view_get_settings) \
  X(webkit_web_view_get_type) \
  X(webkit_web_view_get_uri) \
  X(webkit_web_view_get_zoom_level) \
  X(webkit_web_view_go_back) \
  X(webkit_web_view_go_forward) \
  X(webkit_web_view_is_loading) \
  X(webkit_web_view_load_alternate_html) \
  X(webkit_web_view_load_uri) \
  X(webkit_web_view_new_with_context) \
  X(webkit_web_view_new_with_related_view) \
  X(webkit_web_view_reload) \
  X(webkit_web_view_reload_bypass_cache) \
  X(webkit_web_view_set_settings) \
  X(webkit_web_view_set_zoom_level) \
  X(webkit_web_view_stop_loading) \
  X(webkit_web_view_terminate_web_process) \
  X(webkit_web_view_try_close) \
  /* end of the list */
// clang-format on

namespace vellum::platform::gtk {

namespace webkit_library {

// The loaded functions, each of its type in WebKit's header.
struct Functions {
#define VELLUM_WEBKIT_POINTER(name) decltype(&::name) name = nullptr;
  VELLUM_WEBKIT_FUNCTIONS(VELLUM_WEBKIT_POINTER)
#undef VELLUM_WEBKIT_POINTER
};
extern Functions functions;
extern bool loaded;

// Loads the library and every function of the list once; false, with the loader's reason in
// `why`, when that fails.
bool Load(std::string& why);
// Load() for a call made before the program loaded WebKit itself (a test's): ends the program
// with the reason when WebKit cannot be loaded.
void LoadOrEnd();

template <typename Type, Type Functions::*Member>
struct Forward;
template <typename Result, typename... Args, Result (*Functions::*Member)(Args...)>
struct Forward<Result (*)(Args...), Member> {
  Result operator()(Args... args) const {
    if (!loaded) LoadOrEnd();
    return (functions.*Member)(args...);
  }
};

// What the reader is told when WebKitGTK 4.1 is missing, with the one command that installs it
// on the system `os_release` (the text of /etc/os-release) describes.
std::string MissingText(std::string_view os_release);

}  // namespace webkit_library

#define VELLUM_WEBKIT_FORWARD(name)                                                             \
  inline constexpr webkit_library::Forward<decltype(&::name), &webkit_library::Functions::name> \
      name{};
VELLUM_WEBKIT_FUNCTIONS(VELLUM_WEBKIT_FORWARD)
#undef VELLUM_WEBKIT_FORWARD

}  // namespace vellum::platform::gtk
