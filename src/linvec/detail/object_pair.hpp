// The class machinery of an instance that owns two exact objects (the high
// and low parts of a double-single value, the position and matrix of a
// Transform): the fields always hold exact copies made by the instance, so
// that readers may use them without a type check. Properties (read-only, or
// settable with a copy), repr, ==, pickling of the two fields and the parts
// of the class registration they have in common. The Traits give
//
//   using Obj = ...;
//   static constexpr const char* kModule, *kName, *kFile, *kDoc;
//   static constexpr const char* kFields[2];     // field names, in layout order
//   static constexpr Py_ssize_t kOffsets[2];     // their offsets in Obj
//   static constexpr const char* kFieldDocs[2];
//   static constexpr bool kSettable;             // assigning stores a copy
//   static constexpr const char* kRepr;          // "%s(%R, %R)": name, fields
//   static PyTypeObject* field_type(int i);      // the class field i holds
//   static PyObject* copy(int i, PyObject* v);   // a new exact copy of v
#pragma once

#include "linvec/detail/common.hpp"

#include <string>

namespace linvec::detail {

template <class Tr>
struct ObjectPair : Traceback<Tr> {
    using Obj = typename Tr::Obj;
    using Traceback<Tr>::fail;

    static inline PyTypeObject type;

    static Obj* cast(PyObject* o) { return reinterpret_cast<Obj*>(o); }
    static PyObject** field(PyObject* o, int i) {
        return reinterpret_cast<PyObject**>(reinterpret_cast<char*>(o) + Tr::kOffsets[i]);
    }

    // ------------------------------------------------------------ construction

    // A fresh instance of `t` holding the new references `a` and `b` (both
    // released on failure; null when making them failed).
    static PyObject* build(PyTypeObject* t, PyObject* a, PyObject* b) {
        frame::Ref first = frame::Ref::steal(a), second = frame::Ref::steal(b);
        if (!first || !second) return nullptr;
        PyObject* o = t->tp_alloc(t, 0);
        if (!o) return nullptr;
        *field(o, 0) = first.release();
        *field(o, 1) = second.release();
        return o;
    }

    static void tp_dealloc(PyObject* o) {
        Py_CLEAR(*field(o, 0));
        Py_CLEAR(*field(o, 1));
        Py_TYPE(o)->tp_free(o);
    }

    // ------------------------------------------------------------ fields

    static PyObject* get_field(PyObject* o, int i) { return frame::Ref::new_ref(*field(o, i)).release(); }

    // Stores an exact copy of `v`, which must be a field_type(i) instance.
    static int store(PyObject* o, PyObject* v, int i) {
        if (!check_store(v, Tr::field_type(i))) return -1;
        PyObject* c = Tr::copy(i, v);
        if (!c) return -1;
        Py_SETREF(*field(o, i), c);
        return 0;
    }

    static PyObject* get(PyObject* o, void* closure) {
        return get_field(o, static_cast<int>(reinterpret_cast<intptr_t>(closure)));
    }
    static int set(PyObject* o, PyObject* v, void* closure) {
        int i = static_cast<int>(reinterpret_cast<intptr_t>(closure));
        if (v && store(o, v, i) == 0) return 0;
        if (!v) no_delete();
        return fail((std::string(Tr::kFields[i]) + ".__set__").c_str(), __LINE__);
    }

    // ------------------------------------------------------------ repr, ==

    static PyObject* tp_repr(PyObject* o) {
        return PyUnicode_FromFormat(Tr::kRepr, type_name(o).c_str(), *field(o, 0), *field(o, 1));
    }

    static PyObject* tp_richcompare(PyObject* a, PyObject* b, int op) {
        if ((op != Py_EQ && op != Py_NE) || !PyObject_TypeCheck(a, &type) || !PyObject_TypeCheck(b, &type))
            return not_implemented();
        int eq = PyObject_RichCompareBool(*field(a, 0), *field(b, 0), Py_EQ);
        if (eq > 0) eq = PyObject_RichCompareBool(*field(a, 1), *field(b, 1), Py_EQ);
        if (eq < 0) return nullptr;
        return frame::py_bool((eq != 0) == (op == Py_EQ));
    }

    // ------------------------------------------------------------ pickling: the two fields

    template <int I>
    static PyObject* state_get(PyObject* o) { return get_field(o, I); }
    template <int I>
    static int state_set(PyObject* o, PyObject* v) { return store(o, v, I); }
    static inline const frame::StateField state[2] = {
        {Tr::kFields[0], state_get<0>, state_set<0>},
        {Tr::kFields[1], state_get<1>, state_set<1>},
    };

    // ------------------------------------------------------------ registration

    static frame::ClassSpec describe() {
        static PyGetSetDef getset[3] = {};
        for (int i = 0; i < 2; ++i) {
            getset[i].name = Tr::kFields[i];
            getset[i].get = get;
            getset[i].set = Tr::kSettable ? set : nullptr;
            getset[i].doc = Tr::kFieldDocs[i];
            getset[i].closure = reinterpret_cast<void*>(static_cast<intptr_t>(i));
        }
        frame::ClassSpec s = class_spec<Tr, Obj>(&type, tp_dealloc, tp_richcompare);
        s.getset = getset;
        s.tp_repr = tp_repr;
        pickle_state(s, std::string(Tr::kFields[0]) + ", " + Tr::kFields[1], state, 2);
        return s;
    }
};

}  // namespace linvec::detail
