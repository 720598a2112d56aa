// Vector3f: three 32-bit floats, the vec3 of uniforms and vertex data.
// Arithmetic, indexing, the buffer and pickling come from the shared record
// and vector templates; this module adds the C-level method table.
#include "linvec/vector3f.hpp"

#include <cstddef>

#include "linvec/detail/vector_ops.hpp"

namespace linvec::vector3f {
namespace {

struct Traits : detail::Record<Vector3f, float, 3, offsetof(Vector3f, x)> {
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
    static void init(Obj* o);
};
static_assert(offsetof(Vector3f, z) == offsetof(Vector3f, x) + 2 * sizeof(float), "contiguous");

using Ops = detail::VectorOps<Traits>;

// The C-level method table, in the header's entry order.
Vector3fVtab vtab = {Ops::mul, Ops::normalized, Ops::add, Ops::sub, Ops::dot, Ops::magnitude};
void Traits::init(Obj* o) { o->vtab = &vtab; }

}  // namespace
}  // namespace linvec::vector3f

PyMODINIT_FUNC PyInit_vector3f() {
    using namespace linvec::vector3f;
    return linvec::detail::ClassModule<Ops::C, MakeFn>::init(
        kMakeName, kMakeSig, {Ops::methods(nullptr), &Ops::number, &vtab});
}
