// Quaternionf: a rotation x i + y j + z k + w in 32-bit floats. Components,
// indexing, the buffer and pickling come from the shared record template,
// the algebra from the quaternion template.
#include "linvec/quaternionf.hpp"

#include <cstddef>

#include "linvec/detail/quaternion_ops.hpp"
#include "linvec/vector3f.hpp"

namespace linvec::quaternionf {
namespace {

struct Traits {
    using Obj = Quaternionf;
    using T = float;
    static constexpr int N = 4;
    static constexpr const char* kModule = quaternionf::kModule;
    static constexpr const char* kName = kClass;
    static constexpr const char* kFile = "linvec\\quaternionf.cpp";
    static constexpr const char* kDoc =
        "Quaternionf(x=0.0, y=0.0, z=0.0, w=1.0)\n\n"
        "The quaternion x i + y j + z k + w in 32-bit floats; the default is the\n"
        "identity rotation. * is the Hamilton product or a product with a number.";
    static constexpr const char* kFields[N] = {"x", "y", "z", "w"};
    static constexpr float kDefaults[N] = {0.0f, 0.0f, 0.0f, 1.0f};
    static float* data(Obj* o) { return detail::fields_at<float>(o, offsetof(Obj, x)); }
    static void init(Obj*) {}

    static constexpr const char* kVecName = "Vector3f";
    static PyTypeObject* vec_type() { return vector3f::api.type; }
    static const float* vec_data(PyObject* v) {
        return &reinterpret_cast<vector3f::Vector3f*>(v)->x;
    }
    static PyObject* make_vec(float x, float y, float z) { return vector3f::make(x, y, z); }
};
static_assert(offsetof(Quaternionf, w) == offsetof(Quaternionf, x) + 3 * sizeof(float), "contiguous");

using C = detail::Components<Traits>;
using Ops = detail::QuaternionOps<Traits>;

PyObject* make_quaternionf(float x, float y, float z, float w) { return Ops::make4(x, y, z, w); }

int register_classes(PyObject* module) {
    detail::Extras extras;
    extras.methods = Ops::methods(nullptr);
    extras.number = &Ops::number;
    return C::register_class(module, extras);
}

int import_classes(PyObject*) { return vector3f::import_api(); }

int body(PyObject* module) {
    return frame::export_function(module, kMakeName, reinterpret_cast<void*>(make_quaternionf),
                                  kMakeSig);
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "quaternionf", nullptr, -1, nullptr,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace linvec::quaternionf

PyMODINIT_FUNC PyInit_quaternionf() {
    using namespace linvec::quaternionf;
    frame::ModuleInit init{&def, kModule, Traits::kFile};
    init.register_classes = register_classes;
    init.import_classes = import_classes;
    init.body = body;
    return frame::init_module(init);
}
