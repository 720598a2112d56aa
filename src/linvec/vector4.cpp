// Vector4: four 64-bit floats (homogeneous points). Arithmetic, indexing,
// the buffer, pickling and the conversion to single precision come from the
// shared record and vector templates.
#include "linvec/vector4.hpp"

#include <cstddef>

#include "linvec/detail/vector_ops.hpp"
#include "linvec/vector4f.hpp"

namespace linvec::vector4 {
namespace {

struct Traits : detail::Record<Vector4, double, 4, offsetof(Vector4, x)> {
    static constexpr const char* kModule = vector4::kModule;
    static constexpr const char* kName = kClass;
    static constexpr const char* kFile = "linvec\\vector4.cpp";
    static constexpr const char* kDoc =
        "Vector4(x=0.0, y=0.0, z=0.0, w=0.0)\n\n"
        "A 4-vector of 64-bit floats. Supports + and - with Vector4, * and / with\n"
        "numbers (or componentwise), @ (dot product), indexing, iteration and the\n"
        "buffer protocol (numpy.asarray gives shape (4,), float64).";
    static constexpr const char* kFields[N] = {"x", "y", "z", "w"};
    static constexpr double kDefaults[N] = {0.0, 0.0, 0.0, 0.0};
    static constexpr const char* kSingleName = vector4f::kClass;
    static PyObject* to_single(const double* v) { return detail::call_with(vector4f::api.make, v); }
};
static_assert(offsetof(Vector4, w) == offsetof(Vector4, x) + 3 * sizeof(double), "contiguous");

using Ops = detail::VectorOps<Traits>;

int import_classes(PyObject*) { return vector4f::import_api(); }

}  // namespace
}  // namespace linvec::vector4

PyMODINIT_FUNC PyInit_vector4() {
    using namespace linvec::vector4;
    return linvec::detail::ClassModule<Ops::C, MakeFn>::init(kMakeName, kMakeSig,
                                                             {Ops::methods(nullptr), &Ops::number},
                                                             import_classes);
}
