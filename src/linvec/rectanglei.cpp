// Rectanglei: an axis-aligned rectangle of 32-bit ints (pixels), lower-left
// corner (x, y) and size (width, height), the order glViewport takes.
// Components, indexing, the buffer and pickling come from the shared record
// template, contains from the rectangle template.
#include "linvec/rectanglei.hpp"

#include <cstddef>

#include "linvec/detail/rectangle_ops.hpp"

namespace linvec::rectanglei {
namespace {

struct Traits : detail::Record<Rectanglei, int32_t, 4, offsetof(Rectanglei, x)> {
    static constexpr const char* kModule = rectanglei::kModule;
    static constexpr const char* kName = kClass;
    static constexpr const char* kFile = "linvec\\rectanglei.cpp";
    static constexpr const char* kDoc =
        "Rectanglei(x=0, y=0, width=0, height=0)\n\n"
        "An axis-aligned rectangle of 32-bit ints (pixels): lower-left corner (x, y) and\n"
        "size (width, height).";
    static constexpr const char* kFields[N] = {"x", "y", "width", "height"};
    static constexpr int32_t kDefaults[N] = {0, 0, 0, 0};
};
static_assert(offsetof(Rectanglei, height) == offsetof(Rectanglei, x) + 3 * sizeof(int32_t),
              "contiguous");

using Ops = detail::RectangleOps<Traits>;

}  // namespace
}  // namespace linvec::rectanglei

PyMODINIT_FUNC PyInit_rectanglei() {
    using namespace linvec::rectanglei;
    return linvec::detail::ClassModule<Ops::C, MakeFn>::init(kMakeName, kMakeSig, {Ops::methods()},
                                                             nullptr, Ops::prepare);
}
