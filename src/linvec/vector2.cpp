// Vector2: two 64-bit floats (screen and sprite coordinates). Arithmetic,
// indexing, the buffer and pickling come from the shared record and vector
// templates; this module adds the conversion to single precision.
#include "linvec/vector2.hpp"

#include <cstddef>

#include "linvec/detail/vector_ops.hpp"
#include "linvec/vector2f.hpp"

namespace linvec::vector2 {
namespace {

struct Traits {
    using Obj = Vector2;
    using T = double;
    static constexpr int N = 2;
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
    static double* data(Obj* o) { return detail::fields_at<double>(o, offsetof(Obj, x)); }
    static void init(Obj*) {}
};
static_assert(offsetof(Vector2, y) == offsetof(Vector2, x) + sizeof(double), "contiguous");

using C = detail::Components<Traits>;
using Ops = detail::VectorOps<Traits>;

PyObject* make_vector2(double x, double y) {
    const double v[2] = {x, y};
    return C::make(v);
}

PyObject* py_to_float(PyObject* self, PyObject*) {
    const double* d = C::data(self);
    float f[2];
    for (int i = 0; i < 2; ++i) f[i] = static_cast<float>(d[i]);
    PyObject* r = vector2f::make(f[0], f[1]);
    return r ? r : C::fail_null("to_float", __LINE__);
}

PyMethodDef more_methods[] = {
    {"to_float", py_to_float, METH_NOARGS,
     "Vector2.to_float(self) -> Vector2f\n\nThe vector rounded to single precision."},
    {nullptr, nullptr, 0, nullptr},
};

int register_classes(PyObject* module) {
    detail::Extras extras;
    extras.methods = Ops::methods(more_methods);
    extras.number = &Ops::number;
    return C::register_class(module, extras);
}

int import_classes(PyObject*) { return vector2f::import_api(); }

int body(PyObject* module) {
    return frame::export_function(module, kMakeName, reinterpret_cast<void*>(make_vector2),
                                  kMakeSig);
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "vector2", nullptr, -1, nullptr,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace linvec::vector2

PyMODINIT_FUNC PyInit_vector2() {
    using namespace linvec::vector2;
    frame::ModuleInit init{&def, kModule, Traits::kFile};
    init.register_classes = register_classes;
    init.import_classes = import_classes;
    init.body = body;
    return frame::init_module(init);
}
