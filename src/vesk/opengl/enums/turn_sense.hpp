// vesk.opengl.enums.turn_sense: the two polygon winding orders, GL_CW and
// GL_CCW. Modules that need them as C integers use these constants.
#pragma once

#include "frame/frame.hpp"

namespace vesk::turn_sense {

inline constexpr int kClockwise = 0x0900;         // GL_CW
inline constexpr int kCounterClockwise = 0x0901;  // GL_CCW
inline constexpr const char* kModule = "vesk.opengl.enums.turn_sense";

}  // namespace vesk::turn_sense
