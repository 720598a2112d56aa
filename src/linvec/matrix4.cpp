// Matrix4: a 4x4 matrix of 64-bit floats, column-major. Storage, indexing,
// the buffer, pickling, products, inverse and the conversion to single
// precision come from the shared matrix template; this module adds the
// C-level method table, the factories (translation, scale, rotation,
// projection, view) and the products with vectors.
#include "linvec/matrix4.hpp"

#include <cmath>
#include <cstddef>

#include "linvec/detail/matrix_ops.hpp"
#include "linvec/detail/quaternion_ops.hpp"
#include "linvec/matrix4f.hpp"
#include "linvec/quaternion.hpp"
#include "linvec/vector3.hpp"
#include "linvec/vector4.hpp"

namespace linvec::matrix4 {
namespace {

PyObject* matmul_vector(PyObject* a, PyObject* b);

struct Traits : detail::Layout<Matrix4, double, offsetof(Matrix4, m)> {
    static constexpr const char* kModule = matrix4::kModule;
    static constexpr const char* kName = kClass;
    static constexpr const char* kFile = "linvec\\matrix4.cpp";
    static inline const char* const kDoc = detail::matrix_doc<double>(
        kClass, " (its .T is the matrix in\n"
                "row-by-column order). m @ n is the product m x n, m @ Vector4 the\n"
                "transformed vector.");
    static constexpr const char* kSingleName = matrix4f::kClass;
    static PyObject* to_single(const double* v) {
        float f[16];
        for (int i = 0; i < 16; ++i) f[i] = static_cast<float>(v[i]);
        return matrix4f::make(f);
    }
    static void init(Obj* o);
    static PyObject* matmul_other(PyObject* a, PyObject* b) { return matmul_vector(a, b); }
};

using M = detail::MatrixClass<Traits>;

// The C-level method table, in the header's entry order.
Matrix4Vtab vtab = {M::multiply, M::to_float};
void Traits::init(Obj* o) { o->vtab = &vtab; }

// ---------------------------------------------------------------- exported factories

// The identity with x, y, z at m[at], m[at + step] and m[at + 2 * step].
PyObject* identity_with(int at, int step, double x, double y, double z) {
    double m[16];
    detail::mat_identity(m);
    m[at] = x;
    m[at + step] = y;
    m[at + 2 * step] = z;
    return M::make(m);
}

PyObject* create_translation(double x, double y, double z) { return identity_with(12, 1, x, y, z); }
PyObject* create_scale(double x, double y, double z) { return identity_with(0, 5, x, y, z); }

PyObject* create_from_quaternion(double x, double y, double z, double w) {
    double m[16];
    if (!detail::quat_to_matrix(x, y, z, w, m)) return detail::float_division();
    return M::make(m);
}

// ---------------------------------------------------------------- products with vectors

// m @ Vector4: the transformed vector.
PyObject* matmul_vector(PyObject* a, PyObject* b) {
    if (!M::check(a) || !vector4::check(b)) return detail::not_implemented();
    const double* m = M::data(a);
    const double* v = &reinterpret_cast<vector4::Vector4*>(b)->x;
    double r[4];
    for (int row = 0; row < 4; ++row)
        r[row] = m[row] * v[0] + m[4 + row] * v[1] + m[8 + row] * v[2] + m[12 + row] * v[3];
    return M::result(vector4::make(r[0], r[1], r[2], r[3]), "__matmul__");
}

// The point (w = 1, divided by the resulting w) or direction (w = 0).
PyObject* transform3(PyObject* self, PyObject* v, bool point, const char* member) {
    if (!detail::require_arg(v, vector3::api.type, "v")) return M::fail_null(member, __LINE__);
    const double* m = M::data(self);
    const auto* p = reinterpret_cast<vector3::Vector3*>(v);
    double w = point ? 1.0 : 0.0;
    double r[4];
    for (int row = 0; row < 4; ++row)
        r[row] = m[row] * p->x + m[4 + row] * p->y + m[8 + row] * p->z + m[12 + row] * w;
    if (point) {
        if (r[3] == 0) {
            detail::float_division();
            return M::fail_null(member, __LINE__);
        }
        for (int i = 0; i < 3; ++i) r[i] /= r[3];
    }
    return M::result(vector3::make(r[0], r[1], r[2]), member);
}

PyObject* py_transform_point(PyObject* self, PyObject* v) {
    return transform3(self, v, true, "transform_point");
}
PyObject* py_transform_direction(PyObject* self, PyObject* v) {
    return transform3(self, v, false, "transform_direction");
}

// ---------------------------------------------------------------- factories

// Three components from one Vector3 or three numbers; with `uniform`, one
// number stands for all three.
bool read_xyz(const char* fname, PyObject* args, PyObject* kwds, bool uniform, double* out) {
    if (kwds && PyDict_GET_SIZE(kwds) > 0) {
        PyErr_Format(PyExc_TypeError, "%.200s() takes no keyword arguments", fname);
        return false;
    }
    Py_ssize_t n = PyTuple_GET_SIZE(args);
    if (n == 1) {
        PyObject* a = PyTuple_GET_ITEM(args, 0);
        if (vector3::check(a)) {
            const auto* v = reinterpret_cast<vector3::Vector3*>(a);
            out[0] = v->x;
            out[1] = v->y;
            out[2] = v->z;
            return true;
        }
        if (!uniform) return detail::require_arg(a, vector3::api.type, "v");
        if (!frame::to_double(a, &out[0])) return false;
        out[1] = out[2] = out[0];
        return true;
    }
    if (n != 3) {
        frame::raise_arg_count(fname, 3, n);
        return false;
    }
    for (int i = 0; i < 3; ++i)
        if (!frame::to_double(PyTuple_GET_ITEM(args, i), &out[i])) return false;
    return true;
}

// create_translation and create_scale: `create` of the three components.
PyObject* xyz_factory(const char* fn, PyObject* args, PyObject* kwds, bool uniform,
                      PyObject* (*create)(double, double, double)) {
    double v[3];
    if (!read_xyz(fn, args, kwds, uniform, v)) return M::fail_null(fn, __LINE__);
    return M::result(create(v[0], v[1], v[2]), fn);
}

PyObject* py_create_translation(PyObject*, PyObject* args, PyObject* kwds) {
    return xyz_factory("create_translation", args, kwds, false, create_translation);
}

PyObject* py_create_scale(PyObject*, PyObject* args, PyObject* kwds) {
    return xyz_factory("create_scale", args, kwds, true, create_scale);
}

PyObject* py_create_from_quaternion(PyObject*, PyObject* q) {
    if (!detail::require_arg(q, quaternion::api.type, "q"))
        return M::fail_null("create_from_quaternion", __LINE__);
    const auto* p = reinterpret_cast<quaternion::Quaternion*>(q);
    return M::result(create_from_quaternion(p->x, p->y, p->z, p->w), "create_from_quaternion");
}

PyObject* arg_names_rotation[2];
PyObject* arg_names_perspective[4];
PyObject* arg_names_look_at[3];

PyObject* py_create_rotation(PyObject*, PyObject* args, PyObject* kwds) {
    static const char* const fn = "create_rotation";
    PyObject* v[2];
    if (frame::parse_args(fn, args, kwds, arg_names_rotation, 2, v) < 0 ||
        !detail::require_arg(v[0], vector3::api.type, "axis"))
        return M::fail_null(fn, __LINE__);
    double angle;
    if (!frame::to_double(v[1], &angle)) return M::fail_null(fn, __LINE__);
    const auto* a = reinterpret_cast<vector3::Vector3*>(v[0]);
    double len = std::sqrt(a->x * a->x + a->y * a->y + a->z * a->z);
    if (len == 0) {
        detail::float_division();
        return M::fail_null(fn, __LINE__);
    }
    double s = std::sin(angle / 2) / len;
    return M::result(create_from_quaternion(a->x * s, a->y * s, a->z * s, std::cos(angle / 2)), fn);
}

// The GL perspective projection (clip z from -1 at near to 1 at far).
PyObject* py_create_perspective(PyObject*, PyObject* args, PyObject* kwds) {
    static const char* const fn = "create_perspective";
    PyObject* v[4];
    if (frame::parse_args(fn, args, kwds, arg_names_perspective, 4, v) < 0)
        return M::fail_null(fn, __LINE__);
    double p[4];
    for (int i = 0; i < 4; ++i)
        if (!frame::to_double(v[i], &p[i])) return M::fail_null(fn, __LINE__);
    double fov = p[0], aspect = p[1], z_near = p[2], z_far = p[3];
    double t = std::tan(fov / 2);
    if (t == 0 || aspect == 0 || z_near == z_far) {
        detail::float_division();
        return M::fail_null(fn, __LINE__);
    }
    double f = 1.0 / t;
    double m[16] = {};
    m[0] = f / aspect;
    m[5] = f;
    m[10] = (z_far + z_near) / (z_near - z_far);
    m[11] = -1.0;
    m[14] = 2.0 * z_far * z_near / (z_near - z_far);
    return M::result(M::make(m), fn);
}

// The view matrix of an eye at `eye` looking at `target` with `up` upwards
// (the camera looks down its -z axis).
PyObject* py_create_look_at(PyObject*, PyObject* args, PyObject* kwds) {
    static const char* const fn = "create_look_at";
    static const char* const names[3] = {"eye", "target", "up"};
    PyObject* v[3];
    if (frame::parse_args(fn, args, kwds, arg_names_look_at, 3, v) < 0)
        return M::fail_null(fn, __LINE__);
    for (int i = 0; i < 3; ++i)
        if (!detail::require_arg(v[i], vector3::api.type, names[i])) return M::fail_null(fn, __LINE__);
    const auto* e = reinterpret_cast<vector3::Vector3*>(v[0]);
    const auto* t = reinterpret_cast<vector3::Vector3*>(v[1]);
    const auto* u = reinterpret_cast<vector3::Vector3*>(v[2]);
    double f[3] = {t->x - e->x, t->y - e->y, t->z - e->z};
    double fl = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
    double s[3] = {f[1] * u->z - f[2] * u->y, f[2] * u->x - f[0] * u->z, f[0] * u->y - f[1] * u->x};
    double sl = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
    if (fl == 0 || sl == 0) {  // eye on target, or up along the view direction
        detail::float_division();
        return M::fail_null(fn, __LINE__);
    }
    for (int i = 0; i < 3; ++i) {
        f[i] /= fl;
        s[i] /= sl;
    }
    double w[3] = {s[1] * f[2] - s[2] * f[1], s[2] * f[0] - s[0] * f[2], s[0] * f[1] - s[1] * f[0]};
    double m[16] = {s[0], w[0], -f[0], 0, s[1], w[1], -f[1], 0, s[2], w[2], -f[2], 0,
                    -(s[0] * e->x + s[1] * e->y + s[2] * e->z),
                    -(w[0] * e->x + w[1] * e->y + w[2] * e->z),
                    f[0] * e->x + f[1] * e->y + f[2] * e->z, 1};
    return M::result(M::make(m), fn);
}

using detail::keywords_fn;

PyMethodDef more_methods[] = {
    {"transform_point", py_transform_point, METH_O,
     "Matrix4.transform_point(self, Vector3 v) -> Vector3\n\n"
     "The point v (w = 1) transformed and divided by the resulting w."},
    {"transform_direction", py_transform_direction, METH_O,
     "Matrix4.transform_direction(self, Vector3 v) -> Vector3\n\n"
     "The direction v (w = 0) transformed: no translation."},
    {"create_translation", keywords_fn(py_create_translation), METH_VARARGS | METH_KEYWORDS | METH_STATIC,
     "Matrix4.create_translation(x, y, z) -> Matrix4\n\n"
     "The translation by (x, y, z), also given as one Vector3."},
    {"create_scale", keywords_fn(py_create_scale), METH_VARARGS | METH_KEYWORDS | METH_STATIC,
     "Matrix4.create_scale(x, y, z) -> Matrix4\n\n"
     "The scale by (x, y, z), also given as one Vector3 or one number for all three."},
    {"create_rotation", keywords_fn(py_create_rotation), METH_VARARGS | METH_KEYWORDS | METH_STATIC,
     "Matrix4.create_rotation(Vector3 axis, double angle) -> Matrix4\n\n"
     "The rotation by angle radians about axis (right-handed); ZeroDivisionError for a zero axis."},
    {"create_from_quaternion", py_create_from_quaternion, METH_O | METH_STATIC,
     "Matrix4.create_from_quaternion(Quaternion q) -> Matrix4\n\n"
     "The rotation of q (normalised first); ZeroDivisionError for the zero quaternion."},
    {"create_perspective", keywords_fn(py_create_perspective), METH_VARARGS | METH_KEYWORDS | METH_STATIC,
     "Matrix4.create_perspective(double fov_y, double aspect, double near, double far) -> Matrix4\n\n"
     "The GL perspective projection: vertical field of view in radians, width / height,\n"
     "near and far plane distances."},
    {"create_look_at", keywords_fn(py_create_look_at), METH_VARARGS | METH_KEYWORDS | METH_STATIC,
     "Matrix4.create_look_at(Vector3 eye, Vector3 target, Vector3 up) -> Matrix4\n\n"
     "The view matrix of an eye looking at target (down its -z axis)."},
    {nullptr, nullptr, 0, nullptr},
};

// ---------------------------------------------------------------- init

int register_classes(PyObject* module) {
    static const char* const rotation[] = {"axis", "angle"};
    static const char* const perspective[] = {"fov_y", "aspect", "near", "far"};
    static const char* const look_at[] = {"eye", "target", "up"};
    if (detail::intern_all(rotation, 2, arg_names_rotation) < 0 ||
        detail::intern_all(perspective, 4, arg_names_perspective) < 0 ||
        detail::intern_all(look_at, 3, arg_names_look_at) < 0)
        return -1;
    return M::register_class(module, {M::methods(more_methods), &M::number, &vtab});
}

int import_classes(PyObject*) {
    if (matrix4f::import_api() < 0 || vector3::import_api() < 0 || vector4::import_api() < 0)
        return -1;
    return quaternion::import_api();
}

int body(PyObject* module) {
    return detail::export_all(
        module, {detail::exported<MakeFn>(kMakeName, M::make, kMakeSig),
                 detail::exported<CreateTranslationFn>(kCreateTranslationName, create_translation,
                                                       kCreateTranslationSig),
                 detail::exported<CreateScaleFn>(kCreateScaleName, create_scale, kCreateScaleSig),
                 detail::exported<CreateFromQuaternionFn>(kCreateFromQuaternionName,
                                                          create_from_quaternion,
                                                          kCreateFromQuaternionSig)});
}

}  // namespace
}  // namespace linvec::matrix4

PyMODINIT_FUNC PyInit_matrix4() {
    using namespace linvec::matrix4;
    return linvec::detail::init_module(kModule, Traits::kFile, {register_classes, import_classes, body});
}
