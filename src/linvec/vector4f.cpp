// Vector4f: four 32-bit floats (RGBA colours, GL vec4). Everything
// comes from the shared record and vector templates.
#include "linvec/vector4f.hpp"

#include <cstddef>

#include "linvec/detail/vector_ops.hpp"

namespace linvec::vector4f {
namespace {

struct Traits {
    using Obj = Vector4f;
    using T = float;
    static constexpr int N = 4;
    static constexpr const char* kModule = vector4f::kModule;
    static constexpr const char* kName = kClass;
    static constexpr const char* kFile = "linvec\\vector4f.cpp";
    static constexpr const char* kDoc =
        "Vector4f(x=0.0, y=0.0, z=0.0, w=0.0)\n\n"
        "A 4-vector of 32-bit floats; arithmetic runs in single precision.\n"
        "Supports + and - with Vector4f, * and / with numbers (or componentwise),\n"
        "@ (dot product), indexing, iteration and the buffer protocol.";
    static constexpr const char* kFields[N] = {"x", "y", "z", "w"};
    static constexpr float kDefaults[N] = {0.0f, 0.0f, 0.0f, 0.0f};
    static float* data(Obj* o) { return detail::fields_at<float>(o, offsetof(Obj, x)); }
    static void init(Obj*) {}
};
static_assert(offsetof(Vector4f, w) == offsetof(Vector4f, x) + 3 * sizeof(float), "contiguous");

using C = detail::Components<Traits>;
using Ops = detail::VectorOps<Traits>;

PyObject* make_vector4f(float x, float y, float z, float w) {
    const float v[4] = {x, y, z, w};
    return C::make(v);
}

int register_classes(PyObject* module) {
    detail::Extras extras;
    extras.methods = Ops::methods(nullptr);
    extras.number = &Ops::number;
    return C::register_class(module, extras);
}

int body(PyObject* module) {
    return frame::export_function(module, kMakeName, reinterpret_cast<void*>(make_vector4f),
                                  kMakeSig);
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "vector4f", nullptr, -1, nullptr,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace linvec::vector4f

PyMODINIT_FUNC PyInit_vector4f() {
    using namespace linvec::vector4f;
    frame::ModuleInit init{&def, kModule, Traits::kFile};
    init.register_classes = register_classes;
    init.body = body;
    return frame::init_module(init);
}
