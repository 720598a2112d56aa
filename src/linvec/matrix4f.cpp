// Matrix4f: a 4x4 matrix of 32-bit floats, column-major, ready for
// glUniformMatrix4fv. Everything comes from the shared matrix template.
#include "linvec/matrix4f.hpp"

#include <cstddef>

#include "linvec/detail/matrix_ops.hpp"

namespace linvec::matrix4f {
namespace {

struct Traits : detail::Layout<Matrix4f, float, offsetof(Matrix4f, m)> {
    static constexpr const char* kModule = matrix4f::kModule;
    static constexpr const char* kName = kClass;
    static constexpr const char* kFile = "linvec\\matrix4f.cpp";
    static inline const char* const kDoc = detail::matrix_doc<float>(kClass, ". @ is the matrix product.");
    static PyObject* matmul_other(PyObject*, PyObject*) { return detail::not_implemented(); }
};

using M = detail::MatrixClass<Traits>;

}  // namespace
}  // namespace linvec::matrix4f

PyMODINIT_FUNC PyInit_matrix4f() {
    using namespace linvec::matrix4f;
    return linvec::detail::ClassModule<M, MakeFn>::init(kMakeName, kMakeSig,
                                                        {M::methods(nullptr), &M::number});
}
