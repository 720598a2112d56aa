// Matrix4f: a 4x4 matrix of 32-bit floats, column-major, ready for
// glUniformMatrix4fv. Everything comes from the shared matrix template.
#include "linvec/matrix4f.hpp"

#include <cstddef>

#include "linvec/detail/matrix_ops.hpp"

namespace linvec::matrix4f {
namespace {

struct Traits {
    using Obj = Matrix4f;
    using T = float;
    static constexpr const char* kModule = matrix4f::kModule;
    static constexpr const char* kName = kClass;
    static constexpr const char* kFile = "linvec\\matrix4f.cpp";
    static constexpr const char* kDoc =
        "Matrix4f(values=None)\n\n"
        "A 4x4 matrix of 32-bit floats stored column-major, as GL takes it.\n"
        "values: 16 numbers in column-major order or 4 columns of 4 numbers;\n"
        "None gives the identity. m[c] is column c, m[c, r] the element in\n"
        "row r of column c; iteration yields the columns; numpy.asarray(m) is a\n"
        "(4, 4) float32 view indexed [column][row]. @ is the matrix product.";
    static float* data(Obj* o) { return detail::fields_at<float>(o, offsetof(Obj, m)); }
    static void init(Obj*) {}
    static PyObject* matmul_other(PyObject*, PyObject*) { return detail::not_implemented(); }
};

using M = detail::MatrixClass<Traits>;

PyObject* make_matrix4f(const float* m) { return M::make(m); }

int register_classes(PyObject* module) {
    detail::Extras extras;
    extras.methods = M::methods(nullptr);
    extras.number = &M::number;
    return M::register_class(module, extras);
}

int body(PyObject* module) {
    return frame::export_function(module, kMakeName, reinterpret_cast<void*>(make_matrix4f),
                                  kMakeSig);
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "matrix4f", nullptr, -1, nullptr,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace linvec::matrix4f

PyMODINIT_FUNC PyInit_matrix4f() {
    using namespace linvec::matrix4f;
    frame::ModuleInit init{&def, kModule, Traits::kFile};
    init.register_classes = register_classes;
    init.body = body;
    return frame::init_module(init);
}
