// SPDX-License-Identifier: MIT
// GObject casts and signal callbacks without the C-style casts of GTK's macros.
#pragma once

#include <glib-object.h>

namespace vellum::platform::gtk {

template <typename To, typename From>
To* As(From* object) {
  return reinterpret_cast<To*>(object);
}

template <typename Function>
GCallback Callback(Function* function) {
  return reinterpret_cast<GCallback>(function);
}

}  // namespace vellum::platform::gtk
