// Rectanglef: an axis-aligned rectangle of 32-bit floats, lower-left corner
// (x, y) and size (width, height), the order glViewport takes. Components,
// indexing, the buffer and pickling come from the shared record template,
// contains from the rectangle template.
#include "linvec/rectanglef.hpp"

#include <cstddef>

#include "linvec/detail/rectangle_ops.hpp"

namespace linvec::rectanglef {
namespace {

struct Traits : detail::Record<Rectanglef, float, 4, offsetof(Rectanglef, x)> {
    static constexpr const char* kModule = rectanglef::kModule;
    static constexpr const char* kName = kClass;
    static constexpr const char* kFile = "linvec\\rectanglef.cpp";
    static constexpr const char* kDoc =
        "Rectanglef(x=0.0, y=0.0, width=0.0, height=0.0)\n\n"
        "An axis-aligned rectangle of 32-bit floats: lower-left corner (x, y) and\n"
        "size (width, height).";
    static constexpr const char* kFields[N] = {"x", "y", "width", "height"};
    static constexpr float kDefaults[N] = {0.0f, 0.0f, 0.0f, 0.0f};
};
static_assert(offsetof(Rectanglef, height) == offsetof(Rectanglef, x) + 3 * sizeof(float),
              "contiguous");

using Ops = detail::RectangleOps<Traits>;

}  // namespace
}  // namespace linvec::rectanglef

PyMODINIT_FUNC PyInit_rectanglef() {
    using namespace linvec::rectanglef;
    return linvec::detail::ClassModule<Ops::C, MakeFn>::init(kMakeName, kMakeSig, {Ops::methods()},
                                                             nullptr, Ops::prepare);
}
