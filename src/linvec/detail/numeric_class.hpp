// The machinery shared by the classes whose instance holds N numbers of one
// type in contiguous fields (records, vectors, quaternions, matrices): the
// type object, allocation with the method table, make, ==, the buffer,
// to_float and the parts of the class registration they have in common,
// and the init of a module that defines one such class. Components<Traits> (records) and
// MatrixClass<Traits> build on it; the Traits give
//
//   using Obj = ...;  using T = double | float | int32_t;
//   static constexpr const char* kModule, *kName, *kFile, *kDoc;
//   static T* data(Obj*);              // the N contiguous fields
//   static void init(Obj*);            // sets the method table, if any
//
// (Layout<> below provides Obj, T, data and a no-op init) and, for a
// double-precision class with a single-precision twin, the "to_float"
// method's target:
//
//   static constexpr const char* kSingleName;         // "Vector3f"
//   static PyObject* to_single(const T* v);            // a new twin holding v rounded
#pragma once

#include "linvec/detail/common.hpp"

#include <cstddef>
#include <string>
#include <type_traits>
#include <utility>

namespace linvec::detail {

// Obj, T, data and init of a layout whose numbers start at byte `Offset`.
template <class O, class E, size_t Offset>
struct Layout {
    using Obj = O;
    using T = E;
    // Addressed from the object's start, not through one member: the N
    // fields are read as one array.
    static T* data(Obj* o) { return reinterpret_cast<T*>(reinterpret_cast<char*>(o) + Offset); }
    static void init(Obj*) {}
};

// A record layout of N numbers (components in declared order).
template <class O, class E, int Count, size_t Offset>
struct Record : Layout<O, E, Offset> {
    static constexpr int N = Count;
};

// Whether the Traits name a single-precision twin (kSingleName, to_single).
template <class Tr, class = void>
struct has_single : std::false_type {};
template <class Tr>
struct has_single<Tr, std::void_t<decltype(Tr::to_single)>> : std::true_type {};

// numpy operands (np.float64(2) * v) defer to the class's own operators
// instead of turning the instance into an array; numpy.asarray still works
// through the buffer protocol.
inline int defer_to_us_in_numpy(PyTypeObject* t) {
    if (PyDict_SetItemString(t->tp_dict, "__array_ufunc__", Py_None) < 0) return -1;
    PyType_Modified(t);
    return 0;
}

// What a module adds to its class.
struct Extras {
    PyMethodDef* methods = nullptr;  // null-terminated
    PyNumberMethods* number = nullptr;
    void* vtable = nullptr;
};

template <class Tr, int Count>
struct NumericClass : Traceback<Tr> {
    using Traits = Tr;
    using Obj = typename Tr::Obj;
    using T = typename Tr::T;
    static constexpr int N = Count;
    using Traceback<Tr>::fail_null;
    using Traceback<Tr>::result;

    static inline PyTypeObject type;

    static T* data(PyObject* o) { return Tr::data(reinterpret_cast<Obj*>(o)); }
    static bool check(PyObject* o) { return PyObject_TypeCheck(o, &type); }
    static Obj* as_obj(PyObject* o) { return reinterpret_cast<Obj*>(o); }

    // ------------------------------------------------------------ construction

    static PyObject* alloc(PyTypeObject* t) {
        PyObject* o = t->tp_alloc(t, 0);
        if (o) Tr::init(reinterpret_cast<Obj*>(o));
        return o;
    }

    // A new instance of `t` holding v[0..N).
    static PyObject* make_in(PyTypeObject* t, const T* v) {
        PyObject* o = alloc(t);
        if (!o) return nullptr;
        T* d = data(o);
        for (int i = 0; i < N; ++i) d[i] = v[i];
        return o;
    }
    // A new exact instance holding v[0..N).
    static PyObject* make(const T* v) { return make_in(&type, v); }

    static void tp_dealloc(PyObject* o) { Py_TYPE(o)->tp_free(o); }

    // ------------------------------------------------------------ ==

    static PyObject* tp_richcompare(PyObject* a, PyObject* b, int op) {
        if ((op != Py_EQ && op != Py_NE) || !check(a) || !check(b)) return not_implemented();
        const T* x = data(a);
        const T* y = data(b);
        bool eq = true;
        for (int i = 0; i < N; ++i) eq = eq && x[i] == y[i];
        return frame::py_bool(eq == (op == Py_EQ));
    }

    // ------------------------------------------------------------ buffer: the N numbers, writable

    static int view(PyObject* o, Py_buffer* v, int flags, int ndim, Py_ssize_t* shape,
                    Py_ssize_t* strides) {
        return fill_buffer(o, v, flags, data(o), N * static_cast<Py_ssize_t>(sizeof(T)), sizeof(T),
                           buffer_format<T>(), ndim, shape, strides);
    }

    // ------------------------------------------------------------ pickling: one field per number

    // The state fields named Tr::kFields[0..N), each one number.
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
    static const frame::StateField* state_fields() {
        return state_fields(std::make_integer_sequence<int, N>{});
    }

    // ------------------------------------------------------------ to_float

    // The single-precision twin (C level: no traceback entry).
    static PyObject* to_float(Obj* o) { return Tr::to_single(Tr::data(o)); }
    static PyObject* py_to_float(PyObject* self, PyObject*) {
        return result(to_float(as_obj(self)), "to_float");
    }
    // Its method-table entry; `what` names the value in the docstring.
    static PyMethodDef to_float_method(const char* what) {
        std::string text = std::string("The ") + what + " rounded to single precision.";
        return method_row(Tr::kName, "to_float", py_to_float, METH_NOARGS,
                          std::string("(self) -> ") + Tr::kSingleName, text.c_str());
    }
    // The common entries of a method table, then to_float where the class
    // has a twin, then the module's own `more`.
    static PyMethodDef* methods_with(std::vector<PyMethodDef>& table, const char* what,
                                     const PyMethodDef* more) {
        if constexpr (has_single<Tr>::value) table.push_back(to_float_method(what));
        return method_table(table, more);
    }

    // ------------------------------------------------------------ the module's factory

    // make(...) with the N numbers as arguments, as vector modules export it.
    template <class... A>
    static PyObject* make_from(A... a) {
        static_assert(sizeof...(A) == N, "one argument per number");
        const T v[N] = {a...};
        return make(v);
    }

    // ------------------------------------------------------------ registration

    // The parts of the class description every numeric class sets.
    static frame::ClassSpec describe(const Extras& extras) {
        frame::ClassSpec s = class_spec<Tr, Obj>(&type, tp_dealloc, tp_richcompare);
        s.methods = extras.methods;
        s.as_number = extras.number;
        s.vtable = extras.vtable;
        return s;
    }
    static int register_spec(PyObject* module, const frame::ClassSpec& s) {
        if (frame::register_class(module, s) < 0) return -1;
        return defer_to_us_in_numpy(&type);
    }
};

// The init of a module that defines the one class C and exports its
// factory `make` (of type MakeFn) under the header's name and signature.
template <class C, class MakeFn>
struct ClassModule {
    static inline const char* make_name;
    static inline const char* make_sig;
    static inline Extras extras;
    static inline int (*prepare)(PyObject*) = nullptr;

    static int register_classes(PyObject* module) {
        if (prepare && prepare(module) < 0) return -1;
        return C::register_class(module, extras);
    }
    // The factory takes a pointer to the numbers (C::make) or the numbers
    // as arguments (C::make_from).
    static int body(PyObject* module) {
        MakeFn fn;
        if constexpr (std::is_same_v<MakeFn, PyObject* (*)(const typename C::T*)>)
            fn = C::make;
        else
            fn = C::make_from;
        return export_all(module, {exported<MakeFn>(make_name, fn, make_sig)});
    }
    // `before`, when given, runs first in the class registration step
    // (interning argument names, say).
    static PyObject* init(const char* name, const char* sig, const Extras& e,
                          int (*import_classes)(PyObject*) = nullptr,
                          int (*before)(PyObject*) = nullptr) {
        make_name = name;
        make_sig = sig;
        extras = e;
        prepare = before;
        ModuleSteps steps;
        steps.register_classes = register_classes;
        steps.import_classes = import_classes;
        steps.body = body;
        return init_module(C::Traits::kModule, C::Traits::kFile, steps);
    }
};

}  // namespace linvec::detail
