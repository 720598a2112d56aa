// linvec.rectanglef: an axis-aligned rectangle of 32-bit floats given by its
// lower-left corner and its size (the order glViewport takes). Other modules
// read the fields directly: this layout is a cross-module contract.
#pragma once

#include "linvec/binding.hpp"

namespace linvec::rectanglef {

// Rectanglef has no C-level method table.
struct Rectanglef {
    PyObject_HEAD
    float x;
    float y;
    float width;
    float height;
};

inline constexpr const char* kModule = "linvec.rectanglef";
inline constexpr const char* kClass = "Rectanglef";
inline constexpr const char* kHeader = "linvec\\rectanglef.hpp";

// Exported through __capi__: a new exact Rectanglef, or nullptr with an error.
inline constexpr const char* kMakeName = "make";
inline constexpr const char* kMakeSig = "PyObject *(float, float, float, float)";
using MakeFn = PyObject* (*)(float x, float y, float width, float height);

namespace {
inline binding::ClassApi<MakeFn> api;

inline int import_api() {
    return api.bind(kModule, kClass, sizeof(Rectanglef), kHeader, kMakeName, kMakeSig);
}
inline PyObject* make(float x, float y, float width, float height) {
    return api.make(x, y, width, height);
}
inline bool check(PyObject* o) { return PyObject_TypeCheck(o, api.type); }
}  // namespace

}  // namespace linvec::rectanglef
