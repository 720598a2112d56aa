// float2 and float3: the plain 32-bit float records of vertex data as small
// Python classes (components, repr, ==, indexing, the buffer, pickling),
// and the C functions that wrap a record in a new object.
#include "linvec/math_structs.hpp"

#include <cstddef>

#include "linvec/detail/components.hpp"

namespace linvec::math_structs {
namespace {

constexpr const char* kFile = "linvec\\math_structs.cpp";

struct Float2Traits {
    using Obj = Float2;
    using T = float;
    static constexpr int N = 2;
    static constexpr const char* kModule = math_structs::kModule;
    static constexpr const char* kName = kFloat2Class;
    static constexpr const char* kFile = math_structs::kFile;
    static constexpr const char* kDoc =
        "float2(x=0.0, y=0.0)\n\nThe plain record {x, y} of 32-bit floats.";
    static constexpr const char* kFields[N] = {"x", "y"};
    static constexpr float kDefaults[N] = {0.0f, 0.0f};
    static float* data(Obj* o) { return detail::fields_at<float>(o, offsetof(Obj, v)); }
    static void init(Obj*) {}
};

struct Float3Traits {
    using Obj = Float3;
    using T = float;
    static constexpr int N = 3;
    static constexpr const char* kModule = math_structs::kModule;
    static constexpr const char* kName = kFloat3Class;
    static constexpr const char* kFile = math_structs::kFile;
    static constexpr const char* kDoc =
        "float3(x=0.0, y=0.0, z=0.0)\n\nThe plain record {x, y, z} of 32-bit floats.";
    static constexpr const char* kFields[N] = {"x", "y", "z"};
    static constexpr float kDefaults[N] = {0.0f, 0.0f, 0.0f};
    static float* data(Obj* o) { return detail::fields_at<float>(o, offsetof(Obj, v)); }
    static void init(Obj*) {}
};

using C2 = detail::Components<Float2Traits>;
using C3 = detail::Components<Float3Traits>;

PyObject* make_float2_object(float2 v) {
    const float d[2] = {v.x, v.y};
    return C2::make(d);
}

PyObject* make_float3_object(float3 v) {
    const float d[3] = {v.x, v.y, v.z};
    return C3::make(d);
}

int register_classes(PyObject* module) {
    detail::Extras none;
    if (C2::register_class(module, none) < 0) return -1;
    return C3::register_class(module, none);
}

int body(PyObject* module) {
    if (frame::export_function(module, kMakeFloat2Name, reinterpret_cast<void*>(make_float2_object),
                               kMakeFloat2Sig) < 0)
        return -1;
    return frame::export_function(module, kMakeFloat3Name,
                                  reinterpret_cast<void*>(make_float3_object), kMakeFloat3Sig);
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "math_structs", nullptr, -1, nullptr,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace linvec::math_structs

PyMODINIT_FUNC PyInit_math_structs() {
    using namespace linvec::math_structs;
    frame::ModuleInit init{&def, kModule, kFile};
    init.register_classes = register_classes;
    init.body = body;
    return frame::init_module(init);
}
