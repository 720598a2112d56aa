// How another module binds to a linvec module at import time. Each linvec
// header declares an `api` record (class objects, method tables, C function
// pointers; ClassApi below for a module with one class) and an
// `import_api()` that fills it once per importing module, from the module's
// import_classes step:
//
//     int import_classes(PyObject*) {
//         if (linvec::vector3::import_api() < 0) return -1;
//         ...
//     }
//
// after which linvec::vector3::make(x, y, z) builds a Vector3 without going
// through Python and linvec::vector3::check(obj) is the class check.
//
// The api records have internal linkage (one copy per module that includes
// the header): every extension module is a single translation unit.
#pragma once

#include <cstddef>
#include <type_traits>

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

// One class to import: its name, the layout size the header declares, where
// the class goes and, for a class with a C-level method table, where the
// table goes.
struct TypeImport {
    const char* name;
    Py_ssize_t size;
    PyTypeObject** out;
    void** vtable = nullptr;
};

// Import the classes (each with the size check), then run `more` (the
// function imports); all or nothing. The class pointers are set last, the
// first one last of all: a set first pointer means "bound".
template <size_t K, class More>
inline int import_types(const char* module, const char* header, const TypeImport (&want)[K],
                        More more) {
    PyTypeObject* got[K] = {};
    bool ok = true;
    for (size_t i = 0; ok && i < K; ++i) {
        got[i] = import_type(module, want[i].name, want[i].size, header, want[i].vtable);
        ok = got[i] != nullptr;
    }
    if (!ok || !more()) {
        for (PyTypeObject* t : got) Py_XDECREF(t);
        return -1;
    }
    for (size_t i = K; i-- > 0;) *want[i].out = got[i];
    return 0;
}

// The C-level method table slot of a bound class: none for void.
template <class Vtab>
struct VtabSlot {
    Vtab* vtab = nullptr;
};
template <>
struct VtabSlot<void> {};

// The binding of a module that defines one class and exports its factory
// `make`: the class, its method table (Vtab; void when it has none) and the
// factory.
template <class MakeFn, class Vtab = void>
struct ClassApi : VtabSlot<Vtab> {
    PyTypeObject* type = nullptr;
    MakeFn make = nullptr;

    // Once per importing module; `more` imports further functions (true on
    // success).
    template <class More>
    int bind(const char* module, const char* name, Py_ssize_t size, const char* header,
             const char* make_name, const char* make_sig, More more) {
        if (type) return 0;
        void* vt = nullptr;
        void** want_vt = std::is_void_v<Vtab> ? nullptr : &vt;
        return import_types(module, header, {{name, size, &type, want_vt}}, [&] {
            if constexpr (!std::is_void_v<Vtab>) this->vtab = static_cast<Vtab*>(vt);
            return import_fn(module, make_name, make_sig, &make) && more();
        });
    }
    int bind(const char* module, const char* name, Py_ssize_t size, const char* header,
             const char* make_name, const char* make_sig) {
        return bind(module, name, size, header, make_name, make_sig, [] { return true; });
    }
};

}  // namespace linvec::binding
