// Vector2f: two 32-bit floats (texture coordinates, GL vec2). Everything
// comes from the shared record and vector templates.
#include "linvec/vector2f.hpp"

#include <cstddef>

#include "linvec/detail/vector_ops.hpp"

namespace linvec::vector2f {
namespace {

struct Traits {
    using Obj = Vector2f;
    using T = float;
    static constexpr int N = 2;
    static constexpr const char* kModule = vector2f::kModule;
    static constexpr const char* kName = kClass;
    static constexpr const char* kFile = "linvec\\vector2f.cpp";
    static constexpr const char* kDoc =
        "Vector2f(x=0.0, y=0.0)\n\n"
        "A 2-vector of 32-bit floats; arithmetic runs in single precision.\n"
        "Supports + and - with Vector2f, * and / with numbers (or componentwise),\n"
        "@ (dot product), indexing, iteration and the buffer protocol.";
    static constexpr const char* kFields[N] = {"x", "y"};
    static constexpr float kDefaults[N] = {0.0f, 0.0f};
    static float* data(Obj* o) { return detail::fields_at<float>(o, offsetof(Obj, x)); }
    static void init(Obj*) {}
};
static_assert(offsetof(Vector2f, y) == offsetof(Vector2f, x) + sizeof(float), "contiguous");

using C = detail::Components<Traits>;
using Ops = detail::VectorOps<Traits>;

PyObject* make_vector2f(float x, float y) {
    const float v[2] = {x, y};
    return C::make(v);
}

int register_classes(PyObject* module) {
    detail::Extras extras;
    extras.methods = Ops::methods(nullptr);
    extras.number = &Ops::number;
    return C::register_class(module, extras);
}

int body(PyObject* module) {
    return frame::export_function(module, kMakeName, reinterpret_cast<void*>(make_vector2f),
                                  kMakeSig);
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "vector2f", nullptr, -1, nullptr,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace linvec::vector2f

PyMODINIT_FUNC PyInit_vector2f() {
    using namespace linvec::vector2f;
    frame::ModuleInit init{&def, kModule, Traits::kFile};
    init.register_classes = register_classes;
    init.body = body;
    return frame::init_module(init);
}
