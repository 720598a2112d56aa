// Quaternion arithmetic over Components<Traits> (components x, y, z, w for
// x i + y j + z k + w): + and - with quaternions, * as the Hamilton product
// (or with a number), / by a number, unary -, and the methods magnitude,
// dot, normalized, conjugate, inverse, rotate and from_axis_angle (and
// to_float where the Traits name a single-precision twin). The traits also
// name the matching 3-vector class:
//
//   static constexpr const char* kVecName;   // "Vector3"
//   using Vec = ...;                          // its layout (x, y, z contiguous)
//   static constexpr auto& vec = ...;         // its binding (type, make)
#pragma once

#include "linvec/detail/arithmetic.hpp"
#include "linvec/detail/components.hpp"

#include <cmath>
#include <string>
#include <vector>

namespace linvec::detail {

// r = a b (Hamilton product) of quaternions stored (x, y, z, w).
template <class T>
inline void quat_mul(const T* a, const T* b, T* r) {
    r[0] = a[3] * b[0] + a[0] * b[3] + a[1] * b[2] - a[2] * b[1];
    r[1] = a[3] * b[1] - a[0] * b[2] + a[1] * b[3] + a[2] * b[0];
    r[2] = a[3] * b[2] + a[0] * b[1] - a[1] * b[0] + a[2] * b[3];
    r[3] = a[3] * b[3] - a[0] * b[0] - a[1] * b[1] - a[2] * b[2];
}

// The rotation matrix (column-major) of a quaternion, normalised first;
// false for the zero quaternion.
template <class T>
inline bool quat_to_matrix(T x, T y, T z, T w, T* m) {
    T n = x * x + y * y + z * z + w * w;
    if (n == 0) return false;
    T s = T(2) / n;
    T xx = x * x * s, yy = y * y * s, zz = z * z * s;
    T xy = x * y * s, xz = x * z * s, yz = y * z * s;
    T wx = w * x * s, wy = w * y * s, wz = w * z * s;
    m[0] = 1 - (yy + zz); m[1] = xy + wz;       m[2] = xz - wy;        m[3] = 0;
    m[4] = xy - wz;       m[5] = 1 - (xx + zz); m[6] = yz + wx;        m[7] = 0;
    m[8] = xz + wy;       m[9] = yz - wx;       m[10] = 1 - (xx + yy); m[11] = 0;
    m[12] = 0;            m[13] = 0;            m[14] = 0;             m[15] = 1;
    return true;
}

template <class Tr>
struct QuaternionOps {
    using C = Components<Tr>;
    using E = Elementwise<C, false>;
    using T = typename Tr::T;

    static PyObject* make4(T x, T y, T z, T w) { return C::make_from(x, y, z, w); }

    static PyTypeObject* vec_type() { return Tr::vec.type; }
    static const T* vec_data(PyObject* v) { return &reinterpret_cast<typename Tr::Vec*>(v)->x; }

    // ------------------------------------------------------------ operators

    static PyObject* product(const T* a, const T* b) {
        T r[4];
        quat_mul(a, b, r);
        return C::make(r);
    }
    static PyObject* nb_multiply(PyObject* a, PyObject* b) { return E::multiply(a, b, product); }
    static PyObject* nb_true_divide(PyObject* a, PyObject* b) { return E::divide(a, b, false); }

    static inline PyNumberMethods number = [] {
        PyNumberMethods n = E::number_base();
        n.nb_multiply = nb_multiply;
        n.nb_true_divide = nb_true_divide;
        return n;
    }();

    // ------------------------------------------------------------ methods

    static PyObject* py_conjugate(PyObject* self, PyObject*) {
        const T* p = C::data(self);
        return C::result(make4(-p[0], -p[1], -p[2], p[3]), "conjugate");
    }
    static PyObject* py_inverse(PyObject* self, PyObject*) {
        const T* p = C::data(self);
        T n = E::dot(p, p);
        if (n == 0) {
            float_division();
            return C::fail_null("inverse", __LINE__);
        }
        return C::result(make4(-p[0] / n, -p[1] / n, -p[2] / n, p[3] / n), "inverse");
    }
    // The vector rotated by the (normalised) quaternion: R v with R the
    // matrix Matrix4.create_from_quaternion gives.
    static PyObject* py_rotate(PyObject* self, PyObject* v) {
        if (!require_arg(v, vec_type(), "v")) return C::fail_null("rotate", __LINE__);
        const T* p = C::data(self);
        T m[16];
        if (!quat_to_matrix(p[0], p[1], p[2], p[3], m)) {
            float_division();
            return C::fail_null("rotate", __LINE__);
        }
        const T* d = vec_data(v);
        PyObject* r = Tr::vec.make(m[0] * d[0] + m[4] * d[1] + m[8] * d[2],
                                   m[1] * d[0] + m[5] * d[1] + m[9] * d[2],
                                   m[2] * d[0] + m[6] * d[1] + m[10] * d[2]);
        return C::result(r, "rotate");
    }
    // from_axis_angle(axis, angle): the rotation by `angle` radians about
    // `axis` (any length but 0), counter-clockwise looking down the axis.
    static PyObject* py_from_axis_angle(PyObject*, PyObject* args, PyObject* kwds) {
        static PyObject* names[2] = {frame::intern("axis"), frame::intern("angle")};
        PyObject* v[2];
        if (!names[0] || !names[1]) return C::fail_null("from_axis_angle", __LINE__);
        if (frame::parse_args("from_axis_angle", args, kwds, names, 2, v) < 0)
            return C::fail_null("from_axis_angle", __LINE__);
        if (!require_arg(v[0], vec_type(), "axis"))
            return C::fail_null("from_axis_angle", __LINE__);
        double angle;
        if (!frame::to_double(v[1], &angle)) return C::fail_null("from_axis_angle", __LINE__);
        const T* a = vec_data(v[0]);
        T len = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
        if (len == 0) {
            float_division();
            return C::fail_null("from_axis_angle", __LINE__);
        }
        T s = static_cast<T>(std::sin(angle / 2)) / len;
        PyObject* r = make4(a[0] * s, a[1] * s, a[2] * s, static_cast<T>(std::cos(angle / 2)));
        return C::result(r, "from_axis_angle");
    }

    static PyMethodDef* methods(const PyMethodDef* more) {
        static std::vector<PyMethodDef> table;
        if (!table.empty()) return table.data();
        std::string n = Tr::kName;
        std::string vec = Tr::kVecName;
        const std::string self = "(self) -> " + n;
        E::metric_methods(table, "", "", "A unit-length copy; ZeroDivisionError for the zero quaternion.");
        table.push_back(method_row(n, "conjugate", py_conjugate, METH_NOARGS, self, "(-x, -y, -z, w)."));
        table.push_back(method_row(n, "inverse", py_inverse, METH_NOARGS, self,
                                   "The multiplicative inverse; ZeroDivisionError for zero."));
        table.push_back(method_row(n, "rotate", py_rotate, METH_O, "(self, " + vec + " v) -> " + vec,
                                   "v rotated by this quaternion (normalised first)."));
        table.push_back(method_row(n, "from_axis_angle", keywords_fn(py_from_axis_angle),
                                   METH_VARARGS | METH_KEYWORDS | METH_STATIC,
                                   "(" + vec + " axis, double angle) -> " + n,
                                   "The rotation by angle radians about axis (right-handed)."));
        return C::methods_with(table, "quaternion", more);
    }
};

}  // namespace linvec::detail
