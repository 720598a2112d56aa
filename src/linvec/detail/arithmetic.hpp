// Element-wise arithmetic over a numeric class C (NumericClass<...> or a
// class built on it), shared by vectors, quaternions and matrices: + and -
// with the same class, * and / by a number, unary - and +, and for vectors
// and quaternions the dot product, magnitude and normalized. Results are
// new exact instances; arithmetic runs in the element type T. The C-level
// bodies set no traceback entry; the operators and methods add theirs.
#pragma once

#include "linvec/detail/numeric_class.hpp"

#include <cmath>
#include <string>
#include <vector>

namespace linvec::detail {

// The dot product sums the products left to right, starting from 0 for
// vectors and matrices (a sum of -0 products is then +0) and from the first
// product for quaternions (`kFromZero` false).
template <class C, bool kFromZero = true>
struct Elementwise {
    using T = typename C::T;
    using Obj = typename C::Obj;
    static constexpr int N = C::N;

    // ------------------------------------------------------------ C-level bodies

    static PyObject* sum(const T* a, const T* b) {
        T r[N];
        for (int i = 0; i < N; ++i) r[i] = a[i] + b[i];
        return C::make(r);
    }
    static PyObject* difference(const T* a, const T* b) {
        T r[N];
        for (int i = 0; i < N; ++i) r[i] = a[i] - b[i];
        return C::make(r);
    }
    static PyObject* scaled(const T* a, T s) {
        T r[N];
        for (int i = 0; i < N; ++i) r[i] = a[i] * s;
        return C::make(r);
    }
    static PyObject* componentwise(const T* a, const T* b) {
        T r[N];
        for (int i = 0; i < N; ++i) r[i] = a[i] * b[i];
        return C::make(r);
    }
    static T dot(const T* a, const T* b) {
        T s = kFromZero ? T(0) + a[0] * b[0] : a[0] * b[0];
        for (int i = 1; i < N; ++i) s += a[i] * b[i];
        return s;
    }
    static T magnitude(const T* a) { return std::sqrt(dot(a, a)); }
    // Unit-length copy; ZeroDivisionError "float division" for zero.
    static PyObject* normalized(const T* a) {
        T m = magnitude(a);
        if (m == 0) return float_division();
        T r[N];
        for (int i = 0; i < N; ++i) r[i] = a[i] / m;
        return C::make(r);
    }

    // ------------------------------------------------------------ operators

    static PyObject* nb_add(PyObject* a, PyObject* b) {
        if (!C::check(a) || !C::check(b)) return not_implemented();
        return C::result(sum(C::data(a), C::data(b)), "__add__");
    }
    static PyObject* nb_subtract(PyObject* a, PyObject* b) {
        if (!C::check(a) || !C::check(b)) return not_implemented();
        return C::result(difference(C::data(a), C::data(b)), "__sub__");
    }
    static PyObject* nb_negative(PyObject* a) {
        return C::result(scaled(C::data(a), T(-1)), "__neg__");
    }
    static PyObject* nb_positive(PyObject* a) { return C::result(C::make(C::data(a)), "__pos__"); }

    // a * b: `product` of two instances (NotImplemented when there is
    // none), else every element scaled by the number on either side.
    static PyObject* multiply(PyObject* a, PyObject* b, PyObject* (*product)(const T*, const T*)) {
        T s;
        if (C::check(a) && C::check(b)) {
            if (!product) return not_implemented();
            return C::result(product(C::data(a), C::data(b)), "__mul__");
        }
        if (C::check(a) && scalar_operand(b, &s)) return C::result(scaled(C::data(a), s), "__mul__");
        if (C::check(b) && scalar_operand(a, &s)) return C::result(scaled(C::data(b), s), "__mul__");
        return PyErr_Occurred() ? C::fail_null("__mul__", __LINE__) : not_implemented();
    }

    // a / b by a number or, `by_instance`, componentwise by another
    // instance; ZeroDivisionError "float division" for any zero divisor.
    static PyObject* divide(PyObject* a, PyObject* b, bool by_instance) {
        T v[N];
        T s;
        if (!C::check(a) || (C::check(b) && !by_instance)) return not_implemented();
        const T* p = C::data(a);
        if (C::check(b)) {
            const T* q = C::data(b);
            for (int i = 0; i < N; ++i) {
                if (q[i] == 0) {
                    float_division();
                    return C::fail_null("__truediv__", __LINE__);
                }
                v[i] = p[i] / q[i];
            }
        } else if (scalar_operand(b, &s)) {
            if (s == 0) {
                float_division();
                return C::fail_null("__truediv__", __LINE__);
            }
            for (int i = 0; i < N; ++i) v[i] = p[i] / s;
        } else {
            return PyErr_Occurred() ? C::fail_null("__truediv__", __LINE__) : not_implemented();
        }
        return C::result(C::make(v), "__truediv__");
    }

    // + - and unary - +; the module adds * / @.
    static PyNumberMethods number_base() {
        PyNumberMethods n{};
        n.nb_add = nb_add;
        n.nb_subtract = nb_subtract;
        n.nb_negative = nb_negative;
        n.nb_positive = nb_positive;
        return n;
    }

    // ------------------------------------------------------------ methods: magnitude, dot, normalized

    static PyObject* py_magnitude(PyObject* self, PyObject*) { return box(magnitude(C::data(self))); }
    static PyObject* py_dot(PyObject* self, PyObject* other) {
        if (!require_arg(other, &C::type, "other")) return C::fail_null("dot", __LINE__);
        return box(dot(C::data(self), C::data(other)));
    }
    static PyObject* py_normalized(PyObject* self, PyObject*) {
        return C::result(normalized(C::data(self)), "normalized");
    }

    // Their entries; each docstring is the signature followed by its `*_doc`
    // text (none when empty).
    static void metric_methods(std::vector<PyMethodDef>& table, const char* magnitude_doc,
                               const char* dot_doc, const char* normalized_doc) {
        std::string n = C::Traits::kName;
        std::string scalar = scalar_name<T>();
        table.push_back(method_row(n, "magnitude", py_magnitude, METH_NOARGS, "(self) -> " + scalar,
                                   magnitude_doc));
        table.push_back(method_row(n, "dot", py_dot, METH_O, "(self, " + n + " other) -> " + scalar,
                                   dot_doc));
        table.push_back(method_row(n, "normalized", py_normalized, METH_NOARGS, "(self) -> " + n,
                                   normalized_doc));
    }
};

}  // namespace linvec::detail
