// linvec.quaternionf: a rotation quaternion x i + y j + z k + w of 32-bit
// floats. Other modules read x, y, z, w directly: this layout is a
// cross-module contract.
#pragma once

#include "linvec/binding.hpp"

namespace linvec::quaternionf {

// Quaternionf has no C-level method table.
struct Quaternionf {
    PyObject_HEAD
    float x;
    float y;
    float z;
    float w;
};

inline constexpr const char* kModule = "linvec.quaternionf";
inline constexpr const char* kClass = "Quaternionf";
inline constexpr const char* kHeader = "linvec\\quaternionf.hpp";

// Exported through __capi__: a new exact Quaternionf, or nullptr with an error.
inline constexpr const char* kMakeName = "make";
inline constexpr const char* kMakeSig = "PyObject *(float, float, float, float)";
using MakeFn = PyObject* (*)(float x, float y, float z, float w);

namespace {
inline binding::ClassApi<MakeFn> api;

inline int import_api() {
    return api.bind(kModule, kClass, sizeof(Quaternionf), kHeader, kMakeName, kMakeSig);
}
inline PyObject* make(float x, float y, float z, float w) { return api.make(x, y, z, w); }
inline bool check(PyObject* o) { return PyObject_TypeCheck(o, api.type); }
}  // namespace

}  // namespace linvec::quaternionf
