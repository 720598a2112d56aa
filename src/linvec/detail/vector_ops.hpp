// Vector arithmetic over Components<Traits>: + - with vectors, * and / with
// scalars or componentwise, unary -, @ (dot product), and the methods
// magnitude, dot, normalized (and cross for 3-vectors). Results are new
// exact instances; arithmetic runs in the element type T.
#pragma once

#include "linvec/detail/components.hpp"

#include <cmath>
#include <string>
#include <vector>

namespace linvec::detail {

template <class Tr>
struct VectorOps {
    using C = Components<Tr>;
    using T = typename Tr::T;
    using Obj = typename Tr::Obj;
    static constexpr int N = Tr::N;

    // ------------------------------------------------------------ C-level bodies

    static PyObject* add(Obj* a, Obj* b) {
        T r[N];
        for (int i = 0; i < N; ++i) r[i] = Tr::data(a)[i] + Tr::data(b)[i];
        return C::make(r);
    }
    static PyObject* sub(Obj* a, Obj* b) {
        T r[N];
        for (int i = 0; i < N; ++i) r[i] = Tr::data(a)[i] - Tr::data(b)[i];
        return C::make(r);
    }
    static PyObject* mul(Obj* a, T s) {
        T r[N];
        for (int i = 0; i < N; ++i) r[i] = Tr::data(a)[i] * s;
        return C::make(r);
    }
    static T dot(Obj* a, Obj* b) {
        T s = 0;
        for (int i = 0; i < N; ++i) s += Tr::data(a)[i] * Tr::data(b)[i];
        return s;
    }
    static T magnitude(Obj* a) { return std::sqrt(dot(a, a)); }
    // Unit-length copy; ZeroDivisionError "float division" for a zero vector.
    static PyObject* normalized(Obj* a) {
        T m = magnitude(a);
        if (m == 0) return float_division();
        T r[N];
        for (int i = 0; i < N; ++i) r[i] = Tr::data(a)[i] / m;
        return C::make(r);
    }

    static Obj* as_obj(PyObject* o) { return reinterpret_cast<Obj*>(o); }

    // ------------------------------------------------------------ operators

    static PyObject* nb_add(PyObject* a, PyObject* b) {
        if (!C::check(a) || !C::check(b)) return not_implemented();
        PyObject* r = add(as_obj(a), as_obj(b));
        return r ? r : C::fail_null("__add__", __LINE__);
    }
    static PyObject* nb_subtract(PyObject* a, PyObject* b) {
        if (!C::check(a) || !C::check(b)) return not_implemented();
        PyObject* r = sub(as_obj(a), as_obj(b));
        return r ? r : C::fail_null("__sub__", __LINE__);
    }
    static PyObject* nb_multiply(PyObject* a, PyObject* b) {
        PyObject* r;
        T s;
        if (C::check(a) && C::check(b)) {
            T v[N];
            for (int i = 0; i < N; ++i) v[i] = C::data(a)[i] * C::data(b)[i];
            r = C::make(v);
        } else if (C::check(a) && scalar_operand(b, &s)) {
            r = mul(as_obj(a), s);
        } else if (C::check(b) && scalar_operand(a, &s)) {
            r = mul(as_obj(b), s);
        } else {
            return PyErr_Occurred() ? C::fail_null("__mul__", __LINE__) : not_implemented();
        }
        return r ? r : C::fail_null("__mul__", __LINE__);
    }
    static PyObject* nb_true_divide(PyObject* a, PyObject* b) {
        T v[N];
        T s;
        if (!C::check(a)) return not_implemented();
        if (C::check(b)) {
            for (int i = 0; i < N; ++i) {
                if (C::data(b)[i] == 0) {
                    float_division();
                    return C::fail_null("__truediv__", __LINE__);
                }
                v[i] = C::data(a)[i] / C::data(b)[i];
            }
        } else if (scalar_operand(b, &s)) {
            if (s == 0) {
                float_division();
                return C::fail_null("__truediv__", __LINE__);
            }
            for (int i = 0; i < N; ++i) v[i] = C::data(a)[i] / s;
        } else {
            return PyErr_Occurred() ? C::fail_null("__truediv__", __LINE__) : not_implemented();
        }
        PyObject* r = C::make(v);
        return r ? r : C::fail_null("__truediv__", __LINE__);
    }
    static PyObject* nb_negative(PyObject* a) {
        PyObject* r = mul(as_obj(a), T(-1));
        return r ? r : C::fail_null("__neg__", __LINE__);
    }
    static PyObject* nb_positive(PyObject* a) {
        PyObject* r = C::make(C::data(a));
        return r ? r : C::fail_null("__pos__", __LINE__);
    }
    // v @ w: the dot product.
    static PyObject* nb_matrix_multiply(PyObject* a, PyObject* b) {
        if (!C::check(a) || !C::check(b)) return not_implemented();
        return box(dot(as_obj(a), as_obj(b)));
    }

    static inline PyNumberMethods number = [] {
        PyNumberMethods n{};
        n.nb_add = nb_add;
        n.nb_subtract = nb_subtract;
        n.nb_multiply = nb_multiply;
        n.nb_true_divide = nb_true_divide;
        n.nb_negative = nb_negative;
        n.nb_positive = nb_positive;
        n.nb_matrix_multiply = nb_matrix_multiply;
        return n;
    }();

    // ------------------------------------------------------------ methods

    static PyObject* py_magnitude(PyObject* self, PyObject*) { return box(magnitude(as_obj(self))); }
    static PyObject* py_dot(PyObject* self, PyObject* other) {
        if (!require_arg(other, &C::type, "other")) return C::fail_null("dot", __LINE__);
        return box(dot(as_obj(self), as_obj(other)));
    }
    static PyObject* py_normalized(PyObject* self, PyObject*) {
        PyObject* r = normalized(as_obj(self));
        return r ? r : C::fail_null("normalized", __LINE__);
    }
    static PyObject* py_cross(PyObject* self, PyObject* other) {
        if (!require_arg(other, &C::type, "other")) return C::fail_null("cross", __LINE__);
        const T* a = C::data(self);
        const T* b = C::data(other);
        T r[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
        PyObject* o = C::make(r);
        return o ? o : C::fail_null("cross", __LINE__);
    }

    // The method table: the common methods, then the module's own `more`
    // (null-terminated, may be null).
    static PyMethodDef* methods(const PyMethodDef* more) {
        static std::vector<PyMethodDef> table;
        std::string n = Tr::kName;
        const char* scalar = sizeof(T) == sizeof(double) ? "double" : "float";
        table.push_back({"magnitude", py_magnitude, METH_NOARGS,
                         keep(n + ".magnitude(self) -> " + scalar +
                              "\n\nThe Euclidean length.")});
        table.push_back({"dot", py_dot, METH_O,
                         keep(n + ".dot(self, " + n + " other) -> " + scalar +
                              "\n\nThe dot product (also self @ other).")});
        table.push_back({"normalized", py_normalized, METH_NOARGS,
                         keep(n + ".normalized(self) -> " + n +
                              "\n\nA unit-length copy; ZeroDivisionError for a zero vector.")});
        if constexpr (N == 3)
            table.push_back({"cross", py_cross, METH_O,
                             keep(n + ".cross(self, " + n + " other) -> " + n +
                                  "\n\nThe cross product self x other.")});
        for (; more && more->ml_name; ++more) table.push_back(*more);
        table.push_back({nullptr, nullptr, 0, nullptr});
        return table.data();
    }
};

}  // namespace linvec::detail
