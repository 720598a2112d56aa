// Vector2f: two 32-bit floats (texture coordinates, GL vec2). Everything
// comes from the shared record and vector templates.
#include "linvec/vector2f.hpp"

#include <cstddef>

#include "linvec/detail/vector_ops.hpp"

namespace linvec::vector2f {
namespace {

struct Traits : detail::Record<Vector2f, float, 2, offsetof(Vector2f, x)> {
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
};
static_assert(offsetof(Vector2f, y) == offsetof(Vector2f, x) + sizeof(float), "contiguous");

using Ops = detail::VectorOps<Traits>;

}  // namespace
}  // namespace linvec::vector2f

PyMODINIT_FUNC PyInit_vector2f() {
    using namespace linvec::vector2f;
    return linvec::detail::ClassModule<Ops::C, MakeFn>::init(kMakeName, kMakeSig,
                                                             {Ops::methods(nullptr), &Ops::number});
}
