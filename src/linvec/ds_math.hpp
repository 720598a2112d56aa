// linvec.ds_math: double-single numbers. A 64-bit value v is carried as two
// 32-bit floats, hi = v rounded to single precision and lo = (v - hi)
// rounded to single precision, so that hi + lo keeps about 48 significant
// bits: shaders add the two parts (or difference the high parts first) to
// place large world coordinates without single-precision jitter. Where hi
// is not finite (v beyond the float range, inf, nan) lo is 0.
//
// The records, the object layouts and the exported signature texts are a
// cross-module contract.
#pragma once

#include <cmath>

#include "linvec/math_structs.hpp"
#include "linvec/matrix4.hpp"
#include "linvec/matrix4f.hpp"
#include "linvec/vector3.hpp"
#include "linvec/vector3f.hpp"
#include "linvec/vector4f.hpp"

namespace linvec::ds_math {

using math_structs::float3;

// A double-single 3-vector: the GPU vertex record of a 64-bit position,
// high triple at offset 0, low triple at offset 12.
struct double_single3 {
    float3 hi;
    float3 lo;
};
static_assert(sizeof(double_single3) == 24, "24-byte vertex record");

// ---------------------------------------------------------------- inline helpers

// The split of one value.
inline void split(double v, float* hi, float* lo) {
    float h = static_cast<float>(v);
    *hi = h;
    *lo = std::isfinite(h) ? static_cast<float>(v - static_cast<double>(h)) : 0.0f;
}

inline double_single3 split3(double x, double y, double z) {
    double_single3 r;
    split(x, &r.hi.x, &r.lo.x);
    split(y, &r.hi.y, &r.lo.y);
    split(z, &r.hi.z, &r.lo.z);
    return r;
}

// ---------------------------------------------------------------- Python classes

// `double_single3`: the record as a Python object; no method table.
struct DoubleSingle3 {
    PyObject_HEAD
    double_single3 v;
};

// `DoubleSingle`: one split value; no method table.
struct DoubleSingle {
    PyObject_HEAD
    float hi;
    float lo;
};

// `Vector3ds`, `Vector4ds`, `Matrix4ds`: a high and a low part, read in that
// order; no method tables. The parts are always exact objects owned by the
// instance (never None, never shared with the constructor's argument), so
// readers may use them without a type check.
struct Vector3ds {
    PyObject_HEAD
    vector3f::Vector3f* hi;
    vector3f::Vector3f* lo;
};
struct Vector4ds {
    PyObject_HEAD
    vector4f::Vector4f* hi;
    vector4f::Vector4f* lo;
};
struct Matrix4ds {
    PyObject_HEAD
    matrix4f::Matrix4f* hi;  // uniform "u_world_hi"
    matrix4f::Matrix4f* lo;  // uniform "u_world_lo"
};

inline constexpr const char* kModule = "linvec.ds_math";
inline constexpr const char* kHeader = "linvec\\ds_math.hpp";
inline constexpr const char* kDoubleSingle3Class = "double_single3";
inline constexpr const char* kDoubleSingleClass = "DoubleSingle";
inline constexpr const char* kVector3dsClass = "Vector3ds";
inline constexpr const char* kVector4dsClass = "Vector4ds";
inline constexpr const char* kMatrix4dsClass = "Matrix4ds";

// ---------------------------------------------------------------- exported C functions

// to_double_single3(v): the split of a Vector3 by value. No error return:
// v must be a real Vector3 (not None, not null).
inline constexpr const char* kToDoubleSingle3Name = "to_double_single3";
inline constexpr const char* kToDoubleSingle3Sig = "struct double_single3 (struct Vector3 *)";
using ToDoubleSingle3Fn = double_single3 (*)(vector3::Vector3* v);

// to_matrix4ds(m): a new Matrix4ds of a Matrix4, the split per element; m
// must be a real Matrix4. nullptr with an exception set on failure.
inline constexpr const char* kToMatrix4dsName = "to_matrix4ds";
inline constexpr const char* kToMatrix4dsSig = "PyObject *(struct Matrix4 *)";
using ToMatrix4dsFn = PyObject* (*)(matrix4::Matrix4* m);

// make_double_single3(v): a new double_single3 object holding v.
inline constexpr const char* kMakeDoubleSingle3Name = "make_double_single3";
inline constexpr const char* kMakeDoubleSingle3Sig = "PyObject *(struct double_single3)";
using MakeDoubleSingle3Fn = PyObject* (*)(double_single3 v);

namespace {
struct Api {
    PyTypeObject* double_single3_type = nullptr;
    PyTypeObject* double_single_type = nullptr;
    PyTypeObject* vector3ds_type = nullptr;
    PyTypeObject* vector4ds_type = nullptr;
    PyTypeObject* matrix4ds_type = nullptr;
    ToDoubleSingle3Fn to_double_single3 = nullptr;
    ToMatrix4dsFn to_matrix4ds = nullptr;
    MakeDoubleSingle3Fn make_double_single3 = nullptr;
};
inline Api api;

inline int import_api() {
    if (api.double_single3_type) return 0;
    return binding::import_types(
        kModule, kHeader,
        {{kDoubleSingle3Class, sizeof(DoubleSingle3), &api.double_single3_type},
         {kDoubleSingleClass, sizeof(DoubleSingle), &api.double_single_type},
         {kVector3dsClass, sizeof(Vector3ds), &api.vector3ds_type},
         {kVector4dsClass, sizeof(Vector4ds), &api.vector4ds_type},
         {kMatrix4dsClass, sizeof(Matrix4ds), &api.matrix4ds_type}},
        [] {
            return binding::import_fn(kModule, kToDoubleSingle3Name, kToDoubleSingle3Sig,
                                      &api.to_double_single3) &&
                   binding::import_fn(kModule, kToMatrix4dsName, kToMatrix4dsSig, &api.to_matrix4ds) &&
                   binding::import_fn(kModule, kMakeDoubleSingle3Name, kMakeDoubleSingle3Sig,
                                      &api.make_double_single3);
        });
}
inline double_single3 to_double_single3(vector3::Vector3* v) { return api.to_double_single3(v); }
inline PyObject* to_matrix4ds(matrix4::Matrix4* m) { return api.to_matrix4ds(m); }
inline PyObject* make_double_single3(double_single3 v) { return api.make_double_single3(v); }
}  // namespace

}  // namespace linvec::ds_math
