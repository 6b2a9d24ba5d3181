// SPDX-License-Identifier: MIT
#include "platform/platform.h"

namespace vellum::platform {

std::unique_ptr<Application> CreateApplication(const StartupArgs&) {
  throw PlatformError("The GTK backend is not built yet");
}

}  // namespace vellum::platform
