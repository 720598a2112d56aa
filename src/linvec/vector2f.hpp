// linvec.vector2f: a 2-vector of 32-bit floats. Other modules read x and y
// directly: this layout is a cross-module contract.
#pragma once

#include "linvec/binding.hpp"

namespace linvec::vector2f {

// Vector2f has no C-level method table.
struct Vector2f {
    PyObject_HEAD
    float x;
    float y;
};

inline constexpr const char* kModule = "linvec.vector2f";
inline constexpr const char* kClass = "Vector2f";
inline constexpr const char* kHeader = "linvec\\vector2f.hpp";

// Exported through __capi__: a new exact Vector2f, or nullptr with an error.
inline constexpr const char* kMakeName = "make";
inline constexpr const char* kMakeSig = "PyObject *(float, float)";
using MakeFn = PyObject* (*)(float x, float y);

namespace {
inline binding::ClassApi<MakeFn> api;

inline int import_api() {
    return api.bind(kModule, kClass, sizeof(Vector2f), kHeader, kMakeName, kMakeSig);
}
inline PyObject* make(float x, float y) { return api.make(x, y); }
inline bool check(PyObject* o) { return PyObject_TypeCheck(o, api.type); }
}  // namespace

}  // namespace linvec::vector2f
