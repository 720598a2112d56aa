// Pieces shared by the linvec modules' implementations (not a module
// contract): traceback names, optional-argument parsing, per-element-type
// conversions, the shortest round-trip repr of a number, buffers, method
// tables, the pickle checksum and the module init.
#pragma once

#include "frame/frame.hpp"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace linvec::detail {

// Strings that live for the process (docstrings, dotted names).
inline const char* keep(std::string s) {
    static std::deque<std::string> kept;
    kept.push_back(std::move(s));
    return kept.back().c_str();
}

// ---------------------------------------------------------------- traceback names

// The traceback entries of one class: "<kModule>.<kName>.<member>" in the
// module's kFile. Names are built on the failure path only, once each.
template <class Tr>
struct Traceback {
    static const char* qual(const char* member) {
        static std::unordered_map<std::string, std::string> names;
        auto it = names.find(member);
        if (it == names.end()) {
            std::string full = std::string(Tr::kModule) + "." + Tr::kName + "." + member;
            it = names.emplace(member, std::move(full)).first;
        }
        return it->second.c_str();
    }
    static int fail(const char* member, int line) {
        frame::add_traceback(frame::Where{qual(member), Tr::kFile}, line);
        return -1;
    }
    static PyObject* fail_null(const char* member, int line) {
        fail(member, line);
        return nullptr;
    }
    // A new object from a C-level body, or its failure with the member's entry.
    static PyObject* result(PyObject* r, const char* member) {
        return r ? r : fail_null(member, __LINE__);
    }
};

// ---------------------------------------------------------------- arguments

// Positional-or-keyword arguments that may all be left out: out[i] stays
// nullptr for an argument not given. Messages are the frame's.
inline int parse_optional(const char* fname, PyObject* args, PyObject* kwds,
                          PyObject* const* names, Py_ssize_t n, PyObject** out) {
    return frame::parse_args_range(fname, args, kwds, names, 0, n, out);
}

// A class-typed argument that must be a real instance: the frame's message,
// for None too.
inline bool require_arg(PyObject* o, PyTypeObject* type, const char* argname) {
    return frame::require_arg_type(o, type, argname);
}

// The value stored into a field declared with a class: an instance
// (subclasses too); None cannot be stored.
inline bool check_store(PyObject* v, PyTypeObject* t) { return frame::require_convert(v, t); }

// Deleting a property: NotImplementedError "__del__".
inline void no_delete() { PyErr_SetString(PyExc_NotImplementedError, "__del__"); }

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

// The element type as docstrings name it.
template <class T>
constexpr const char* scalar_name() { return sizeof(T) == sizeof(double) ? "double" : "float"; }

// fn(v[0], ..., v[K-1]) for a factory of K number arguments (a module's
// exported make), each value converted to the parameter's type (doubles
// to floats: rounded).
template <class T, class... A, size_t... I>
inline PyObject* call_expanded(PyObject* (*fn)(A...), const T* v, std::index_sequence<I...>) {
    return fn(static_cast<A>(v[I])...);
}
template <class T, class... A>
inline PyObject* call_with(PyObject* (*fn)(A...), const T* v) {
    return call_expanded(fn, v, std::index_sequence_for<A...>{});
}
// A factory that takes the numbers by pointer (the matrices' make).
template <class T>
inline PyObject* call_with(PyObject* (*fn)(const T*), const T* v) {
    return fn(v);
}

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

// ---------------------------------------------------------------- classes

// A writable buffer over `buf`: items of `itemsize` bytes in `format`, with
// the given shape and strides (static storage).
inline int fill_buffer(PyObject* o, Py_buffer* view, int flags, void* buf, Py_ssize_t len,
                       Py_ssize_t itemsize, const char* format, int ndim, Py_ssize_t* shape,
                       Py_ssize_t* strides) {
    view->buf = buf;
    view->obj = frame::Ref::new_ref(o).release();
    view->len = len;
    view->readonly = 0;
    view->itemsize = itemsize;
    view->format = (flags & PyBUF_FORMAT) ? const_cast<char*>(format) : nullptr;
    view->ndim = ndim;
    view->shape = (flags & PyBUF_ND) ? shape : nullptr;
    view->strides = (flags & PyBUF_STRIDES) == PyBUF_STRIDES ? strides : nullptr;
    view->suboffsets = nullptr;
    view->internal = nullptr;
    return 0;
}

// The class-description fields every linvec class sets: its type object, names (kModule,
// kName), layout size and docstring (kDoc) from the Traits, dealloc and ==.
template <class Tr, class Obj>
inline frame::ClassSpec class_spec(PyTypeObject* type, destructor dealloc, richcmpfunc compare) {
    frame::ClassSpec s{};
    s.type = type;
    s.dotted = keep(std::string(Tr::kModule) + "." + Tr::kName);
    s.short_name = Tr::kName;
    s.basicsize = sizeof(Obj);
    s.doc = Tr::kDoc;
    s.tp_dealloc = dealloc;
    s.tp_richcompare = compare;
    return s;
}

// A method-table row documented "<cls>.<name><signature>", then a blank
// line and `text` when there is one.
inline PyMethodDef method_row(const std::string& cls, const char* name, PyCFunction fn, int flags,
                              const std::string& signature, const char* text = "") {
    std::string doc = cls + "." + name + signature;
    if (*text) doc += std::string("\n\n") + text;
    return {name, fn, flags, keep(std::move(doc))};
}

// A method table kept for the process: `table`, then the module's own
// `more` (null-terminated, may be null), then the terminator. Builders fill
// `table` once (a module initialised again reuses it).
inline PyMethodDef* method_table(std::vector<PyMethodDef>& table, const PyMethodDef* more) {
    for (; more && more->ml_name; ++more) table.push_back(*more);
    table.push_back({nullptr, nullptr, 0, nullptr});
    return table.data();
}

// A METH_VARARGS | METH_KEYWORDS function as a method-table entry.
template <class F>
inline PyCFunction keywords_fn(F* f) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
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

// Field-state pickling of `class_spec`'s class: the fields `state[0..n)`, named
// "a, b, ..." in `fields` for the checksum.
inline void pickle_state(frame::ClassSpec& class_spec, const std::string& fields,
                         const frame::StateField* state, int n) {
    class_spec.pickle = frame::Pickle::state;
    class_spec.pickle_spec.checksum = crc32(fields.c_str());
    class_spec.pickle_spec.checksum_text = keep(checksum_text(class_spec.pickle_spec.checksum, fields));
    class_spec.pickle_spec.fields = state;
    class_spec.pickle_spec.nfields = n;
}

// ---------------------------------------------------------------- module init

// One exported C function; `exported<Fn>` checks the function against the
// header's pointer type.
struct Export {
    const char* name;
    void* fn;
    const char* sig;
};
template <class Fn>
inline Export exported(const char* name, Fn fn, const char* sig) {
    return {name, reinterpret_cast<void*>(fn), sig};
}
inline int export_all(PyObject* module, std::initializer_list<Export> exports) {
    for (const Export& e : exports)
        if (frame::export_function(module, e.name, e.fn, e.sig) < 0) return -1;
    return 0;
}

// The frame's init steps of a linvec module; the module object's name is
// the last part of `dotted`, its functions `functions` (may be null).
struct ModuleSteps {
    int (*register_classes)(PyObject* module) = nullptr;
    int (*import_classes)(PyObject* module) = nullptr;
    int (*body)(PyObject* module) = nullptr;
    PyMethodDef* functions = nullptr;
};

inline PyObject* init_module(const char* dotted, const char* file, const ModuleSteps& steps) {
    static PyModuleDef def = {PyModuleDef_HEAD_INIT, nullptr, nullptr, -1, nullptr,
                              nullptr, nullptr, nullptr, nullptr};
    def.m_name = std::strrchr(dotted, '.') + 1;
    def.m_methods = steps.functions;
    frame::ModuleInit init{&def, dotted, file};
    init.register_classes = steps.register_classes;
    init.import_classes = steps.import_classes;
    init.body = steps.body;
    return frame::init_module(init);
}

}  // namespace linvec::detail
