// linvec.vector4f: a 4-vector of 32-bit floats (RGBA colours, GL vec4).
// Other modules read x, y, z, w directly: this layout is a cross-module
// contract.
#pragma once

#include "linvec/binding.hpp"

namespace linvec::vector4f {

// Vector4f has no C-level method table.
struct Vector4f {
    PyObject_HEAD
    float x;
    float y;
    float z;
    float w;
};

inline constexpr const char* kModule = "linvec.vector4f";
inline constexpr const char* kClass = "Vector4f";
inline constexpr const char* kHeader = "linvec\\vector4f.hpp";

// Exported through __capi__: a new exact Vector4f, or nullptr with an error.
inline constexpr const char* kMakeName = "make";
inline constexpr const char* kMakeSig = "PyObject *(float, float, float, float)";
using MakeFn = PyObject* (*)(float x, float y, float z, float w);

namespace {
inline binding::ClassApi<MakeFn> api;

inline int import_api() {
    return api.bind(kModule, kClass, sizeof(Vector4f), kHeader, kMakeName, kMakeSig);
}
inline PyObject* make(float x, float y, float z, float w) { return api.make(x, y, z, w); }
inline bool check(PyObject* o) { return PyObject_TypeCheck(o, api.type); }
}  // namespace

}  // namespace linvec::vector4f
