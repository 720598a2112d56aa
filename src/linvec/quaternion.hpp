// linvec.quaternion: a rotation quaternion x i + y j + z k + w of 64-bit
// floats. Other modules read x, y, z, w directly: this layout is a
// cross-module contract.
#pragma once

#include "linvec/binding.hpp"

namespace linvec::quaternion {

// Quaternion has no C-level method table.
struct Quaternion {
    PyObject_HEAD
    double x;
    double y;
    double z;
    double w;
};

inline constexpr const char* kModule = "linvec.quaternion";
inline constexpr const char* kClass = "Quaternion";
inline constexpr const char* kHeader = "linvec\\quaternion.hpp";

// Exported through __capi__: a new exact Quaternion, or nullptr with an error.
inline constexpr const char* kMakeName = "make";
inline constexpr const char* kMakeSig = "PyObject *(double, double, double, double)";
using MakeFn = PyObject* (*)(double x, double y, double z, double w);

namespace {
inline binding::ClassApi<MakeFn> api;

inline int import_api() {
    return api.bind(kModule, kClass, sizeof(Quaternion), kHeader, kMakeName, kMakeSig);
}
inline PyObject* make(double x, double y, double z, double w) { return api.make(x, y, z, w); }
inline bool check(PyObject* o) { return PyObject_TypeCheck(o, api.type); }
}  // namespace

}  // namespace linvec::quaternion
