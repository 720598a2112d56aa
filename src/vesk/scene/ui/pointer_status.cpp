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

// The Python value of an integer field: the argument itself when it already
// is that exact int, otherwise a new int.
PyObject* int_value(PyObject* arg, int32_t v) {
    if (PyLong_CheckExact(arg)) return frame::Ref::new_ref(arg).release();
    return PyLong_FromLong(v);
}

const frame::Where kCinit{"vesk.scene.ui.pointer_status.PointerStatus.__cinit__", kFile};

// Convert the eight arguments and build the record.
PyObject* build(PyTypeObject* t, PyObject* const* v) {
    static const frame::Where& here = kCinit;
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
    self->values[0] = frame::Ref::new_ref(l ? Py_True : Py_False).release();
    self->values[1] = frame::Ref::new_ref(m ? Py_True : Py_False).release();
    self->values[2] = frame::Ref::new_ref(r ? Py_True : Py_False).release();
    const int32_t ints[4] = {x, y, dx, dy};
    for (int i = 0; i < 4; ++i) self->values[3 + i] = int_value(v[3 + i], ints[i]);
    self->values[7] = PyFloat_FromDouble(wheel);
    for (PyObject* o : self->values) {
        if (!o) {
            Py_DECREF(self);
            return FRAME_FAIL(here, nullptr);
        }
    }
    return reinterpret_cast<PyObject*>(self);
}

PyObject* tp_new(PyTypeObject* t, PyObject* args, PyObject* kwds) {
    PyObject* v[8];
    if (frame::parse_args("__cinit__", args, kwds, arg_names, 8, v) < 0)
        return FRAME_FAIL(kCinit, nullptr);
    return build(t, v);
}

// Calling the class itself: eight positional arguments skip the argument
// tuple; anything else takes the general path with the same messages.
PyObject* vectorcall(PyObject* t, PyObject* const* args, size_t nargsf, PyObject* kwnames) {
    Py_ssize_t n = PyVectorcall_NARGS(nargsf);
    if (!kwnames && n == 8) return build(reinterpret_cast<PyTypeObject*>(t), args);
    frame::Ref tuple = frame::Ref::steal(PyTuple_New(n));
    if (!tuple) return nullptr;
    for (Py_ssize_t i = 0; i < n; ++i) PyTuple_SET_ITEM(tuple.get(), i, frame::Ref::new_ref(args[i]).release());
    frame::Ref kwds;
    if (kwnames && PyTuple_GET_SIZE(kwnames) > 0) {
        kwds = frame::Ref::steal(PyDict_New());
        if (!kwds) return nullptr;
        for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(kwnames); ++i) {
            if (PyDict_SetItem(kwds.get(), PyTuple_GET_ITEM(kwnames, i), args[n + i]) < 0) return nullptr;
        }
    }
    return tp_new(reinterpret_cast<PyTypeObject*>(t), tuple.get(), kwds.get());
}

void tp_dealloc(PyObject* o) {
    for (PyObject*& v : reinterpret_cast<PointerStatus*>(o)->values) Py_CLEAR(v);
    Py_TYPE(o)->tp_free(o);
}

// Read-only slots over the Python values: the interpreter's fastest read.
#define VALUE_SLOT(i) (offsetof(PointerStatus, values) + (i) * sizeof(PyObject*))
PyMemberDef members[] = {
    {"left_pressed", T_OBJECT_EX, VALUE_SLOT(0), READONLY, "True while the left button is down."},
    {"middle_pressed", T_OBJECT_EX, VALUE_SLOT(1), READONLY, "True while the middle button is down."},
    {"right_pressed", T_OBJECT_EX, VALUE_SLOT(2), READONLY, "True while the right button is down."},
    {"x", T_OBJECT_EX, VALUE_SLOT(3), READONLY, "Pointer x in the host window's coordinates."},
    {"y", T_OBJECT_EX, VALUE_SLOT(4), READONLY, "Pointer y in the host window's coordinates."},
    {"dx", T_OBJECT_EX, VALUE_SLOT(5), READONLY, "x motion since the previous event."},
    {"dy", T_OBJECT_EX, VALUE_SLOT(6), READONLY, "y motion since the previous event."},
    {"wheel", T_OBJECT_EX, VALUE_SLOT(7), READONLY,
     "Wheel movement of this event (single precision, widened)."},
    {nullptr, 0, 0, 0, nullptr},
};
#undef VALUE_SLOT

PointerStatus* cast(PyObject* o) { return reinterpret_cast<PointerStatus*>(o); }

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
    frame::ClassSpec class_spec{};
    class_spec.type = &type;
    class_spec.dotted = "vesk.scene.ui.pointer_status.PointerStatus";
    class_spec.short_name = "PointerStatus";
    class_spec.basicsize = sizeof(PointerStatus);
    class_spec.doc =
        "PointerStatus(left_pressed, middle_pressed, right_pressed, x, y, dx, dy, wheel)\n\n"
        "Immutable snapshot of the mouse at one input event.";
    class_spec.tp_new = tp_new;
    class_spec.tp_dealloc = tp_dealloc;
    class_spec.tp_vectorcall = vectorcall;
    class_spec.members = members;
    class_spec.tp_repr = tp_repr;
    return frame::register_class(module, class_spec);
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
