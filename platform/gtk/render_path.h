// SPDX-License-Identifier: MIT
// Which of WebKit's rendering paths the viewer takes, chosen once before GTK and WebKit start.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vellum::platform::gtk {

enum class RenderPath {
  // WebKit's own choice: composited, through OpenGL.
  Default,
  // Painted without compositing and without OpenGL.
  NoCompositing,
};

// A DRM render node (/dev/dri/renderD*) as the machine offers it.
struct RenderNode {
  bool usable = false;  // this process may open it for reading and writing
  std::string driver;   // the kernel driver behind it ("i915", "amdgpu", "vgem"...), or ""
};

// Reads an environment variable; nullptr when it is not set.
using EnvLookup = std::function<const char*(const char* name)>;

// The path for a machine with these render nodes and this environment. Where no GPU draws, WebKit's
// composited path renders every frame with a software OpenGL, probes that OpenGL at start-up and
// gives each view buffers sized for a GPU: painting without compositing reaches the first frame
// sooner and costs a popup a tenth of the memory. Where a GPU draws, WebKit's default stays. A
// reader who set one of WebKit's own rendering variables has made the choice already.
RenderPath ChooseRenderPath(const std::vector<RenderNode>& nodes, const EnvLookup& env);

// The render nodes of this machine.
std::vector<RenderNode> FindRenderNodes();

// Chooses the path for this machine and sets it up in the environment. Call before GTK starts.
void SelectRenderPath();

}  // namespace vellum::platform::gtk
