// Vector3: three 64-bit floats, the position and direction type of the
// scene. Arithmetic, indexing, the buffer and pickling come from the shared
// record and vector templates; this module adds the C-level method table
// and the conversion to single precision.
#include "linvec/vector3.hpp"

#include <cstddef>

#include "linvec/detail/vector_ops.hpp"
#include "linvec/vector3f.hpp"

namespace linvec::vector3 {
namespace {

struct Traits {
    using Obj = Vector3;
    using T = double;
    static constexpr int N = 3;
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
    static double* data(Obj* o) { return detail::fields_at<double>(o, offsetof(Obj, x)); }
    static void init(Obj* o);
};
static_assert(offsetof(Vector3, z) == offsetof(Vector3, x) + 2 * sizeof(double), "contiguous");

using C = detail::Components<Traits>;
using Ops = detail::VectorOps<Traits>;

Vector3Vtab vtab;
void Traits::init(Obj* o) { o->vtab = &vtab; }

// ---------------------------------------------------------------- C-level table

PyObject* to_float(Vector3* self) {
    return vector3f::make(static_cast<float>(self->x), static_cast<float>(self->y),
                          static_cast<float>(self->z));
}

PyObject* make_vector3(double x, double y, double z) {
    const double v[3] = {x, y, z};
    return C::make(v);
}

// ---------------------------------------------------------------- Python methods

PyObject* py_to_float(PyObject* self, PyObject*) {
    PyObject* r = to_float(reinterpret_cast<Vector3*>(self));
    return r ? r : C::fail_null("to_float", __LINE__);
}

PyMethodDef more_methods[] = {
    {"to_float", py_to_float, METH_NOARGS,
     "Vector3.to_float(self) -> Vector3f\n\nThe vector rounded to single precision."},
    {nullptr, nullptr, 0, nullptr},
};

// ---------------------------------------------------------------- init

int register_classes(PyObject* module) {
    vtab.add = Ops::add;
    vtab.sub = Ops::sub;
    vtab.mul = Ops::mul;
    vtab.dot = Ops::dot;
    vtab.magnitude = Ops::magnitude;
    vtab.to_float = to_float;
    detail::Extras extras;
    extras.methods = Ops::methods(more_methods);
    extras.number = &Ops::number;
    extras.vtable = &vtab;
    return C::register_class(module, extras);
}

int import_classes(PyObject*) { return vector3f::import_api(); }

int body(PyObject* module) {
    return frame::export_function(module, kMakeName, reinterpret_cast<void*>(make_vector3), kMakeSig);
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "vector3", nullptr, -1, nullptr,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace linvec::vector3

PyMODINIT_FUNC PyInit_vector3() {
    using namespace linvec::vector3;
    frame::ModuleInit init{&def, kModule, Traits::kFile};
    init.register_classes = register_classes;
    init.import_classes = import_classes;
    init.body = body;
    return frame::init_module(init);
}
