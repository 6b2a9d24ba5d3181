// SPDX-License-Identifier: MIT
#include "platform/gtk/render_path.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace vellum::platform::gtk {
namespace {

TEST(RenderPath, PaintsWithoutCompositingOnlyWhereNoGpuDraws) {
  const RenderNode gpu{true, "i915"};
  const RenderNode locked_gpu{false, "amdgpu"};  // present, but this user may not open it
  const RenderNode virtual_gem{true, "vgem"};
  const RenderNode unknown_driver{true, ""};
  struct Case {
    const char* what;
    std::vector<RenderNode> nodes;
    std::map<std::string, std::string> env;
    RenderPath path;
  };
  const Case cases[] = {
      {"GPU", {gpu}, {}, RenderPath::Default},
      {"no render node", {}, {}, RenderPath::NoCompositing},
      {"render node not usable", {locked_gpu}, {}, RenderPath::NoCompositing},
      {"virtual node only", {virtual_gem}, {}, RenderPath::NoCompositing},
      {"virtual node and GPU", {virtual_gem, gpu}, {}, RenderPath::Default},
      {"driver not known", {unknown_driver}, {}, RenderPath::Default},
      {"software GL forced", {gpu}, {{"LIBGL_ALWAYS_SOFTWARE", "1"}}, RenderPath::NoCompositing},
      {"software GL not forced", {gpu}, {{"LIBGL_ALWAYS_SOFTWARE", "0"}}, RenderPath::Default},
      {"llvmpipe", {gpu}, {{"GALLIUM_DRIVER", "llvmpipe"}}, RenderPath::NoCompositing},
      {"other gallium driver", {gpu}, {{"GALLIUM_DRIVER", "iris"}}, RenderPath::Default},
      // The reader's own choice of WebKit's path is never overridden, whatever its value.
      {"reader disabled compositing",
       {},
       {{"WEBKIT_DISABLE_COMPOSITING_MODE", "1"}},
       RenderPath::Default},
      {"reader kept compositing",
       {},
       {{"WEBKIT_DISABLE_COMPOSITING_MODE", "0"}},
       RenderPath::Default},
      {"reader forced compositing",
       {},
       {{"WEBKIT_FORCE_COMPOSITING_MODE", "1"}},
       RenderPath::Default},
      {"reader chose the renderer",
       {},
       {{"WEBKIT_DISABLE_DMABUF_RENDERER", "1"}},
       RenderPath::Default},
      {"reader forced the renderer",
       {},
       {{"WEBKIT_FORCE_DMABUF_RENDERER", "1"}},
       RenderPath::Default},
      {"other WebKit variable", {}, {{"WEBKIT_DEBUG", "all"}}, RenderPath::NoCompositing},
  };
  for (const Case& c : cases) {
    const EnvLookup env = [&c](const char* name) -> const char* {
      const auto found = c.env.find(name);
      return found == c.env.end() ? nullptr : found->second.c_str();
    };
    EXPECT_EQ(ChooseRenderPath(c.nodes, env), c.path) << c.what;
  }
}

}  // namespace
}  // namespace vellum::platform::gtk
