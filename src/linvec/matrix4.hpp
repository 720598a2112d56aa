// linvec.matrix4: a 4x4 matrix of 64-bit floats, column-major as GL takes
// matrices: element (row r, column c) is m[c * 4 + r], so m[12], m[13],
// m[14] hold a translation. Other modules read m directly and call the
// C-level method table and the exported factories: this layout, the table's
// entry order and the signature texts are a cross-module contract.
#pragma once

#include "linvec/binding.hpp"

namespace linvec::matrix4 {

struct Matrix4;

// C-level method table, in entry order. The entries compute on the C fields
// and are not overridable from Python. `other` must be a real Matrix4, not
// None. Results are new exact objects, or nullptr with an exception set.
struct Matrix4Vtab {
    PyObject* (*multiply)(Matrix4* self, Matrix4* other);  // 0: self x other, a Matrix4
    PyObject* (*to_float)(Matrix4* self);                  // 1: a Matrix4f, each element rounded
};

struct Matrix4 {
    PyObject_HEAD
    Matrix4Vtab* vtab;
    double m[16];  // column-major
};

inline constexpr const char* kModule = "linvec.matrix4";
inline constexpr const char* kClass = "Matrix4";
inline constexpr const char* kHeader = "linvec\\matrix4.hpp";

// Exported through __capi__; each returns a new exact Matrix4, or nullptr
// with an exception set.
//   make(m): the 16 column-major values of m; m == nullptr gives the identity.
inline constexpr const char* kMakeName = "make";
inline constexpr const char* kMakeSig = "PyObject *(double const *)";
using MakeFn = PyObject* (*)(const double* m);
//   _create_translation(x, y, z): identity with (x, y, z) in m[12..14].
inline constexpr const char* kCreateTranslationName = "_create_translation";
inline constexpr const char* kCreateTranslationSig = "PyObject *(double, double, double)";
using CreateTranslationFn = PyObject* (*)(double x, double y, double z);
//   _create_scale(x, y, z): diagonal (x, y, z, 1).
inline constexpr const char* kCreateScaleName = "_create_scale";
inline constexpr const char* kCreateScaleSig = "PyObject *(double, double, double)";
using CreateScaleFn = PyObject* (*)(double x, double y, double z);
//   _create_from_quaternion(x, y, z, w): the rotation of the quaternion
//   x i + y j + z k + w (normalised first; ZeroDivisionError "float division"
//   for the zero quaternion).
inline constexpr const char* kCreateFromQuaternionName = "_create_from_quaternion";
inline constexpr const char* kCreateFromQuaternionSig = "PyObject *(double, double, double, double)";
using CreateFromQuaternionFn = PyObject* (*)(double x, double y, double z, double w);

namespace {
struct Api : binding::ClassApi<MakeFn, Matrix4Vtab> {
    CreateTranslationFn create_translation = nullptr;
    CreateScaleFn create_scale = nullptr;
    CreateFromQuaternionFn create_from_quaternion = nullptr;
};
inline Api api;

inline int import_api() {
    return api.bind(kModule, kClass, sizeof(Matrix4), kHeader, kMakeName, kMakeSig, [] {
        return binding::import_fn(kModule, kCreateTranslationName, kCreateTranslationSig,
                                  &api.create_translation) &&
               binding::import_fn(kModule, kCreateScaleName, kCreateScaleSig, &api.create_scale) &&
               binding::import_fn(kModule, kCreateFromQuaternionName, kCreateFromQuaternionSig,
                                  &api.create_from_quaternion);
    });
}
inline PyObject* make(const double* m) { return api.make(m); }
inline bool check(PyObject* o) { return PyObject_TypeCheck(o, api.type); }
}  // namespace

}  // namespace linvec::matrix4
