// Per-face stencil operations, comparison function, reference and mask, in
// the form glStencilOpSeparate and glStencilFuncSeparate take them.
#include "side_ref_ops.hpp"

#include <cstddef>

namespace vesk::side_ref_ops {
namespace {

constexpr const char* kFile = "vesk\\opengl\\render_state\\side_ref_ops.cpp";
PyTypeObject type;

PyObject* tp_new(PyTypeObject* t, PyObject*, PyObject*) {
    // Takes no arguments and ignores any given.
    static const frame::Where here{"vesk.opengl.render_state.side_ref_ops.SideRefOps.__cinit__",
                                   kFile};
    auto* self = reinterpret_cast<SideRefOps*>(t->tp_alloc(t, 0));
    if (!self) return FRAME_FAIL(here, nullptr);
    self->stencil_fail_operation = 0x1E00;
    self->depth_fail_stencil_pass_operation = 0x1E00;
    self->depth_pass_stencil_pass_operation = 0x1E00;
    self->stencil_test_function = 0x0207;
    self->reference_value = 0;
    self->mask = -1;
    return reinterpret_cast<PyObject*>(self);
}

void tp_dealloc(PyObject* self) { Py_TYPE(self)->tp_free(self); }

// One property per field; the closure is the field's offset and the
// traceback names of its setter.
struct Field {
    size_t offset;
    const char* set_name;
};

int32_t* slot(PyObject* o, void* closure) {
    return reinterpret_cast<int32_t*>(reinterpret_cast<char*>(o) +
                                      static_cast<const Field*>(closure)->offset);
}

PyObject* get(PyObject* o, void* closure) { return PyLong_FromLong(*slot(o, closure)); }

int set(PyObject* o, PyObject* v, void* closure) {
    const frame::Where here{static_cast<const Field*>(closure)->set_name, kFile};
    if (!v) {
        PyErr_SetString(PyExc_NotImplementedError, "__del__");
        return FRAME_FAIL(here, -1);
    }
    int32_t value;
    if (!frame::to_int32(v, &value)) return FRAME_FAIL(here, -1);
    *slot(o, closure) = value;
    return 0;
}

#define SIDE_FIELD(name) \
    Field f_##name{offsetof(SideRefOps, name), \
                   "vesk.opengl.render_state.side_ref_ops.SideRefOps." #name ".__set__"};
SIDE_FIELD(stencil_fail_operation)
SIDE_FIELD(depth_fail_stencil_pass_operation)
SIDE_FIELD(depth_pass_stencil_pass_operation)
SIDE_FIELD(stencil_test_function)
SIDE_FIELD(reference_value)
SIDE_FIELD(mask)
#undef SIDE_FIELD

PyGetSetDef getset[] = {
    {"stencil_fail_operation", get, set, "Stencil operation when the stencil test fails.",
     &f_stencil_fail_operation},
    {"depth_fail_stencil_pass_operation", get, set,
     "Stencil operation when the stencil test passes and the depth test fails.",
     &f_depth_fail_stencil_pass_operation},
    {"depth_pass_stencil_pass_operation", get, set,
     "Stencil operation when both the stencil and the depth test pass.",
     &f_depth_pass_stencil_pass_operation},
    {"stencil_test_function", get, set, "Stencil comparison function (a GL enumerant).",
     &f_stencil_test_function},
    {"reference_value", get, set, "Stencil reference value.", &f_reference_value},
    {"mask", get, set, "Stencil mask as a signed 32-bit int (-1: all bits).", &f_mask},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyObject* tp_repr(PyObject* o) {
    auto* s = reinterpret_cast<SideRefOps*>(o);
    return PyUnicode_FromFormat(
        "SideRefOps(stencil_fail_operation=%d, depth_fail_stencil_pass_operation=%d, "
        "depth_pass_stencil_pass_operation=%d, stencil_test_function=%d, reference_value=%d, "
        "mask=%d)",
        (int)s->stencil_fail_operation, (int)s->depth_fail_stencil_pass_operation,
        (int)s->depth_pass_stencil_pass_operation, (int)s->stencil_test_function,
        (int)s->reference_value, (int)s->mask);
}

int register_classes(PyObject* module) {
    frame::ClassSpec class_spec{};
    class_spec.type = &type;
    class_spec.dotted = "vesk.opengl.render_state.side_ref_ops.SideRefOps";
    class_spec.short_name = "SideRefOps";
    class_spec.basicsize = sizeof(SideRefOps);
    class_spec.doc = "SideRefOps()\n\nStencil settings of one polygon face.";
    class_spec.tp_new = tp_new;
    class_spec.tp_dealloc = tp_dealloc;
    class_spec.getset = getset;
    class_spec.tp_repr = tp_repr;
    return frame::register_class(module, class_spec);
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "side_ref_ops", nullptr, -1, nullptr,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace vesk::side_ref_ops

PyMODINIT_FUNC PyInit_side_ref_ops() {
    using namespace vesk::side_ref_ops;
    frame::ModuleInit init{&def, kModule, kFile};
    init.register_classes = register_classes;
    return frame::init_module(init);
}
