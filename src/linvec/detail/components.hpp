// The class machinery of a fixed-size record of numbers (vectors,
// quaternions, rectangles, float2/float3): construction with defaults,
// properties, repr, ==, indexing and iteration, the buffer protocol and
// pickling of the components. A module instantiates Components<Traits> with
//
//   struct Traits {
//       using Obj = ...;  using T = double | float | int32_t;
//       static constexpr int N = ...;
//       static constexpr const char* kModule, *kName, *kFile, *kDoc;
//       static constexpr const char* kFields[N];   // property names, in order
//       static constexpr T kDefaults[N];
//       static T* data(Obj*);                      // the N contiguous fields
//       static void init(Obj*);                    // sets the method table, if any
//   };
#pragma once

#include "linvec/detail/common.hpp"

#include <deque>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace linvec::detail {

// The N contiguous fields starting at byte `offset` of the object, as an
// array (addressed from the object's start, not through one member).
template <class T, class Obj>
inline T* fields_at(Obj* o, size_t offset) {
    return reinterpret_cast<T*>(reinterpret_cast<char*>(o) + offset);
}

// numpy operands (np.float64(2) * v) defer to the class's own operators
// instead of turning the instance into an array; numpy.asarray still works
// through the buffer protocol.
inline int defer_to_us_in_numpy(PyTypeObject* t) {
    if (PyDict_SetItemString(t->tp_dict, "__array_ufunc__", Py_None) < 0) return -1;
    PyType_Modified(t);
    return 0;
}

// What a module adds to the record's class.
struct Extras {
    PyMethodDef* methods = nullptr;  // null-terminated
    PyNumberMethods* number = nullptr;
    void* vtable = nullptr;
};

// Strings that live for the process (docstrings, dotted names).
inline const char* keep(std::string s) {
    static std::deque<std::string> kept;
    kept.push_back(std::move(s));
    return kept.back().c_str();
}

// A class-typed argument that must be a real instance: the frame's message,
// for None too.
inline bool require_arg(PyObject* o, PyTypeObject* type, const char* argname) {
    if (o != Py_None && PyObject_TypeCheck(o, type)) return true;
    PyErr_Format(PyExc_TypeError, "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)",
                 argname, type->tp_name, Py_TYPE(o)->tp_name);
    return false;
}

template <class Tr>
struct Components {
    using Obj = typename Tr::Obj;
    using T = typename Tr::T;
    static constexpr int N = Tr::N;

    static inline PyTypeObject type;
    static inline PyObject* arg_names[N];

    // "linvec.vector3.Vector3.<member>", kept for the process.
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

    static T* data(PyObject* o) { return Tr::data(reinterpret_cast<Obj*>(o)); }
    static bool check(PyObject* o) { return PyObject_TypeCheck(o, &type); }

    // ------------------------------------------------------------ construction

    static PyObject* alloc(PyTypeObject* t) {
        PyObject* o = t->tp_alloc(t, 0);
        if (o) Tr::init(reinterpret_cast<Obj*>(o));
        return o;
    }

    // A new exact instance holding v[0..N).
    static PyObject* make(const T* v) {
        PyObject* o = alloc(&type);
        if (!o) return nullptr;
        T* d = data(o);
        for (int i = 0; i < N; ++i) d[i] = v[i];
        return o;
    }

    // Cls(c0=default0, c1=default1, ...): each component optional.
    static PyObject* tp_new(PyTypeObject* t, PyObject* args, PyObject* kwds) {
        PyObject* given[N];
        if (parse_optional("__cinit__", args, kwds, arg_names, N, given) < 0)
            return fail_null("__cinit__", __LINE__);
        T v[N];
        for (int i = 0; i < N; ++i) {
            v[i] = Tr::kDefaults[i];
            if (given[i] && !convert(given[i], &v[i])) return fail_null("__cinit__", __LINE__);
        }
        PyObject* o = alloc(t);
        if (!o) return fail_null("__cinit__", __LINE__);
        T* d = data(o);
        for (int i = 0; i < N; ++i) d[i] = v[i];
        return o;
    }

    static void tp_dealloc(PyObject* o) { Py_TYPE(o)->tp_free(o); }

    // ------------------------------------------------------------ properties

    static PyObject* get(PyObject* o, void* closure) {
        return box(data(o)[reinterpret_cast<intptr_t>(closure)]);
    }
    static int set(PyObject* o, PyObject* v, void* closure) {
        int i = static_cast<int>(reinterpret_cast<intptr_t>(closure));
        T value;
        if (v && convert(v, &value)) {
            data(o)[i] = value;
            return 0;
        }
        if (!v) PyErr_SetString(PyExc_NotImplementedError, "__del__");
        return fail((std::string(Tr::kFields[i]) + ".__set__").c_str(), __LINE__);
    }

    // ------------------------------------------------------------ repr, ==

    static PyObject* tp_repr(PyObject* o) {
        std::string s = type_name(o) + "(";
        const T* d = data(o);
        for (int i = 0; i < N; ++i) {
            if (i) s += ", ";
            append_repr(s, d[i]);
        }
        s += ")";
        return PyUnicode_FromString(s.c_str());
    }

    static PyObject* tp_richcompare(PyObject* a, PyObject* b, int op) {
        if ((op != Py_EQ && op != Py_NE) || !check(a) || !check(b)) return not_implemented();
        const T* x = data(a);
        const T* y = data(b);
        bool eq = true;
        for (int i = 0; i < N; ++i) eq = eq && x[i] == y[i];
        return frame::py_bool(eq == (op == Py_EQ));
    }

    // ------------------------------------------------------------ sequence

    static Py_ssize_t sq_length(PyObject*) { return N; }

    static PyObject* sq_item(PyObject* o, Py_ssize_t i) {
        if (i < 0 || i >= N) {
            PyErr_Format(PyExc_IndexError, "%s index out of range", Tr::kName);
            return nullptr;
        }
        return box(data(o)[i]);
    }

    static int sq_ass_item(PyObject* o, Py_ssize_t i, PyObject* v) {
        if (i < 0 || i >= N) {
            PyErr_Format(PyExc_IndexError, "%s assignment index out of range", Tr::kName);
            return -1;
        }
        if (!v) {
            PyErr_Format(PyExc_TypeError, "'%s' object doesn't support item deletion", Tr::kName);
            return -1;
        }
        T value;
        if (!convert(v, &value)) return -1;
        data(o)[i] = value;
        return 0;
    }

    static inline PySequenceMethods sequence = {
        sq_length, nullptr, nullptr, sq_item, nullptr, sq_ass_item, nullptr, nullptr, nullptr, nullptr,
    };

    // ------------------------------------------------------------ buffer: N items, writable

    static int getbuffer(PyObject* o, Py_buffer* view, int flags) {
        static Py_ssize_t shape[1] = {N};
        static Py_ssize_t strides[1] = {static_cast<Py_ssize_t>(sizeof(T))};
        view->buf = data(o);
        view->obj = frame::Ref::new_ref(o).release();
        view->len = N * static_cast<Py_ssize_t>(sizeof(T));
        view->readonly = 0;
        view->itemsize = sizeof(T);
        view->format = (flags & PyBUF_FORMAT) ? const_cast<char*>(buffer_format<T>()) : nullptr;
        view->ndim = 1;
        view->shape = (flags & PyBUF_ND) ? shape : nullptr;
        view->strides = (flags & PyBUF_STRIDES) == PyBUF_STRIDES ? strides : nullptr;
        view->suboffsets = nullptr;
        view->internal = nullptr;
        return 0;
    }
    static inline PyBufferProcs buffer = {getbuffer, nullptr};

    // ------------------------------------------------------------ pickling: the components

    template <int I>
    static PyObject* state_get(PyObject* o) { return box(data(o)[I]); }
    template <int I>
    static int state_set(PyObject* o, PyObject* v) {
        T value;
        if (!convert(v, &value)) return -1;
        data(o)[I] = value;
        return 0;
    }
    template <int... I>
    static const frame::StateField* state_fields(std::integer_sequence<int, I...>) {
        static const frame::StateField f[] = {{Tr::kFields[I], &state_get<I>, &state_set<I>}...};
        return f;
    }

    // ------------------------------------------------------------ registration

    static int register_class(PyObject* module, const Extras& extras) {
        if (intern_all(Tr::kFields, N, arg_names) < 0) return -1;
        static PyGetSetDef getset[N + 1] = {};
        for (int i = 0; i < N; ++i) {
            getset[i].name = Tr::kFields[i];
            getset[i].get = get;
            getset[i].set = set;
            getset[i].doc = keep(std::string("Component ") + Tr::kFields[i] + ".");
            getset[i].closure = reinterpret_cast<void*>(static_cast<intptr_t>(i));
        }
        std::string fields;
        for (int i = 0; i < N; ++i) fields += std::string(i ? ", " : "") + Tr::kFields[i];

        frame::ClassSpec spec{};
        spec.type = &type;
        spec.dotted = keep(std::string(Tr::kModule) + "." + Tr::kName);
        spec.short_name = Tr::kName;
        spec.basicsize = sizeof(Obj);
        spec.doc = Tr::kDoc;
        spec.tp_new = tp_new;
        spec.tp_dealloc = tp_dealloc;
        spec.methods = extras.methods;
        spec.getset = getset;
        spec.as_number = extras.number;
        spec.as_sequence = &sequence;
        spec.as_buffer = &buffer;
        spec.tp_repr = tp_repr;
        spec.tp_richcompare = tp_richcompare;
        spec.vtable = extras.vtable;
        spec.pickle = frame::Pickle::state;
        spec.pickle_spec.checksum = crc32(fields.c_str());
        spec.pickle_spec.checksum_text = keep(checksum_text(spec.pickle_spec.checksum, fields));
        spec.pickle_spec.fields = state_fields(std::make_integer_sequence<int, N>{});
        spec.pickle_spec.nfields = N;
        if (frame::register_class(module, spec) < 0) return -1;
        return defer_to_us_in_numpy(&type);
    }
};

}  // namespace linvec::detail
