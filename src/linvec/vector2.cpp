// Vector2: two 64-bit floats (screen and sprite coordinates). Arithmetic,
// indexing, the buffer, pickling and the conversion to single precision
// come from the shared record and vector templates.
#include "linvec/vector2.hpp"

#include <cstddef>

#include "linvec/detail/vector_ops.hpp"
#include "linvec/vector2f.hpp"

namespace linvec::vector2 {
namespace {

struct Traits : detail::Record<Vector2, double, 2, offsetof(Vector2, x)> {
    static constexpr const char* kModule = vector2::kModule;
    static constexpr const char* kName = kClass;
    static constexpr const char* kFile = "linvec\\vector2.cpp";
    static constexpr const char* kDoc =
        "Vector2(x=0.0, y=0.0)\n\n"
        "A 2-vector of 64-bit floats. Supports + and - with Vector2, * and / with\n"
        "numbers (or componentwise), @ (dot product), indexing, iteration and the\n"
        "buffer protocol (numpy.asarray gives shape (2,), float64).";
    static constexpr const char* kFields[N] = {"x", "y"};
    static constexpr double kDefaults[N] = {0.0, 0.0};
    static constexpr const char* kSingleName = vector2f::kClass;
    static PyObject* to_single(const double* v) { return detail::call_with(vector2f::api.make, v); }
};
static_assert(offsetof(Vector2, y) == offsetof(Vector2, x) + sizeof(double), "contiguous");

using Ops = detail::VectorOps<Traits>;

int import_classes(PyObject*) { return vector2f::import_api(); }

}  // namespace
}  // namespace linvec::vector2

PyMODINIT_FUNC PyInit_vector2() {
    using namespace linvec::vector2;
    return linvec::detail::ClassModule<Ops::C, MakeFn>::init(kMakeName, kMakeSig,
                                                             {Ops::methods(nullptr), &Ops::number},
                                                             import_classes);
}
