// vesk.opengl.render_state.side_ref_ops: the stencil settings of one face.
// The render state reads these fields directly: the layout is a contract.
#pragma once

#include "frame/frame.hpp"

namespace vesk::side_ref_ops {

struct SideRefOps {
    PyObject_HEAD
    int32_t stencil_fail_operation;             // GL_KEEP
    int32_t depth_fail_stencil_pass_operation;  // GL_KEEP
    int32_t depth_pass_stencil_pass_operation;  // GL_KEEP
    int32_t stencil_test_function;              // GL_ALWAYS
    int32_t reference_value;
    int32_t mask;                               // -1: all 32 bits
};

inline constexpr const char* kModule = "vesk.opengl.render_state.side_ref_ops";
inline constexpr const char* kHeader = "vesk\\opengl\\render_state\\side_ref_ops.hpp";

}  // namespace vesk::side_ref_ops
