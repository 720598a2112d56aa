// linvec.vector3: a 3-vector of 64-bit floats (positions, directions).
// Other modules read x, y, z directly and call the C-level method table:
// this layout and the table's entry order are a cross-module contract.
#pragma once

#include "linvec/binding.hpp"

namespace linvec::vector3 {

struct Vector3;

// C-level method table, in entry order. The entries compute on the C fields
// and are not overridable from Python (Python sees the same operations as
// operators and methods). `other` must be a real Vector3, not None.
// Results are new exact objects, or nullptr with an exception set.
struct Vector3Vtab {
    PyObject* (*add)(Vector3* self, Vector3* other);  // 0: self + other, a Vector3
    PyObject* (*sub)(Vector3* self, Vector3* other);  // 1: self - other, a Vector3
    PyObject* (*mul)(Vector3* self, double s);        // 2: self * s, a Vector3
    double (*dot)(Vector3* self, Vector3* other);     // 3: no error return
    double (*magnitude)(Vector3* self);               // 4: no error return
    PyObject* (*to_float)(Vector3* self);             // 5: a Vector3f
};

struct Vector3 {
    PyObject_HEAD
    Vector3Vtab* vtab;
    double x;
    double y;
    double z;
};

inline constexpr const char* kModule = "linvec.vector3";
inline constexpr const char* kClass = "Vector3";
inline constexpr const char* kHeader = "linvec\\vector3.hpp";

// Exported through __capi__: a new exact Vector3, or nullptr with an error.
inline constexpr const char* kMakeName = "make";
inline constexpr const char* kMakeSig = "PyObject *(double, double, double)";
using MakeFn = PyObject* (*)(double x, double y, double z);

namespace {
inline binding::ClassApi<MakeFn, Vector3Vtab> api;

inline int import_api() {
    return api.bind(kModule, kClass, sizeof(Vector3), kHeader, kMakeName, kMakeSig);
}
inline PyObject* make(double x, double y, double z) { return api.make(x, y, z); }
inline bool check(PyObject* o) { return PyObject_TypeCheck(o, api.type); }
}  // namespace

}  // namespace linvec::vector3
