// TurnSense: an IntEnum made with the functional form at import.
#include "turn_sense.hpp"

namespace vesk::turn_sense {
namespace {

constexpr const char* kFile = "vesk\\opengl\\enums\\turn_sense.cpp";

// The printable form stays "TurnSense.clockwise" on every Python: 3.11
// changed IntEnum.__str__ to the plain number, so the class takes Enum's.
int body(PyObject* module) {
    static const frame::Where here{"vesk.opengl.enums.turn_sense", kFile};
    frame::Ref enum_mod = frame::Ref::steal(PyImport_ImportModule("enum"));
    if (!enum_mod) return FRAME_FAIL(here, -1);
    frame::Ref int_enum = frame::Ref::steal(PyObject_GetAttrString(enum_mod.get(), "IntEnum"));
    frame::Ref plain_enum = frame::Ref::steal(PyObject_GetAttrString(enum_mod.get(), "Enum"));
    if (!int_enum || !plain_enum) return FRAME_FAIL(here, -1);
    frame::Ref members = frame::Ref::steal(Py_BuildValue(
        "((si)(si))", "clockwise", kClockwise, "counter_clockwise", kCounterClockwise));
    if (!members) return FRAME_FAIL(here, -1);
    frame::Ref kw = frame::Ref::steal(Py_BuildValue("{s:s}", "module", kModule));
    frame::Ref args = frame::Ref::steal(Py_BuildValue("(sO)", "TurnSense", members.get()));
    if (!kw || !args) return FRAME_FAIL(here, -1);
    frame::Ref cls = frame::Ref::steal(PyObject_Call(int_enum.get(), args.get(), kw.get()));
    if (!cls) return FRAME_FAIL(here, -1);
    frame::Ref str = frame::Ref::steal(PyObject_GetAttrString(plain_enum.get(), "__str__"));
    if (!str || PyObject_SetAttrString(cls.get(), "__str__", str.get()) < 0)
        return FRAME_FAIL(here, -1);
    frame::Ref fmt = frame::Ref::steal(PyObject_GetAttrString(plain_enum.get(), "__format__"));
    if (!fmt || PyObject_SetAttrString(cls.get(), "__format__", fmt.get()) < 0)
        return FRAME_FAIL(here, -1);
    frame::Ref doc = frame::Ref::steal(PyUnicode_FromString(
        "Polygon winding order; the values are GL_CW and GL_CCW."));
    if (!doc || PyObject_SetAttrString(cls.get(), "__doc__", doc.get()) < 0)
        return FRAME_FAIL(here, -1);
    if (PyObject_SetAttrString(module, "TurnSense", cls.get()) < 0) return FRAME_FAIL(here, -1);
    for (const char* name : {"clockwise", "counter_clockwise"}) {
        frame::Ref m = frame::Ref::steal(PyObject_GetAttrString(cls.get(), name));
        if (!m || PyObject_SetAttrString(module, name, m.get()) < 0) return FRAME_FAIL(here, -1);
    }
    return 0;
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "turn_sense", nullptr, -1, nullptr,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace vesk::turn_sense

PyMODINIT_FUNC PyInit_turn_sense() {
    using namespace vesk::turn_sense;
    frame::ModuleInit init{&def, kModule, kFile};
    init.body = body;
    return frame::init_module(init);
}
