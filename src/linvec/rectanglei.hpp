// linvec.rectanglei: an axis-aligned rectangle of 32-bit ints (pixels) given by its
// lower-left corner and its size (the order glViewport takes). Other modules
// read the fields directly: this layout is a cross-module contract.
#pragma once

#include "linvec/binding.hpp"

namespace linvec::rectanglei {

// Rectanglei has no C-level method table.
struct Rectanglei {
    PyObject_HEAD
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

inline constexpr const char* kModule = "linvec.rectanglei";
inline constexpr const char* kClass = "Rectanglei";
inline constexpr const char* kHeader = "linvec\\rectanglei.hpp";

// Exported through __capi__: a new exact Rectanglei, or nullptr with an error.
inline constexpr const char* kMakeName = "make";
inline constexpr const char* kMakeSig = "PyObject *(int32_t, int32_t, int32_t, int32_t)";
using MakeFn = PyObject* (*)(int32_t x, int32_t y, int32_t width, int32_t height);

namespace {
inline binding::ClassApi<MakeFn> api;

inline int import_api() {
    return api.bind(kModule, kClass, sizeof(Rectanglei), kHeader, kMakeName, kMakeSig);
}
inline PyObject* make(int32_t x, int32_t y, int32_t width, int32_t height) {
    return api.make(x, y, width, height);
}
inline bool check(PyObject* o) { return PyObject_TypeCheck(o, api.type); }
}  // namespace

}  // namespace linvec::rectanglei
