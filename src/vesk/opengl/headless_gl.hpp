// vesk.opengl.headless_gl: a hidden OpenGL context for tests. No classes;
// the module's state is the process-global EGL display, surface and context.
#pragma once

#include "frame/frame.hpp"

namespace vesk::headless_gl {

inline constexpr const char* kModule = "vesk.opengl.headless_gl";

}  // namespace vesk::headless_gl
