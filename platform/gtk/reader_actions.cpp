// SPDX-License-Identifier: MIT
#include "platform/gtk/reader_actions.h"

namespace vellum::platform::gtk {

void AttachReaderActions(GtkWindow* /*window*/, GtkBox* /*content*/, WebKitWebView* /*view*/) {}

}  // namespace vellum::platform::gtk
