// linvec.matrix4f: a 4x4 matrix of 32-bit floats, column-major as GL takes
// matrices (element (row r, column c) is m[c * 4 + r]); m can be handed to
// glUniformMatrix4fv with transpose GL_FALSE as it is. Other modules read m
// directly: this layout is a cross-module contract.
#pragma once

#include "linvec/binding.hpp"

namespace linvec::matrix4f {

// Matrix4f has no C-level method table.
struct Matrix4f {
    PyObject_HEAD
    float m[16];  // column-major
};

inline constexpr const char* kModule = "linvec.matrix4f";
inline constexpr const char* kClass = "Matrix4f";
inline constexpr const char* kHeader = "linvec\\matrix4f.hpp";

// Exported through __capi__: a new exact Matrix4f holding the 16
// column-major values of m (m == nullptr: the identity), or nullptr with an
// exception set.
inline constexpr const char* kMakeName = "make";
inline constexpr const char* kMakeSig = "PyObject *(float const *)";
using MakeFn = PyObject* (*)(const float* m);

namespace {
inline binding::ClassApi<MakeFn> api;

inline int import_api() {
    return api.bind(kModule, kClass, sizeof(Matrix4f), kHeader, kMakeName, kMakeSig);
}
inline PyObject* make(const float* m) { return api.make(m); }
inline bool check(PyObject* o) { return PyObject_TypeCheck(o, api.type); }
}  // namespace

}  // namespace linvec::matrix4f
