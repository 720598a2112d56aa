// Vector arithmetic over Components<Traits>: + - with vectors, * and / with
// scalars or componentwise, unary -, @ (dot product), and the methods
// magnitude, dot, normalized (and cross for 3-vectors, to_float where the
// Traits name a single-precision twin). Results are new exact instances;
// arithmetic runs in the element type T.
#pragma once

#include "linvec/detail/arithmetic.hpp"
#include "linvec/detail/components.hpp"

#include <string>
#include <vector>

namespace linvec::detail {

template <class Tr>
struct VectorOps {
    using C = Components<Tr>;
    using E = Elementwise<C>;
    using T = typename Tr::T;
    using Obj = typename Tr::Obj;
    static constexpr int N = Tr::N;

    // ------------------------------------------------------------ C-level bodies

    static PyObject* add(Obj* a, Obj* b) { return E::sum(Tr::data(a), Tr::data(b)); }
    static PyObject* sub(Obj* a, Obj* b) { return E::difference(Tr::data(a), Tr::data(b)); }
    static PyObject* mul(Obj* a, T s) { return E::scaled(Tr::data(a), s); }
    static T dot(Obj* a, Obj* b) { return E::dot(Tr::data(a), Tr::data(b)); }
    static T magnitude(Obj* a) { return E::magnitude(Tr::data(a)); }
    // Unit-length copy; ZeroDivisionError "float division" for a zero vector.
    static PyObject* normalized(Obj* a) { return E::normalized(Tr::data(a)); }

    // ------------------------------------------------------------ operators

    static PyObject* nb_multiply(PyObject* a, PyObject* b) { return E::multiply(a, b, E::componentwise); }
    static PyObject* nb_true_divide(PyObject* a, PyObject* b) { return E::divide(a, b, true); }
    // v @ w: the dot product.
    static PyObject* nb_matrix_multiply(PyObject* a, PyObject* b) {
        if (!C::check(a) || !C::check(b)) return not_implemented();
        return box(E::dot(C::data(a), C::data(b)));
    }

    static inline PyNumberMethods number = [] {
        PyNumberMethods n = E::number_base();
        n.nb_multiply = nb_multiply;
        n.nb_true_divide = nb_true_divide;
        n.nb_matrix_multiply = nb_matrix_multiply;
        return n;
    }();

    // ------------------------------------------------------------ methods

    static PyObject* py_cross(PyObject* self, PyObject* other) {
        if (!require_arg(other, &C::type, "other")) return C::fail_null("cross", __LINE__);
        const T* a = C::data(self);
        const T* b = C::data(other);
        T r[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
        return C::result(C::make(r), "cross");
    }

    // The method table: the common methods, then the module's own `more`
    // (null-terminated, may be null).
    static PyMethodDef* methods(const PyMethodDef* more) {
        static std::vector<PyMethodDef> table;
        if (!table.empty()) return table.data();
        std::string n = Tr::kName;
        E::metric_methods(table, "The Euclidean length.", "The dot product (also self @ other).",
                          "A unit-length copy; ZeroDivisionError for a zero vector.");
        if constexpr (N == 3)
            table.push_back(method_row(n, "cross", py_cross, METH_O, "(self, " + n + " other) -> " + n,
                                       "The cross product self x other."));
        return C::methods_with(table, "vector", more);
    }
};

}  // namespace linvec::detail
