// Vector4f: four 32-bit floats (RGBA colours, GL vec4). Everything comes
// from the shared record and vector templates.
#include "linvec/vector4f.hpp"

#include <cstddef>

#include "linvec/detail/vector_ops.hpp"

namespace linvec::vector4f {
namespace {

struct Traits : detail::Record<Vector4f, float, 4, offsetof(Vector4f, x)> {
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
};
static_assert(offsetof(Vector4f, w) == offsetof(Vector4f, x) + 3 * sizeof(float), "contiguous");

using Ops = detail::VectorOps<Traits>;

}  // namespace
}  // namespace linvec::vector4f

PyMODINIT_FUNC PyInit_vector4f() {
    using namespace linvec::vector4f;
    return linvec::detail::ClassModule<Ops::C, MakeFn>::init(kMakeName, kMakeSig,
                                                             {Ops::methods(nullptr), &Ops::number});
}
