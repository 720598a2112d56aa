// Quaternion: a rotation x i + y j + z k + w in 64-bit floats. Components,
// indexing, the buffer and pickling come from the shared record template,
// the algebra from the quaternion template; this module adds the
// conversion to single precision.
#include "linvec/quaternion.hpp"

#include <cstddef>

#include "linvec/detail/quaternion_ops.hpp"
#include "linvec/quaternionf.hpp"
#include "linvec/vector3.hpp"

namespace linvec::quaternion {
namespace {

struct Traits {
    using Obj = Quaternion;
    using T = double;
    static constexpr int N = 4;
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
    static double* data(Obj* o) { return detail::fields_at<double>(o, offsetof(Obj, x)); }
    static void init(Obj*) {}

    static constexpr const char* kVecName = "Vector3";
    static PyTypeObject* vec_type() { return vector3::api.type; }
    static const double* vec_data(PyObject* v) {
        return &reinterpret_cast<vector3::Vector3*>(v)->x;
    }
    static PyObject* make_vec(double x, double y, double z) { return vector3::make(x, y, z); }
};
static_assert(offsetof(Quaternion, w) == offsetof(Quaternion, x) + 3 * sizeof(double), "contiguous");

using C = detail::Components<Traits>;
using Ops = detail::QuaternionOps<Traits>;

PyObject* make_quaternion(double x, double y, double z, double w) { return Ops::make4(x, y, z, w); }

PyObject* py_to_float(PyObject* self, PyObject*) {
    const double* d = C::data(self);
    PyObject* r = quaternionf::make(static_cast<float>(d[0]), static_cast<float>(d[1]),
                                    static_cast<float>(d[2]), static_cast<float>(d[3]));
    return r ? r : C::fail_null("to_float", __LINE__);
}

PyMethodDef more_methods[] = {
    {"to_float", py_to_float, METH_NOARGS,
     "Quaternion.to_float(self) -> Quaternionf\n\nThe quaternion rounded to single precision."},
    {nullptr, nullptr, 0, nullptr},
};

int register_classes(PyObject* module) {
    detail::Extras extras;
    extras.methods = Ops::methods(more_methods);
    extras.number = &Ops::number;
    return C::register_class(module, extras);
}

int import_classes(PyObject*) {
    if (vector3::import_api() < 0) return -1;
    return quaternionf::import_api();
}

int body(PyObject* module) {
    return frame::export_function(module, kMakeName, reinterpret_cast<void*>(make_quaternion),
                                  kMakeSig);
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "quaternion", nullptr, -1, nullptr,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace linvec::quaternion

PyMODINIT_FUNC PyInit_quaternion() {
    using namespace linvec::quaternion;
    frame::ModuleInit init{&def, kModule, Traits::kFile};
    init.register_classes = register_classes;
    init.import_classes = import_classes;
    init.body = body;
    return frame::init_module(init);
}
