// vesk.scene.ui.pointer_status: the mouse state record. Other modules read
// x and y directly, so this layout is a cross-module contract.
#pragma once

#include "frame/frame.hpp"

namespace vesk::pointer_status {

struct PointerStatus {
    PyObject_HEAD
    int left_pressed;    // 0 or 1
    int middle_pressed;  // 0 or 1
    int right_pressed;   // 0 or 1
    int32_t x;
    int32_t y;
    int32_t dx;
    int32_t dy;
    float wheel;
    // Private tail, after the eight contract fields: the Python value of each
    // field, built once at construction so a property read is a plain slot
    // read for the interpreter.
    PyObject* values[8];
};

inline constexpr const char* kModule = "vesk.scene.ui.pointer_status";
inline constexpr const char* kHeader = "vesk\\scene\\ui\\pointer_status.hpp";

}  // namespace vesk::pointer_status
