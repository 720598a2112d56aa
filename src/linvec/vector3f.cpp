// Vector3f: three 32-bit floats, the vec3 of uniforms and vertex data.
// Arithmetic, indexing, the buffer and pickling come from the shared record
// and vector templates; this module adds the C-level method table.
#include "linvec/vector3f.hpp"

#include <cstddef>

#include "linvec/detail/vector_ops.hpp"

namespace linvec::vector3f {
namespace {

struct Traits {
    using Obj = Vector3f;
    using T = float;
    static constexpr int N = 3;
    static constexpr const char* kModule = vector3f::kModule;
    static constexpr const char* kName = kClass;
    static constexpr const char* kFile = "linvec\\vector3f.cpp";
    static constexpr const char* kDoc =
        "Vector3f(x=0.0, y=0.0, z=0.0)\n\n"
        "A 3-vector of 32-bit floats; arithmetic runs in single precision.\n"
        "Supports + and - with Vector3f, * and / with numbers (or componentwise),\n"
        "@ (dot product), indexing, iteration and the buffer protocol\n"
        "(numpy.asarray gives shape (3,), float32).";
    static constexpr const char* kFields[N] = {"x", "y", "z"};
    static constexpr float kDefaults[N] = {0.0f, 0.0f, 0.0f};
    static float* data(Obj* o) { return detail::fields_at<float>(o, offsetof(Obj, x)); }
    static void init(Obj* o);
};
static_assert(offsetof(Vector3f, z) == offsetof(Vector3f, x) + 2 * sizeof(float), "contiguous");

using C = detail::Components<Traits>;
using Ops = detail::VectorOps<Traits>;

Vector3fVtab vtab;
void Traits::init(Obj* o) { o->vtab = &vtab; }

PyObject* make_vector3f(float x, float y, float z) {
    const float v[3] = {x, y, z};
    return C::make(v);
}

// ---------------------------------------------------------------- init

int register_classes(PyObject* module) {
    vtab.mul = Ops::mul;
    vtab.normalized = Ops::normalized;
    vtab.add = Ops::add;
    vtab.sub = Ops::sub;
    vtab.dot = Ops::dot;
    vtab.magnitude = Ops::magnitude;
    detail::Extras extras;
    extras.methods = Ops::methods(nullptr);
    extras.number = &Ops::number;
    extras.vtable = &vtab;
    return C::register_class(module, extras);
}

int body(PyObject* module) {
    return frame::export_function(module, kMakeName, reinterpret_cast<void*>(make_vector3f),
                                  kMakeSig);
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "vector3f", nullptr, -1, nullptr,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace linvec::vector3f

PyMODINIT_FUNC PyInit_vector3f() {
    using namespace linvec::vector3f;
    frame::ModuleInit init{&def, kModule, Traits::kFile};
    init.register_classes = register_classes;
    init.body = body;
    return frame::init_module(init);
}
