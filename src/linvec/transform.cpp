// Transform: where a scene object is, as a world position (handed to the
// camera for depth sorting) and a world matrix (handed to the shaders).
// The Transform owns exact copies of both, so that other modules can read
// the fields directly without checks; the owned-object machinery comes from
// the shared object-pair template.
#include "linvec/transform.hpp"

#include <cstddef>

#include "linvec/detail/object_pair.hpp"

namespace linvec::transform {
namespace {

struct Traits {
    using Obj = Transform;
    static constexpr const char* kModule = transform::kModule;
    static constexpr const char* kName = kClass;
    static constexpr const char* kFile = "linvec\\transform.cpp";
    static constexpr const char* kDoc =
        "Transform(position=None, matrix=None)\n\n"
        "The placement of a scene object: a world position (Vector3) and a world\n"
        "matrix (Matrix4). Both are copied in. position defaults to the origin;\n"
        "matrix defaults to the translation to position.";
    static constexpr const char* kFields[2] = {"position", "matrix"};
    static constexpr Py_ssize_t kOffsets[2] = {offsetof(Transform, position), offsetof(Transform, matrix)};
    static constexpr const char* kFieldDocs[2] = {
        "The world position (a Vector3 owned by the Transform; assigning stores a copy).",
        "The world matrix (a Matrix4 owned by the Transform; assigning stores a copy)."};
    static constexpr bool kSettable = true;
    static constexpr const char* kRepr = "%s(%R, %R)";

    // Fields may be assigned instances of subclasses; they store exact copies.
    static PyTypeObject* field_type(int i) { return i ? matrix4::api.type : vector3::api.type; }
    static PyObject* copy(int i, PyObject* v) {
        if (i) return matrix4::make(reinterpret_cast<matrix4::Matrix4*>(v)->m);
        auto* p = reinterpret_cast<vector3::Vector3*>(v);
        return vector3::make(p->x, p->y, p->z);
    }
};

using P = detail::ObjectPair<Traits>;
PyObject* arg_names[2];

// ---------------------------------------------------------------- construction

// Build into a fresh instance of `t`; position / matrix may be null or None.
PyObject* build(PyTypeObject* t, PyObject* position, PyObject* matrix) {
    if ((position && !frame::check_arg_type(position, vector3::api.type, "position")) ||
        (matrix && !frame::check_arg_type(matrix, matrix4::api.type, "matrix")))
        return P::fail_null("__cinit__", __LINE__);
    PyObject* pos = position && position != Py_None ? Traits::copy(0, position)
                                                    : vector3::make(0.0, 0.0, 0.0);
    PyObject* mat = nullptr;
    if (pos && matrix && matrix != Py_None) {
        mat = Traits::copy(1, matrix);
    } else if (pos) {
        auto* p = reinterpret_cast<vector3::Vector3*>(pos);
        mat = matrix4::api.create_translation(p->x, p->y, p->z);
    }
    return P::result(P::build(t, pos, mat), "__cinit__");
}

// Transform(position=None, matrix=None)
PyObject* tp_new(PyTypeObject* t, PyObject* args, PyObject* kwds) {
    PyObject* v[2];
    if (detail::parse_optional("__cinit__", args, kwds, arg_names, 2, v) < 0)
        return P::fail_null("__cinit__", __LINE__);
    return build(t, v[0], v[1]);
}

PyObject* make_transform(PyObject* position, PyObject* matrix) { return build(&P::type, position, matrix); }

// ---------------------------------------------------------------- init

int register_classes(PyObject* module) {
    if (detail::intern_all(Traits::kFields, 2, arg_names) < 0) return -1;
    frame::ClassSpec class_spec = P::describe();
    class_spec.tp_new = tp_new;
    return frame::register_class(module, class_spec);
}

int import_classes(PyObject*) {
    if (vector3::import_api() < 0) return -1;
    return matrix4::import_api();
}

int body(PyObject* module) {
    return detail::export_all(module, {detail::exported<MakeFn>(kMakeName, make_transform, kMakeSig)});
}

}  // namespace
}  // namespace linvec::transform

PyMODINIT_FUNC PyInit_transform() {
    using namespace linvec::transform;
    return linvec::detail::init_module(kModule, Traits::kFile, {register_classes, import_classes, body});
}
