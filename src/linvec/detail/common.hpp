// Pieces shared by the linvec modules' implementations (not a module
// contract): optional-argument parsing, per-element-type conversions, the
// shortest round-trip repr of a number, and the pickle checksum.
#pragma once

#include "frame/frame.hpp"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>

namespace linvec::detail {

// ---------------------------------------------------------------- arguments

// Positional-or-keyword arguments that may all be left out: out[i] stays
// nullptr for an argument not given. Messages are the frame's.
inline int parse_optional(const char* fname, PyObject* args, PyObject* kwds,
                          PyObject* const* names, Py_ssize_t n, PyObject** out) {
    Py_ssize_t npos = PyTuple_GET_SIZE(args);
    if (npos > n) {
        PyErr_Format(PyExc_TypeError, "%.200s() takes %.8s %zd positional argument%.1s (%zd given)",
                     fname, "at most", n, n == 1 ? "" : "s", npos);
        return -1;
    }
    for (Py_ssize_t i = 0; i < n; ++i) out[i] = i < npos ? PyTuple_GET_ITEM(args, i) : nullptr;
    if (!kwds || PyDict_GET_SIZE(kwds) == 0) return 0;
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    while (PyDict_Next(kwds, &pos, &key, &value)) {
        if (!PyUnicode_Check(key)) {
            PyErr_Format(PyExc_TypeError, "%.200s() keywords must be strings", fname);
            return -1;
        }
        Py_ssize_t j = 0;
        while (j < n && PyUnicode_Compare(key, names[j]) != 0) ++j;
        if (j == n) {
            PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", fname, key);
            return -1;
        }
        if (j < npos) {
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for keyword argument '%U'",
                         fname, key);
            return -1;
        }
        out[j] = value;
    }
    return 0;
}

// Intern a list of names into `out`.
inline int intern_all(const char* const* names, int n, PyObject** out) {
    for (int i = 0; i < n; ++i) {
        out[i] = frame::intern(names[i]);
        if (!out[i]) return -1;
    }
    return 0;
}

// ---------------------------------------------------------------- element types

inline bool convert(PyObject* o, double* out) { return frame::to_double(o, out); }
inline bool convert(PyObject* o, float* out) { return frame::to_float(o, out); }
inline bool convert(PyObject* o, int32_t* out) { return frame::to_int32(o, out); }

inline PyObject* box(double v) { return PyFloat_FromDouble(v); }
inline PyObject* box(float v) { return PyFloat_FromDouble(v); }
inline PyObject* box(int32_t v) { return PyLong_FromLong(v); }

template <class T> constexpr const char* buffer_format();
template <> constexpr const char* buffer_format<double>() { return "d"; }
template <> constexpr const char* buffer_format<float>() { return "f"; }
template <> constexpr const char* buffer_format<int32_t>() { return "i"; }

// A scalar operand of an arithmetic operator: false without an error when
// `o` is not a number, so that the operator can return NotImplemented.
template <class T>
inline bool scalar_operand(PyObject* o, T* out) {
    if (!PyFloat_Check(o) && !PyLong_Check(o)) {
        PyNumberMethods* nb = Py_TYPE(o)->tp_as_number;
        if (!nb || (!nb->nb_float && !nb->nb_index)) return false;
    }
    double d;
    if (!frame::to_double(o, &d)) {
        if (PyErr_ExceptionMatches(PyExc_TypeError)) PyErr_Clear();
        return false;
    }
    *out = static_cast<T>(d);
    return true;
}

inline PyObject* not_implemented() { Py_RETURN_NOTIMPLEMENTED; }

// Division by zero in the package's arithmetic.
inline PyObject* float_division() {
    PyErr_SetString(PyExc_ZeroDivisionError, "float division");
    return nullptr;
}

// ---------------------------------------------------------------- repr

// The shortest text that reads back as the same value: Python's float repr
// for doubles, the shortest round trip through single precision for floats.
inline void append_repr(std::string& s, double v) {
    char* t = PyOS_double_to_string(v, 'r', 0, Py_DTSF_ADD_DOT_0, nullptr);
    if (t) {
        s += t;
        PyMem_Free(t);
    }
}

inline void append_repr(std::string& s, float v) {
    double shortest = v;
    if (std::isfinite(v)) {
        for (int p = 1; p <= 9; ++p) {
            char t[32];
            std::snprintf(t, sizeof t, "%.*g", p, static_cast<double>(v));
            double d = std::strtod(t, nullptr);
            if (static_cast<float>(d) == v) {
                shortest = d;
                break;
            }
        }
    }
    append_repr(s, shortest);
}

inline void append_repr(std::string& s, int32_t v) { s += std::to_string(v); }

// The class name a repr starts with: the short name, also for subclasses.
inline std::string type_name(PyObject* self) {
    const char* n = Py_TYPE(self)->tp_name;
    const char* dot = std::strrchr(n, '.');
    return dot ? dot + 1 : n;
}

// ---------------------------------------------------------------- pickling

// The fixed checksum of a pickled state: CRC-32 of its field list text.
constexpr uint32_t crc32(const char* s) {
    uint32_t c = 0xffffffffu;
    for (; *s; ++s) {
        c ^= static_cast<unsigned char>(*s);
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xedb88320u & (0u - (c & 1u)));
    }
    return ~c;
}

// "0x1234abcd = (x, y, z)" for the checksum-mismatch message.
inline std::string checksum_text(uint32_t sum, const std::string& fields) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%x", sum);
    return std::string(hex) + " = (" + fields + ")";
}

}  // namespace linvec::detail
