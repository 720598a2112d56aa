// linvec.math_structs: plain C records of 32-bit floats, the element types
// of vertex data and of double-single values, with small Python classes
// `float2` and `float3` around them. The records and the object layouts
// are a cross-module contract.
#pragma once

#include "linvec/binding.hpp"

namespace linvec::math_structs {

// The plain records: no padding, so arrays of them are GL vertex data.
struct float2 {
    float x;
    float y;
};
struct float3 {
    float x;
    float y;
    float z;
};
static_assert(sizeof(float2) == 8 && sizeof(float3) == 12, "packed records");

// The Python classes `float2` and `float3`; no C-level method tables.
struct Float2 {
    PyObject_HEAD
    float2 v;
};
struct Float3 {
    PyObject_HEAD
    float3 v;
};

inline constexpr const char* kModule = "linvec.math_structs";
inline constexpr const char* kFloat2Class = "float2";
inline constexpr const char* kFloat3Class = "float3";
inline constexpr const char* kHeader = "linvec\\math_structs.hpp";

// Exported through __capi__: a new exact float2/float3 object holding the
// record, or nullptr with an error.
inline constexpr const char* kMakeFloat2Name = "make_float2";
inline constexpr const char* kMakeFloat2Sig = "PyObject *(struct float2)";
using MakeFloat2Fn = PyObject* (*)(float2 v);
inline constexpr const char* kMakeFloat3Name = "make_float3";
inline constexpr const char* kMakeFloat3Sig = "PyObject *(struct float3)";
using MakeFloat3Fn = PyObject* (*)(float3 v);

namespace {
struct Api {
    PyTypeObject* float2_type = nullptr;
    PyTypeObject* float3_type = nullptr;
    MakeFloat2Fn make_float2 = nullptr;
    MakeFloat3Fn make_float3 = nullptr;
};
inline Api api;

inline int import_api() {
    if (api.float2_type) return 0;
    return binding::import_types(kModule, kHeader,
                                 {{kFloat2Class, sizeof(Float2), &api.float2_type},
                                  {kFloat3Class, sizeof(Float3), &api.float3_type}},
                                 [] {
                                     return binding::import_fn(kModule, kMakeFloat2Name, kMakeFloat2Sig,
                                                               &api.make_float2) &&
                                            binding::import_fn(kModule, kMakeFloat3Name, kMakeFloat3Sig,
                                                               &api.make_float3);
                                 });
}
inline PyObject* make_float2(float2 v) { return api.make_float2(v); }
inline PyObject* make_float3(float3 v) { return api.make_float3(v); }
}  // namespace

}  // namespace linvec::math_structs
