// linvec.vector3f: a 3-vector of 32-bit floats (GL vec3 uniforms and
// vertices). Other modules read x, y, z directly and call the C-level
// method table: this layout and the table's entry order are a cross-module
// contract.
#pragma once

#include "linvec/binding.hpp"

namespace linvec::vector3f {

struct Vector3f;

// C-level method table, in entry order. The entries compute in single
// precision on the C fields and are not overridable from Python. `other`
// must be a real Vector3f, not None. Results are new exact objects, or
// nullptr with an exception set.
struct Vector3fVtab {
    PyObject* (*mul)(Vector3f* self, float s);          // 0: self * s, a Vector3f
    PyObject* (*normalized)(Vector3f* self);            // 1: unit-length copy; ZeroDivisionError
                                                        //    "float division" for a zero vector
    PyObject* (*add)(Vector3f* self, Vector3f* other);  // 2: self + other
    PyObject* (*sub)(Vector3f* self, Vector3f* other);  // 3: self - other
    float (*dot)(Vector3f* self, Vector3f* other);      // 4: no error return
    float (*magnitude)(Vector3f* self);                 // 5: no error return
};

struct Vector3f {
    PyObject_HEAD
    Vector3fVtab* vtab;
    float x;
    float y;
    float z;
};

inline constexpr const char* kModule = "linvec.vector3f";
inline constexpr const char* kClass = "Vector3f";
inline constexpr const char* kHeader = "linvec\\vector3f.hpp";

// Exported through __capi__: a new exact Vector3f, or nullptr with an error.
inline constexpr const char* kMakeName = "make";
inline constexpr const char* kMakeSig = "PyObject *(float, float, float)";
using MakeFn = PyObject* (*)(float x, float y, float z);

namespace {
inline binding::ClassApi<MakeFn, Vector3fVtab> api;

inline int import_api() {
    return api.bind(kModule, kClass, sizeof(Vector3f), kHeader, kMakeName, kMakeSig);
}
inline PyObject* make(float x, float y, float z) { return api.make(x, y, z); }
inline bool check(PyObject* o) { return PyObject_TypeCheck(o, api.type); }
}  // namespace

}  // namespace linvec::vector3f
