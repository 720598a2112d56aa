// How another module binds to a linvec module at import time. Each linvec
// header declares an `Api` record (class objects, method tables, C function
// pointers) and an `import_api()` that fills it once per importing module,
// from the module's import_classes step:
//
//     int import_classes(PyObject*) {
//         if (linvec::vector3::import_api() < 0) return -1;
//         ...
//     }
//
// after which linvec::vector3::make(x, y, z) builds a Vector3 without going
// through Python and linvec::vector3::check(obj) is the class check.
//
// The Api records have internal linkage (one copy per module that includes
// the header): every extension module is a single translation unit.
#pragma once

#include "frame/frame.hpp"

namespace linvec::binding {

// Import a class with the size check; `vtable`, when not null, receives the
// class's C-level method table.
inline PyTypeObject* import_type(const char* module, const char* name, Py_ssize_t size,
                                 const char* header, void** vtable = nullptr) {
    PyTypeObject* t = frame::import_class(module, name, size, header);
    if (!t || !vtable) return t;
    *vtable = frame::import_vtable(t);
    if (!*vtable) {
        Py_DECREF(t);
        return nullptr;
    }
    return t;
}

// Import an exported C function as a typed pointer.
template <class Fn>
inline bool import_fn(const char* module, const char* name, const char* sig, Fn* out) {
    void* p = frame::import_function(module, name, sig);
    if (!p) return false;
    *out = reinterpret_cast<Fn>(p);
    return true;
}

}  // namespace linvec::binding
