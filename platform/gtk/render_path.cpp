// SPDX-License-Identifier: MIT
#include "platform/gtk/render_path.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace vellum::platform::gtk {

namespace {

// WebKit's variables that decide between its rendering paths.
constexpr const char* kReaderChoices[] = {
    "WEBKIT_DISABLE_COMPOSITING_MODE",
    "WEBKIT_FORCE_COMPOSITING_MODE",
    "WEBKIT_DISABLE_DMABUF_RENDERER",
    "WEBKIT_FORCE_DMABUF_RENDERER",
};

// Kernel drivers that offer a render node without a GPU behind it.
constexpr std::string_view kDriversWithoutGpu[] = {"vgem", "vkms"};

// Mesa's truth values for a boolean variable.
bool IsTrue(const char* value) {
  if (value == nullptr) return false;
  const std::string_view text(value);
  return text == "1" || text == "true" || text == "yes" || text == "y";
}

// True when OpenGL is told to draw in software whatever the hardware.
bool SoftwareGlForced(const EnvLookup& env) {
  if (IsTrue(env("LIBGL_ALWAYS_SOFTWARE"))) return true;
  const char* driver = env("GALLIUM_DRIVER");
  if (driver == nullptr) return false;
  const std::string_view name(driver);
  return name == "llvmpipe" || name == "softpipe" || name == "swrast";
}

bool DrawsWithGpu(const RenderNode& node) {
  if (!node.usable) return false;
  for (std::string_view driver : kDriversWithoutGpu) {
    if (node.driver == driver) return false;
  }
  return true;
}

}  // namespace

RenderPath ChooseRenderPath(const std::vector<RenderNode>& nodes, const EnvLookup& env) {
  for (const char* name : kReaderChoices) {
    if (env(name) != nullptr) return RenderPath::Default;
  }
  if (SoftwareGlForced(env)) return RenderPath::NoCompositing;
  for (const RenderNode& node : nodes) {
    if (DrawsWithGpu(node)) return RenderPath::Default;
  }
  return RenderPath::NoCompositing;
}

std::vector<RenderNode> FindRenderNodes() {
  namespace fs = std::filesystem;
  std::vector<RenderNode> nodes;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator("/dev/dri", error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("renderD", 0) != 0) continue;
    RenderNode node;
    const int fd = open(entry.path().c_str(), O_RDWR | O_CLOEXEC);
    node.usable = fd >= 0;
    if (fd >= 0) close(fd);
    std::error_code no_driver;
    const fs::path driver =
        fs::read_symlink(fs::path("/sys/class/drm") / name / "device" / "driver", no_driver);
    if (!no_driver) node.driver = driver.filename().string();
    nodes.push_back(std::move(node));
  }
  return nodes;
}

void SelectRenderPath() {
  const RenderPath path =
      ChooseRenderPath(FindRenderNodes(), [](const char* name) { return std::getenv(name); });
  // WebKit reads this in the viewer's process and in the web processes it starts from there.
  if (path == RenderPath::NoCompositing) setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 0);
}

}  // namespace vellum::platform::gtk
