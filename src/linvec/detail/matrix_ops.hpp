// The class machinery of a 4x4 matrix stored column-major in `T m[16]`
// (element (row r, column c) at m[c * 4 + r], the order GL takes). From
// Python the matrix reads like its numpy view, a 4x4 array indexed
// [column][row] as GLSL indexes a mat4: m[c] is column c (a tuple),
// m[c, r] one element, iteration yields the four columns, and
// numpy.asarray(m) shares the storage with shape (4, 4), so that
// numpy.asarray(m).T is the matrix in the usual row-by-column order.
//
// The Traits are NumericClass's (Layout<> gives Obj, T, data and init) and
//
//   static PyObject* matmul_other(PyObject* a, PyObject* b);  // a @ b for
//       // operands other than two matrices; NotImplemented when unsupported
#pragma once

#include "linvec/detail/arithmetic.hpp"

#include <cmath>
#include <string>
#include <vector>

namespace linvec::detail {

// r = a x b, column-major; r may not alias a or b.
template <class T>
inline void mat_mul(const T* a, const T* b, T* r) {
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row) {
            T s = 0;
            for (int k = 0; k < 4; ++k) s += a[k * 4 + row] * b[c * 4 + k];
            r[c * 4 + row] = s;
        }
}

template <class T>
inline void mat_identity(T* r) {
    for (int i = 0; i < 16; ++i) r[i] = (i % 5 == 0) ? T(1) : T(0);
}

// The adjugate (transposed cofactors) into inv; returns the determinant.
template <class T>
inline T mat_adjugate(const T* m, T* inv) {
    inv[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] +
             m[9] * m[7] * m[14] + m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
    inv[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] -
             m[8] * m[7] * m[14] - m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
    inv[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] +
             m[8] * m[7] * m[13] + m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
    inv[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] -
              m[8] * m[6] * m[13] - m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
    inv[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] -
             m[9] * m[3] * m[14] - m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
    inv[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] +
             m[8] * m[3] * m[14] + m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
    inv[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] -
             m[8] * m[3] * m[13] - m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
    inv[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] +
              m[8] * m[2] * m[13] + m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
    inv[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] +
             m[5] * m[3] * m[14] + m[13] * m[2] * m[7] - m[13] * m[3] * m[6];
    inv[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] -
             m[4] * m[3] * m[14] - m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
    inv[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] +
              m[4] * m[3] * m[13] + m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
    inv[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] -
              m[4] * m[2] * m[13] - m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
    inv[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] -
             m[5] * m[3] * m[10] - m[9] * m[2] * m[7] + m[9] * m[3] * m[6];
    inv[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] +
             m[4] * m[3] * m[10] + m[8] * m[2] * m[7] - m[8] * m[3] * m[6];
    inv[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] -
              m[4] * m[3] * m[9] - m[8] * m[1] * m[7] + m[8] * m[3] * m[5];
    inv[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] +
              m[4] * m[2] * m[9] + m[8] * m[1] * m[6] - m[8] * m[2] * m[5];
    return m[0] * inv[0] + m[1] * inv[4] + m[2] * inv[8] + m[3] * inv[12];
}

// The inverse; false when the determinant is 0.
template <class T>
inline bool mat_inverse(const T* m, T* out) {
    T inv[16];
    T det = mat_adjugate(m, inv);
    if (det == 0) return false;
    for (int i = 0; i < 16; ++i) out[i] = inv[i] / det;
    return true;
}

template <class T>
inline T mat_determinant(const T* m) {
    T inv[16];
    return mat_adjugate(m, inv);
}

// The class docstring: what every matrix class supports, then `tail` (what
// this one adds), which continues the sentence on the numpy view.
template <class T>
inline const char* matrix_doc(const char* name, const char* tail) {
    bool d = sizeof(T) == sizeof(double);
    return keep(std::string(name) + "(values=None)\n\nA 4x4 matrix of " + (d ? "64" : "32") +
                "-bit floats stored column-major, as GL takes it.\n"
                "values: 16 numbers in column-major order or 4 columns of 4 numbers;\n"
                "None gives the identity. m[c] is column c, m[c, r] the element in\n"
                "row r of column c; iteration yields the columns; numpy.asarray(m) is a\n"
                "(4, 4) " + (d ? "float64" : "float32") + " view indexed [column][row]" + tail);
}

template <class Tr>
struct MatrixClass : NumericClass<Tr, 16> {
    using Base = NumericClass<Tr, 16>;
    using E = Elementwise<MatrixClass>;
    using typename Base::Obj;
    using typename Base::T;
    using Base::check;
    using Base::data;
    using Base::fail_null;
    using Base::result;
    using Base::type;

    static inline PyObject* arg_names[1];

    // ------------------------------------------------------------ construction

    // A new exact instance holding v[0..16) (column-major); null v: identity.
    static PyObject* make(const T* v) {
        if (v) return Base::make(v);
        T id[16];
        mat_identity(id);
        return Base::make(id);
    }

    // Read 16 values (flat, column-major) or 4 columns of 4 into out.
    static bool read_values(PyObject* values, T* out) {
        std::string what = std::string(Tr::kName) +
                           "() needs 16 numbers or 4 columns of 4 numbers, column-major";
        frame::Ref seq = frame::Ref::steal(PySequence_Fast(values, what.c_str()));
        if (!seq) return false;
        Py_ssize_t n = PySequence_Fast_GET_SIZE(seq.get());
        PyObject** items = PySequence_Fast_ITEMS(seq.get());
        if (n == 16) {
            for (int i = 0; i < 16; ++i)
                if (!convert(items[i], &out[i])) return false;
            return true;
        }
        if (n == 4) {
            for (int c = 0; c < 4; ++c) {
                frame::Ref col = frame::Ref::steal(PySequence_Fast(items[c], what.c_str()));
                if (!col) return false;
                if (PySequence_Fast_GET_SIZE(col.get()) != 4) {
                    PyErr_Format(PyExc_ValueError, "%s: column %d has %zd values", what.c_str(), c,
                                 PySequence_Fast_GET_SIZE(col.get()));
                    return false;
                }
                for (int r = 0; r < 4; ++r)
                    if (!convert(PySequence_Fast_ITEMS(col.get())[r], &out[c * 4 + r])) return false;
            }
            return true;
        }
        PyErr_Format(PyExc_ValueError, "%s, got %zd items", what.c_str(), n);
        return false;
    }

    // Cls(values=None): the identity, or 16 values / 4 columns.
    static PyObject* tp_new(PyTypeObject* t, PyObject* args, PyObject* kwds) {
        PyObject* given[1];
        if (parse_optional("__cinit__", args, kwds, arg_names, 1, given) < 0)
            return fail_null("__cinit__", __LINE__);
        T v[16];
        if (given[0] && given[0] != Py_None) {
            if (!read_values(given[0], v)) return fail_null("__cinit__", __LINE__);
        } else {
            mat_identity(v);
        }
        PyObject* o = Base::make_in(t, v);
        return o ? o : fail_null("__cinit__", __LINE__);
    }

    // ------------------------------------------------------------ repr

    static PyObject* tp_repr(PyObject* o) {
        std::string s = type_name(o) + "([";
        const T* d = data(o);
        for (int c = 0; c < 4; ++c) {
            s += c ? "], [" : "[";
            for (int r = 0; r < 4; ++r) {
                if (r) s += ", ";
                append_repr(s, d[c * 4 + r]);
            }
        }
        s += "]])";
        return PyUnicode_FromString(s.c_str());
    }

    // ------------------------------------------------------------ indexing: [column] and [column, row]

    static bool index(PyObject* key, Py_ssize_t* out) {
        Py_ssize_t i = PyNumber_AsSsize_t(key, PyExc_IndexError);
        if (i == -1 && PyErr_Occurred()) return false;
        if (i < 0) i += 4;
        if (i < 0 || i >= 4) {
            PyErr_Format(PyExc_IndexError, "%s index out of range", Tr::kName);
            return false;
        }
        *out = i;
        return true;
    }

    // Decode a key: column only (row = -1) or (column, row).
    static bool decode(PyObject* key, Py_ssize_t* col, Py_ssize_t* row) {
        if (PyTuple_Check(key)) {
            if (PyTuple_GET_SIZE(key) != 2) {
                PyErr_Format(PyExc_IndexError, "%s takes [column] or [column, row]", Tr::kName);
                return false;
            }
            return index(PyTuple_GET_ITEM(key, 0), col) && index(PyTuple_GET_ITEM(key, 1), row);
        }
        if (!PyIndex_Check(key)) {
            PyErr_Format(PyExc_TypeError, "%s indices must be integers or (column, row) pairs, not %.200s",
                         Tr::kName, Py_TYPE(key)->tp_name);
            return false;
        }
        *row = -1;
        return index(key, col);
    }

    static PyObject* column(PyObject* o, Py_ssize_t c) {
        frame::Ref t = frame::Ref::steal(PyTuple_New(4));
        if (!t) return nullptr;
        for (int r = 0; r < 4; ++r) {
            PyObject* v = box(data(o)[c * 4 + r]);
            if (!v) return nullptr;
            PyTuple_SET_ITEM(t.get(), r, v);
        }
        return t.release();
    }

    static Py_ssize_t mp_length(PyObject*) { return 4; }

    static PyObject* mp_subscript(PyObject* o, PyObject* key) {
        Py_ssize_t c, r;
        if (!decode(key, &c, &r)) return nullptr;
        return r < 0 ? column(o, c) : box(data(o)[c * 4 + r]);
    }

    static int mp_ass_subscript(PyObject* o, PyObject* key, PyObject* v) {
        if (!v) {
            PyErr_Format(PyExc_TypeError, "'%s' object doesn't support item deletion", Tr::kName);
            return -1;
        }
        Py_ssize_t c, r;
        if (!decode(key, &c, &r)) return -1;
        if (r >= 0) {
            T value;
            if (!convert(v, &value)) return -1;
            data(o)[c * 4 + r] = value;
            return 0;
        }
        frame::Ref seq = frame::Ref::steal(PySequence_Fast(v, "a column is 4 numbers"));
        if (!seq) return -1;
        if (PySequence_Fast_GET_SIZE(seq.get()) != 4) {
            PyErr_Format(PyExc_ValueError, "a column is 4 numbers, got %zd",
                         PySequence_Fast_GET_SIZE(seq.get()));
            return -1;
        }
        T col[4];
        for (int i = 0; i < 4; ++i)
            if (!convert(PySequence_Fast_ITEMS(seq.get())[i], &col[i])) return -1;
        for (int i = 0; i < 4; ++i) data(o)[c * 4 + i] = col[i];
        return 0;
    }

    static inline PyMappingMethods mapping = {mp_length, mp_subscript, mp_ass_subscript};

    // Iteration yields the four columns, as a snapshot.
    static PyObject* tp_iter(PyObject* o) {
        frame::Ref cols = frame::Ref::steal(PyTuple_New(4));
        if (!cols) return nullptr;
        for (int c = 0; c < 4; ++c) {
            PyObject* col = column(o, c);
            if (!col) return nullptr;
            PyTuple_SET_ITEM(cols.get(), c, col);
        }
        return PyObject_GetIter(cols.get());
    }

    // ------------------------------------------------------------ buffer: 4 x 4, [column][row]

    static int getbuffer(PyObject* o, Py_buffer* view, int flags) {
        static Py_ssize_t shape[2] = {4, 4};
        static Py_ssize_t strides[2] = {4 * static_cast<Py_ssize_t>(sizeof(T)),
                                        static_cast<Py_ssize_t>(sizeof(T))};
        return Base::view(o, view, flags, 2, shape, strides);
    }
    static inline PyBufferProcs buffer = {getbuffer, nullptr};

    // ------------------------------------------------------------ C-level bodies

    static PyObject* multiply(Obj* a, Obj* b) {
        T r[16];
        mat_mul(Tr::data(a), Tr::data(b), r);
        return make(r);
    }

    // ------------------------------------------------------------ operators

    // m * s and s * m: every element scaled. (The matrix product is @.)
    static PyObject* nb_multiply(PyObject* a, PyObject* b) { return E::multiply(a, b, nullptr); }
    static PyObject* nb_matrix_multiply(PyObject* a, PyObject* b) {
        if (check(a) && check(b))
            return result(multiply(reinterpret_cast<Obj*>(a), reinterpret_cast<Obj*>(b)), "__matmul__");
        return Tr::matmul_other(a, b);
    }

    static inline PyNumberMethods number = [] {
        PyNumberMethods n = E::number_base();
        n.nb_multiply = nb_multiply;
        n.nb_matrix_multiply = nb_matrix_multiply;
        return n;
    }();

    // ------------------------------------------------------------ methods

    static PyObject* py_identity(PyObject*, PyObject*) { return result(make(nullptr), "identity"); }
    static PyObject* py_multiply(PyObject* self, PyObject* other) {
        if (!require_arg(other, &type, "other")) return fail_null("multiply", __LINE__);
        return result(multiply(reinterpret_cast<Obj*>(self), reinterpret_cast<Obj*>(other)), "multiply");
    }
    static PyObject* py_transposed(PyObject* self, PyObject*) {
        T r[16];
        for (int c = 0; c < 4; ++c)
            for (int row = 0; row < 4; ++row) r[row * 4 + c] = data(self)[c * 4 + row];
        return result(make(r), "transposed");
    }
    static PyObject* py_inverse(PyObject* self, PyObject*) {
        T r[16];
        if (!mat_inverse(data(self), r)) {
            float_division();
            return fail_null("inverse", __LINE__);
        }
        return result(make(r), "inverse");
    }
    static PyObject* py_determinant(PyObject* self, PyObject*) {
        return box(mat_determinant(data(self)));
    }

    static PyMethodDef* methods(const PyMethodDef* more) {
        static std::vector<PyMethodDef> table;
        if (!table.empty()) return table.data();
        std::string n = Tr::kName;
        const std::string self = "(self) -> " + n;
        table.push_back(method_row(n, "identity", py_identity, METH_NOARGS | METH_STATIC, "() -> " + n,
                                   "A new identity matrix."));
        table.push_back(method_row(n, "multiply", py_multiply, METH_O, "(self, " + n + " other) -> " + n,
                                   "The product self x other (also self @ other)."));
        table.push_back(method_row(n, "transposed", py_transposed, METH_NOARGS, self,
                                   "A transposed copy."));
        table.push_back(method_row(n, "inverse", py_inverse, METH_NOARGS, self,
                                   "The inverse; ZeroDivisionError for a singular matrix."));
        table.push_back(method_row(n, "determinant", py_determinant, METH_NOARGS,
                                   std::string("(self) -> ") + scalar_name<T>()));
        return Base::methods_with(table, "matrix", more);
    }

    // ------------------------------------------------------------ pickling: the 16 values

    static PyObject* state_get(PyObject* o) {
        frame::Ref t = frame::Ref::steal(PyTuple_New(16));
        if (!t) return nullptr;
        for (int i = 0; i < 16; ++i) {
            PyObject* v = box(data(o)[i]);
            if (!v) return nullptr;
            PyTuple_SET_ITEM(t.get(), i, v);
        }
        return t.release();
    }
    static int state_set(PyObject* o, PyObject* v) {
        T vals[16];
        if (!read_values(v, vals)) return -1;
        for (int i = 0; i < 16; ++i) data(o)[i] = vals[i];
        return 0;
    }
    static inline const frame::StateField state_fields[1] = {{"m", state_get, state_set}};

    // ------------------------------------------------------------ registration

    static int register_class(PyObject* module, const Extras& extras) {
        arg_names[0] = frame::intern("values");
        if (!arg_names[0]) return -1;
        frame::ClassSpec class_spec = Base::describe(extras);
        class_spec.tp_new = tp_new;
        class_spec.as_mapping = &mapping;
        class_spec.as_buffer = &buffer;
        class_spec.tp_repr = tp_repr;
        class_spec.tp_iter = tp_iter;
        pickle_state(class_spec, "m", state_fields, 1);
        return Base::register_spec(module, class_spec);
    }
};

}  // namespace linvec::detail
