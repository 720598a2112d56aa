// Quaternion arithmetic over Components<Traits> (components x, y, z, w for
// x i + y j + z k + w): + and - with quaternions, * as the Hamilton product
// (or with a number), / by a number, unary -, and the methods magnitude,
// dot, normalized, conjugate, inverse, rotate and from_axis_angle. The
// traits also name the matching 3-vector type:
//
//   static PyTypeObject* vec_type();
//   static const T* vec_data(PyObject*);
//   static PyObject* make_vec(T x, T y, T z);
//   static constexpr const char* kVecName;   // "Vector3"
#pragma once

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
    using T = typename Tr::T;

    static PyObject* make4(T x, T y, T z, T w) {
        const T v[4] = {x, y, z, w};
        return C::make(v);
    }

    // ------------------------------------------------------------ operators

    static PyObject* nb_add(PyObject* a, PyObject* b) {
        if (!C::check(a) || !C::check(b)) return not_implemented();
        const T *p = C::data(a), *q = C::data(b);
        PyObject* r = make4(p[0] + q[0], p[1] + q[1], p[2] + q[2], p[3] + q[3]);
        return r ? r : C::fail_null("__add__", __LINE__);
    }
    static PyObject* nb_subtract(PyObject* a, PyObject* b) {
        if (!C::check(a) || !C::check(b)) return not_implemented();
        const T *p = C::data(a), *q = C::data(b);
        PyObject* r = make4(p[0] - q[0], p[1] - q[1], p[2] - q[2], p[3] - q[3]);
        return r ? r : C::fail_null("__sub__", __LINE__);
    }
    static PyObject* scaled(PyObject* q, T s, const char* member) {
        const T* p = C::data(q);
        PyObject* r = make4(p[0] * s, p[1] * s, p[2] * s, p[3] * s);
        return r ? r : C::fail_null(member, __LINE__);
    }
    static PyObject* nb_multiply(PyObject* a, PyObject* b) {
        T s;
        if (C::check(a) && C::check(b)) {
            T r[4];
            quat_mul(C::data(a), C::data(b), r);
            PyObject* o = C::make(r);
            return o ? o : C::fail_null("__mul__", __LINE__);
        }
        if (C::check(a) && scalar_operand(b, &s)) return scaled(a, s, "__mul__");
        if (C::check(b) && scalar_operand(a, &s)) return scaled(b, s, "__mul__");
        return PyErr_Occurred() ? C::fail_null("__mul__", __LINE__) : not_implemented();
    }
    static PyObject* nb_true_divide(PyObject* a, PyObject* b) {
        T s;
        if (!C::check(a) || C::check(b)) return not_implemented();
        if (!scalar_operand(b, &s))
            return PyErr_Occurred() ? C::fail_null("__truediv__", __LINE__) : not_implemented();
        if (s == 0) {
            float_division();
            return C::fail_null("__truediv__", __LINE__);
        }
        const T* p = C::data(a);
        PyObject* r = make4(p[0] / s, p[1] / s, p[2] / s, p[3] / s);
        return r ? r : C::fail_null("__truediv__", __LINE__);
    }
    static PyObject* nb_negative(PyObject* a) { return scaled(a, T(-1), "__neg__"); }
    static PyObject* nb_positive(PyObject* a) { return scaled(a, T(1), "__pos__"); }

    static inline PyNumberMethods number = [] {
        PyNumberMethods n{};
        n.nb_add = nb_add;
        n.nb_subtract = nb_subtract;
        n.nb_multiply = nb_multiply;
        n.nb_true_divide = nb_true_divide;
        n.nb_negative = nb_negative;
        n.nb_positive = nb_positive;
        return n;
    }();

    // ------------------------------------------------------------ methods

    static T norm2(const T* p) { return p[0] * p[0] + p[1] * p[1] + p[2] * p[2] + p[3] * p[3]; }

    static PyObject* py_magnitude(PyObject* self, PyObject*) {
        return box(static_cast<T>(std::sqrt(norm2(C::data(self)))));
    }
    static PyObject* py_dot(PyObject* self, PyObject* other) {
        if (!require_arg(other, &C::type, "other")) return C::fail_null("dot", __LINE__);
        const T *p = C::data(self), *q = C::data(other);
        return box(static_cast<T>(p[0] * q[0] + p[1] * q[1] + p[2] * q[2] + p[3] * q[3]));
    }
    static PyObject* py_normalized(PyObject* self, PyObject*) {
        T m = std::sqrt(norm2(C::data(self)));
        if (m == 0) {
            float_division();
            return C::fail_null("normalized", __LINE__);
        }
        const T* p = C::data(self);
        PyObject* r = make4(p[0] / m, p[1] / m, p[2] / m, p[3] / m);
        return r ? r : C::fail_null("normalized", __LINE__);
    }
    static PyObject* py_conjugate(PyObject* self, PyObject*) {
        const T* p = C::data(self);
        PyObject* r = make4(-p[0], -p[1], -p[2], p[3]);
        return r ? r : C::fail_null("conjugate", __LINE__);
    }
    static PyObject* py_inverse(PyObject* self, PyObject*) {
        const T* p = C::data(self);
        T n = norm2(p);
        if (n == 0) {
            float_division();
            return C::fail_null("inverse", __LINE__);
        }
        PyObject* r = make4(-p[0] / n, -p[1] / n, -p[2] / n, p[3] / n);
        return r ? r : C::fail_null("inverse", __LINE__);
    }
    // The vector rotated by the (normalised) quaternion: R v with R the
    // matrix Matrix4.create_from_quaternion gives.
    static PyObject* py_rotate(PyObject* self, PyObject* v) {
        if (!require_arg(v, Tr::vec_type(), "v")) return C::fail_null("rotate", __LINE__);
        const T* p = C::data(self);
        T m[16];
        if (!quat_to_matrix(p[0], p[1], p[2], p[3], m)) {
            float_division();
            return C::fail_null("rotate", __LINE__);
        }
        const T* d = Tr::vec_data(v);
        PyObject* r = Tr::make_vec(m[0] * d[0] + m[4] * d[1] + m[8] * d[2],
                                   m[1] * d[0] + m[5] * d[1] + m[9] * d[2],
                                   m[2] * d[0] + m[6] * d[1] + m[10] * d[2]);
        return r ? r : C::fail_null("rotate", __LINE__);
    }
    // from_axis_angle(axis, angle): the rotation by `angle` radians about
    // `axis` (any length but 0), counter-clockwise looking down the axis.
    static PyObject* py_from_axis_angle(PyObject*, PyObject* args, PyObject* kwds) {
        static PyObject* names[2] = {frame::intern("axis"), frame::intern("angle")};
        PyObject* v[2];
        if (!names[0] || !names[1]) return C::fail_null("from_axis_angle", __LINE__);
        if (frame::parse_args("from_axis_angle", args, kwds, names, 2, v) < 0)
            return C::fail_null("from_axis_angle", __LINE__);
        if (!require_arg(v[0], Tr::vec_type(), "axis"))
            return C::fail_null("from_axis_angle", __LINE__);
        double angle;
        if (!frame::to_double(v[1], &angle)) return C::fail_null("from_axis_angle", __LINE__);
        const T* a = Tr::vec_data(v[0]);
        T len = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
        if (len == 0) {
            float_division();
            return C::fail_null("from_axis_angle", __LINE__);
        }
        T s = static_cast<T>(std::sin(angle / 2)) / len;
        PyObject* r = make4(a[0] * s, a[1] * s, a[2] * s, static_cast<T>(std::cos(angle / 2)));
        return r ? r : C::fail_null("from_axis_angle", __LINE__);
    }

    static PyMethodDef* methods(const PyMethodDef* more) {
        static std::vector<PyMethodDef> table;
        std::string n = Tr::kName;
        std::string vec = Tr::kVecName;
        const char* scalar = sizeof(T) == sizeof(double) ? "double" : "float";
        table.push_back({"magnitude", py_magnitude, METH_NOARGS,
                         keep(n + ".magnitude(self) -> " + scalar)});
        table.push_back({"dot", py_dot, METH_O,
                         keep(n + ".dot(self, " + n + " other) -> " + scalar)});
        table.push_back({"normalized", py_normalized, METH_NOARGS,
                         keep(n + ".normalized(self) -> " + n +
                              "\n\nA unit-length copy; ZeroDivisionError for the zero quaternion.")});
        table.push_back({"conjugate", py_conjugate, METH_NOARGS,
                         keep(n + ".conjugate(self) -> " + n + "\n\n(-x, -y, -z, w).")});
        table.push_back({"inverse", py_inverse, METH_NOARGS,
                         keep(n + ".inverse(self) -> " + n +
                              "\n\nThe multiplicative inverse; ZeroDivisionError for zero.")});
        table.push_back({"rotate", py_rotate, METH_O,
                         keep(n + ".rotate(self, " + vec + " v) -> " + vec +
                              "\n\nv rotated by this quaternion (normalised first).")});
        table.push_back(
            {"from_axis_angle", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_from_axis_angle)),
             METH_VARARGS | METH_KEYWORDS | METH_STATIC,
             keep(n + ".from_axis_angle(" + vec + " axis, double angle) -> " + n +
                  "\n\nThe rotation by angle radians about axis (right-handed).")});
        for (; more && more->ml_name; ++more) table.push_back(*more);
        table.push_back({nullptr, nullptr, 0, nullptr});
        return table.data();
    }
};

}  // namespace linvec::detail
