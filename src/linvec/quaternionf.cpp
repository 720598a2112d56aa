// Quaternionf: a rotation x i + y j + z k + w in 32-bit floats. Components,
// indexing, the buffer and pickling come from the shared record template,
// the algebra from the quaternion template.
#include "linvec/quaternionf.hpp"

#include <cstddef>

#include "linvec/detail/quaternion_ops.hpp"
#include "linvec/vector3f.hpp"

namespace linvec::quaternionf {
namespace {

struct Traits : detail::Record<Quaternionf, float, 4, offsetof(Quaternionf, x)> {
    static constexpr const char* kModule = quaternionf::kModule;
    static constexpr const char* kName = kClass;
    static constexpr const char* kFile = "linvec\\quaternionf.cpp";
    static constexpr const char* kDoc =
        "Quaternionf(x=0.0, y=0.0, z=0.0, w=1.0)\n\n"
        "The quaternion x i + y j + z k + w in 32-bit floats; the default is the\n"
        "identity rotation. * is the Hamilton product or a product with a number.";
    static constexpr const char* kFields[N] = {"x", "y", "z", "w"};
    static constexpr float kDefaults[N] = {0.0f, 0.0f, 0.0f, 1.0f};

    static constexpr const char* kVecName = vector3f::kClass;
    using Vec = vector3f::Vector3f;
    static constexpr auto& vec = vector3f::api;
};
static_assert(offsetof(Quaternionf, w) == offsetof(Quaternionf, x) + 3 * sizeof(float), "contiguous");

using Ops = detail::QuaternionOps<Traits>;

int import_classes(PyObject*) { return vector3f::import_api(); }

}  // namespace
}  // namespace linvec::quaternionf

PyMODINIT_FUNC PyInit_quaternionf() {
    using namespace linvec::quaternionf;
    return linvec::detail::ClassModule<Ops::C, MakeFn>::init(kMakeName, kMakeSig,
                                                             {Ops::methods(nullptr), &Ops::number},
                                                             import_classes);
}
