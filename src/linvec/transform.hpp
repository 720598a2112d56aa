// linvec.transform: the placement of a scene object, a position and a world
// matrix. Other modules read both fields directly: this layout is a
// cross-module contract.
#pragma once

#include "linvec/matrix4.hpp"
#include "linvec/vector3.hpp"

namespace linvec::transform {

// Transform has no C-level method table. Both fields are always exact
// objects owned by the Transform (never None, never a subclass instance):
// the constructor and the setters store copies of what they are given, so
// readers may use the fields without a type check.
struct Transform {
    PyObject_HEAD
    vector3::Vector3* position;  // world position (as handed to Camera.compute_depth)
    matrix4::Matrix4* matrix;    // world matrix, column-major
};

inline constexpr const char* kModule = "linvec.transform";
inline constexpr const char* kClass = "Transform";
inline constexpr const char* kHeader = "linvec\\transform.hpp";

// Exported through __capi__: make(position, matrix) builds a Transform the
// way the Python constructor does (copies; position None or nullptr: the
// origin; matrix None or nullptr: the translation to position). Arguments
// of another class raise TypeError. New reference or nullptr with an error.
inline constexpr const char* kMakeName = "make";
inline constexpr const char* kMakeSig = "PyObject *(PyObject *, PyObject *)";
using MakeFn = PyObject* (*)(PyObject* position, PyObject* matrix);

namespace {
inline binding::ClassApi<MakeFn> api;

inline int import_api() {
    return api.bind(kModule, kClass, sizeof(Transform), kHeader, kMakeName, kMakeSig);
}
inline PyObject* make(PyObject* position, PyObject* matrix) { return api.make(position, matrix); }
inline bool check(PyObject* o) { return PyObject_TypeCheck(o, api.type); }
}  // namespace

}  // namespace linvec::transform
