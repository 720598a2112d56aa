// Vector4: four 64-bit floats (homogeneous points). Arithmetic,
// indexing, the buffer and pickling come from the shared record and vector
// templates; this module adds the conversion to single precision.
#include "linvec/vector4.hpp"

#include <cstddef>

#include "linvec/detail/vector_ops.hpp"
#include "linvec/vector4f.hpp"

namespace linvec::vector4 {
namespace {

struct Traits {
    using Obj = Vector4;
    using T = double;
    static constexpr int N = 4;
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
    static double* data(Obj* o) { return detail::fields_at<double>(o, offsetof(Obj, x)); }
    static void init(Obj*) {}
};
static_assert(offsetof(Vector4, w) == offsetof(Vector4, x) + 3 * sizeof(double), "contiguous");

using C = detail::Components<Traits>;
using Ops = detail::VectorOps<Traits>;

PyObject* make_vector4(double x, double y, double z, double w) {
    const double v[4] = {x, y, z, w};
    return C::make(v);
}

PyObject* py_to_float(PyObject* self, PyObject*) {
    const double* d = C::data(self);
    float f[4];
    for (int i = 0; i < 4; ++i) f[i] = static_cast<float>(d[i]);
    PyObject* r = vector4f::make(f[0], f[1], f[2], f[3]);
    return r ? r : C::fail_null("to_float", __LINE__);
}

PyMethodDef more_methods[] = {
    {"to_float", py_to_float, METH_NOARGS,
     "Vector4.to_float(self) -> Vector4f\n\nThe vector rounded to single precision."},
    {nullptr, nullptr, 0, nullptr},
};

int register_classes(PyObject* module) {
    detail::Extras extras;
    extras.methods = Ops::methods(more_methods);
    extras.number = &Ops::number;
    return C::register_class(module, extras);
}

int import_classes(PyObject*) { return vector4f::import_api(); }

int body(PyObject* module) {
    return frame::export_function(module, kMakeName, reinterpret_cast<void*>(make_vector4),
                                  kMakeSig);
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "vector4", nullptr, -1, nullptr,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace linvec::vector4

PyMODINIT_FUNC PyInit_vector4() {
    using namespace linvec::vector4;
    frame::ModuleInit init{&def, kModule, Traits::kFile};
    init.register_classes = register_classes;
    init.import_classes = import_classes;
    init.body = body;
    return frame::init_module(init);
}
