// float2 and float3: the plain 32-bit float records of vertex data as small
// Python classes (components, repr, ==, indexing, the buffer, pickling),
// and the C functions that wrap a record in a new object.
#include "linvec/math_structs.hpp"

#include <cstddef>

#include "linvec/detail/components.hpp"

namespace linvec::math_structs {
namespace {

constexpr const char* kFile = "linvec\\math_structs.cpp";

// Both classes: the record's numbers at `v`, in this module.
template <class Obj, int N>
struct Plain : detail::Record<Obj, float, N, offsetof(Obj, v)> {
    static constexpr const char* kModule = math_structs::kModule;
    static constexpr const char* kFile = math_structs::kFile;
};

struct Float2Traits : Plain<Float2, 2> {
    static constexpr const char* kName = kFloat2Class;
    static constexpr const char* kDoc =
        "float2(x=0.0, y=0.0)\n\nThe plain record {x, y} of 32-bit floats.";
    static constexpr const char* kFields[N] = {"x", "y"};
    static constexpr float kDefaults[N] = {0.0f, 0.0f};
};

struct Float3Traits : Plain<Float3, 3> {
    static constexpr const char* kName = kFloat3Class;
    static constexpr const char* kDoc =
        "float3(x=0.0, y=0.0, z=0.0)\n\nThe plain record {x, y, z} of 32-bit floats.";
    static constexpr const char* kFields[N] = {"x", "y", "z"};
    static constexpr float kDefaults[N] = {0.0f, 0.0f, 0.0f};
};

using C2 = detail::Components<Float2Traits>;
using C3 = detail::Components<Float3Traits>;

PyObject* make_float2_object(float2 v) { return C2::make_from(v.x, v.y); }
PyObject* make_float3_object(float3 v) { return C3::make_from(v.x, v.y, v.z); }

int register_classes(PyObject* module) {
    if (C2::register_class(module, {}) < 0) return -1;
    return C3::register_class(module, {});
}

int body(PyObject* module) {
    return detail::export_all(
        module, {detail::exported<MakeFloat2Fn>(kMakeFloat2Name, make_float2_object, kMakeFloat2Sig),
                 detail::exported<MakeFloat3Fn>(kMakeFloat3Name, make_float3_object, kMakeFloat3Sig)});
}

}  // namespace
}  // namespace linvec::math_structs

PyMODINIT_FUNC PyInit_math_structs() {
    using namespace linvec::math_structs;
    return linvec::detail::init_module(kModule, kFile, {register_classes, nullptr, body});
}
