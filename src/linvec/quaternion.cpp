// Quaternion: a rotation x i + y j + z k + w in 64-bit floats. Components,
// indexing, the buffer and pickling come from the shared record template,
// the algebra and the conversion to single precision from the quaternion
// template.
#include "linvec/quaternion.hpp"

#include <cstddef>

#include "linvec/detail/quaternion_ops.hpp"
#include "linvec/quaternionf.hpp"
#include "linvec/vector3.hpp"

namespace linvec::quaternion {
namespace {

struct Traits : detail::Record<Quaternion, double, 4, offsetof(Quaternion, x)> {
    static constexpr const char* kModule = quaternion::kModule;
    static constexpr const char* kName = kClass;
    static constexpr const char* kFile = "linvec\\quaternion.cpp";
    static constexpr const char* kDoc =
        "Quaternion(x=0.0, y=0.0, z=0.0, w=1.0)\n\n"
        "The quaternion x i + y j + z k + w in 64-bit floats; the default is the\n"
        "identity rotation. * is the Hamilton product (q1 * q2 rotates by q2, then\n"
        "q1) or a product with a number; + and - work componentwise.";
    static constexpr const char* kFields[N] = {"x", "y", "z", "w"};
    static constexpr double kDefaults[N] = {0.0, 0.0, 0.0, 1.0};
    static constexpr const char* kSingleName = quaternionf::kClass;
    static PyObject* to_single(const double* v) { return detail::call_with(quaternionf::api.make, v); }

    static constexpr const char* kVecName = vector3::kClass;
    using Vec = vector3::Vector3;
    static constexpr auto& vec = vector3::api;
};
static_assert(offsetof(Quaternion, w) == offsetof(Quaternion, x) + 3 * sizeof(double), "contiguous");

using Ops = detail::QuaternionOps<Traits>;

int import_classes(PyObject*) {
    if (vector3::import_api() < 0) return -1;
    return quaternionf::import_api();
}

}  // namespace
}  // namespace linvec::quaternion

PyMODINIT_FUNC PyInit_quaternion() {
    using namespace linvec::quaternion;
    return linvec::detail::ClassModule<Ops::C, MakeFn>::init(kMakeName, kMakeSig,
                                                             {Ops::methods(nullptr), &Ops::number},
                                                             import_classes);
}
