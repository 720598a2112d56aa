// An immutable snapshot of the mouse at one input event.
#include "pointer_status.hpp"

#include <structmember.h>

#include <cstddef>

namespace vesk::pointer_status {
namespace {

constexpr const char* kFile = "vesk\\scene\\ui\\pointer_status.cpp";
PyTypeObject type;

const char* const kArgNames[] = {"left_pressed", "middle_pressed", "right_pressed", "x",
                                 "y",            "dx",             "dy",            "wheel"};
PyObject* arg_names[8];

PyObject* tp_new(PyTypeObject* t, PyObject* args, PyObject* kwds) {
    static const frame::Where here{"vesk.scene.ui.pointer_status.PointerStatus.__cinit__", kFile};
    PyObject* v[8];
    if (frame::parse_args("__cinit__", args, kwds, arg_names, 8, v) < 0)
        return FRAME_FAIL(here, nullptr);
    bool l, m, r;
    int32_t x, y, dx, dy;
    float wheel;
    // Converted in argument order: the first bad argument decides the error.
    if (!frame::to_bool(v[0], &l)) return FRAME_FAIL(here, nullptr);
    if (!frame::to_bool(v[1], &m)) return FRAME_FAIL(here, nullptr);
    if (!frame::to_bool(v[2], &r)) return FRAME_FAIL(here, nullptr);
    if (!frame::to_int32(v[3], &x)) return FRAME_FAIL(here, nullptr);
    if (!frame::to_int32(v[4], &y)) return FRAME_FAIL(here, nullptr);
    if (!frame::to_int32(v[5], &dx)) return FRAME_FAIL(here, nullptr);
    if (!frame::to_int32(v[6], &dy)) return FRAME_FAIL(here, nullptr);
    if (!frame::to_float(v[7], &wheel)) return FRAME_FAIL(here, nullptr);
    auto* self = reinterpret_cast<PointerStatus*>(t->tp_alloc(t, 0));
    if (!self) return FRAME_FAIL(here, nullptr);
    self->left_pressed = l;
    self->middle_pressed = m;
    self->right_pressed = r;
    self->x = x;
    self->y = y;
    self->dx = dx;
    self->dy = dy;
    self->wheel = wheel;
    return reinterpret_cast<PyObject*>(self);
}

void tp_dealloc(PyObject* self) { Py_TYPE(self)->tp_free(self); }

PointerStatus* cast(PyObject* o) { return reinterpret_cast<PointerStatus*>(o); }

PyObject* get_left(PyObject* o, void*) { return PyBool_FromLong(cast(o)->left_pressed); }
PyObject* get_middle(PyObject* o, void*) { return PyBool_FromLong(cast(o)->middle_pressed); }
PyObject* get_right(PyObject* o, void*) { return PyBool_FromLong(cast(o)->right_pressed); }

PyGetSetDef getset[] = {
    {"left_pressed", get_left, nullptr, "True while the left button is down.", nullptr},
    {"middle_pressed", get_middle, nullptr, "True while the middle button is down.", nullptr},
    {"right_pressed", get_right, nullptr, "True while the right button is down.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// Plain numeric fields read through member descriptors: the same path as a
// __slots__ read, and read-only.
PyMemberDef members[] = {
    {"x", T_INT, offsetof(PointerStatus, x), READONLY, "Pointer x in the host window's coordinates."},
    {"y", T_INT, offsetof(PointerStatus, y), READONLY, "Pointer y in the host window's coordinates."},
    {"dx", T_INT, offsetof(PointerStatus, dx), READONLY, "x motion since the previous event."},
    {"dy", T_INT, offsetof(PointerStatus, dy), READONLY, "y motion since the previous event."},
    {"wheel", T_FLOAT, offsetof(PointerStatus, wheel), READONLY,
     "Wheel movement of this event (single precision)."},
    {nullptr, 0, 0, 0, nullptr},
};

PyObject* tp_repr(PyObject* o) {
    PointerStatus* s = cast(o);
    frame::Ref w = frame::Ref::steal(PyFloat_FromDouble(s->wheel));
    if (!w) return nullptr;
    return PyUnicode_FromFormat(
        "PointerStatus(left_pressed=%s, middle_pressed=%s, right_pressed=%s, x=%d, y=%d, dx=%d, "
        "dy=%d, wheel=%R)",
        s->left_pressed ? "True" : "False", s->middle_pressed ? "True" : "False",
        s->right_pressed ? "True" : "False", (int)s->x, (int)s->y, (int)s->dx, (int)s->dy,
        w.get());
}

int register_classes(PyObject* module) {
    for (int i = 0; i < 8; ++i) {
        arg_names[i] = frame::intern(kArgNames[i]);
        if (!arg_names[i]) return -1;
    }
    frame::ClassSpec spec{};
    spec.type = &type;
    spec.dotted = "vesk.scene.ui.pointer_status.PointerStatus";
    spec.short_name = "PointerStatus";
    spec.basicsize = sizeof(PointerStatus);
    spec.doc =
        "PointerStatus(left_pressed, middle_pressed, right_pressed, x, y, dx, dy, wheel)\n\n"
        "Immutable snapshot of the mouse at one input event.";
    spec.tp_new = tp_new;
    spec.tp_dealloc = tp_dealloc;
    spec.getset = getset;
    spec.members = members;
    spec.tp_repr = tp_repr;
    return frame::register_class(module, spec);
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "pointer_status", nullptr, -1, nullptr,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace vesk::pointer_status

PyMODINIT_FUNC PyInit_pointer_status() {
    using namespace vesk::pointer_status;
    frame::ModuleInit init{&def, kModule, kFile};
    init.register_classes = register_classes;
    return frame::init_module(init);
}
