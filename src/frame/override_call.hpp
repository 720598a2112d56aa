// The dispatch step of an overridable C-level method called with skip flag
// 0: when the instance belongs to a Python subclass that overrides the
// method, the override runs instead of the compiled body.
#pragma once

#include "frame/frame.hpp"

#include <initializer_list>

namespace frame {

// Returns false when the compiled body should run (no override). Returns
// true when the call was dispatched: *out is the override's result, or empty
// with an exception set when the lookup or the call failed. `name` is an
// interned method name, `builtin` the C entry of the class's own wrapper.
inline bool call_override(PyObject* self, PyObject* name, PyCFunction builtin, Ref* out,
                          std::initializer_list<PyObject*> args = {}) {
    PyTypeObject* t = Py_TYPE(self);
    if (FRAME_LIKELY(t->tp_dictoffset == 0 && !(t->tp_flags & Py_TPFLAGS_HEAPTYPE))) return false;
    Ref fn = find_override(self, name, builtin);
    if (!fn) {
        if (!PyErr_Occurred()) return false;
        *out = Ref();
        return true;
    }
    PyObject* argv[8];
    size_t n = 0;
    for (PyObject* a : args) {
        if (n < 8) argv[n++] = a;
    }
    *out = Ref::steal(PyObject_Vectorcall(fn.get(), argv, n, nullptr));
    return true;
}

}  // namespace frame
