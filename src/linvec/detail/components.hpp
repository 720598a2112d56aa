// The class machinery of a fixed-size record of numbers (vectors,
// quaternions, rectangles, float2/float3), on top of NumericClass:
// construction with defaults, properties, repr, indexing and iteration, the
// one-dimensional buffer and pickling of the components (the state
// fields NumericClass makes). A module
// instantiates Components<Traits> with NumericClass's Traits (Record<>
// gives Obj, T, N, data and init) and
//
//   static constexpr const char* kFields[N];   // property names, in order
//   static constexpr T kDefaults[N];
#pragma once

#include "linvec/detail/numeric_class.hpp"

#include <string>
#include <utility>

namespace linvec::detail {

template <class Tr>
struct Components : NumericClass<Tr, Tr::N> {
    using Base = NumericClass<Tr, Tr::N>;
    using typename Base::Obj;
    using typename Base::T;
    using Base::N;
    using Base::data;
    using Base::fail;
    using Base::fail_null;

    static inline PyObject* arg_names[N];

    // ------------------------------------------------------------ construction

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
        PyObject* o = Base::make_in(t, v);
        return o ? o : fail_null("__cinit__", __LINE__);
    }

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
        if (!v) no_delete();
        return fail((std::string(Tr::kFields[i]) + ".__set__").c_str(), __LINE__);
    }

    // ------------------------------------------------------------ repr

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
        return Base::view(o, view, flags, 1, shape, strides);
    }
    static inline PyBufferProcs buffer = {getbuffer, nullptr};

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
        frame::ClassSpec class_spec = Base::describe(extras);
        class_spec.tp_new = tp_new;
        class_spec.getset = getset;
        class_spec.as_sequence = &sequence;
        class_spec.as_buffer = &buffer;
        class_spec.tp_repr = tp_repr;
        pickle_state(class_spec, fields, Base::state_fields(), N);
        return Base::register_spec(module, class_spec);
    }
};

}  // namespace linvec::detail
