// linvec.vector2: a 2-vector of 64-bit floats. Other modules read x and y
// directly: this layout is a cross-module contract.
#pragma once

#include "linvec/binding.hpp"

namespace linvec::vector2 {

// Vector2 has no C-level method table.
struct Vector2 {
    PyObject_HEAD
    double x;
    double y;
};

inline constexpr const char* kModule = "linvec.vector2";
inline constexpr const char* kClass = "Vector2";
inline constexpr const char* kHeader = "linvec\\vector2.hpp";

// Exported through __capi__: a new exact Vector2, or nullptr with an error.
inline constexpr const char* kMakeName = "make";
inline constexpr const char* kMakeSig = "PyObject *(double, double)";
using MakeFn = PyObject* (*)(double x, double y);

namespace {
inline binding::ClassApi<MakeFn> api;

inline int import_api() {
    return api.bind(kModule, kClass, sizeof(Vector2), kHeader, kMakeName, kMakeSig);
}
inline PyObject* make(double x, double y) { return api.make(x, y); }
inline bool check(PyObject* o) { return PyObject_TypeCheck(o, api.type); }
}  // namespace

}  // namespace linvec::vector2
