// Vector3: three 64-bit floats, the position and direction type of the
// scene. Arithmetic, indexing, the buffer, pickling and the conversion to
// single precision come from the shared record and vector templates; this
// module adds the C-level method table.
#include "linvec/vector3.hpp"

#include <cstddef>

#include "linvec/detail/vector_ops.hpp"
#include "linvec/vector3f.hpp"

namespace linvec::vector3 {
namespace {

struct Traits : detail::Record<Vector3, double, 3, offsetof(Vector3, x)> {
    static constexpr const char* kModule = vector3::kModule;
    static constexpr const char* kName = kClass;
    static constexpr const char* kFile = "linvec\\vector3.cpp";
    static constexpr const char* kDoc =
        "Vector3(x=0.0, y=0.0, z=0.0)\n\n"
        "A 3-vector of 64-bit floats. Supports + and - with Vector3, * and / with\n"
        "numbers (or componentwise with Vector3), @ (dot product), indexing,\n"
        "iteration and the buffer protocol (numpy.asarray gives shape (3,), float64).";
    static constexpr const char* kFields[N] = {"x", "y", "z"};
    static constexpr double kDefaults[N] = {0.0, 0.0, 0.0};
    static constexpr const char* kSingleName = vector3f::kClass;
    static PyObject* to_single(const double* v) { return detail::call_with(vector3f::api.make, v); }
    static void init(Obj* o);
};
static_assert(offsetof(Vector3, z) == offsetof(Vector3, x) + 2 * sizeof(double), "contiguous");

using Ops = detail::VectorOps<Traits>;

// The C-level method table, in the header's entry order.
Vector3Vtab vtab = {Ops::add, Ops::sub, Ops::mul, Ops::dot, Ops::magnitude, Ops::C::to_float};
void Traits::init(Obj* o) { o->vtab = &vtab; }

int import_classes(PyObject*) { return vector3f::import_api(); }

}  // namespace
}  // namespace linvec::vector3

PyMODINIT_FUNC PyInit_vector3() {
    using namespace linvec::vector3;
    return linvec::detail::ClassModule<Ops::C, MakeFn>::init(
        kMakeName, kMakeSig, {Ops::methods(nullptr), &Ops::number, &vtab}, import_classes);
}
