// linvec.vector4: a 4-vector of 64-bit floats (homogeneous points, RGBA).
// Other modules read x, y, z, w directly: this layout is a cross-module
// contract.
#pragma once

#include "linvec/binding.hpp"

namespace linvec::vector4 {

// Vector4 has no C-level method table.
struct Vector4 {
    PyObject_HEAD
    double x;
    double y;
    double z;
    double w;
};

inline constexpr const char* kModule = "linvec.vector4";
inline constexpr const char* kClass = "Vector4";
inline constexpr const char* kHeader = "linvec\\vector4.hpp";

// Exported through __capi__: a new exact Vector4, or nullptr with an error.
inline constexpr const char* kMakeName = "make";
inline constexpr const char* kMakeSig = "PyObject *(double, double, double, double)";
using MakeFn = PyObject* (*)(double x, double y, double z, double w);

namespace {
inline binding::ClassApi<MakeFn> api;

inline int import_api() {
    return api.bind(kModule, kClass, sizeof(Vector4), kHeader, kMakeName, kMakeSig);
}
inline PyObject* make(double x, double y, double z, double w) { return api.make(x, y, z, w); }
inline bool check(PyObject* o) { return PyObject_TypeCheck(o, api.type); }
}  // namespace

}  // namespace linvec::vector4
