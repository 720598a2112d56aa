#include "frame.hpp"

#include <frameobject.h>

#include <cstdio>
#include <cstring>
#include <array>
#include <map>
#include <string>
#include <tuple>
#include <unordered_map>

namespace frame {

// ---------------------------------------------------------------- identifiers

PyObject* intern(const char* s) {
    // Interned strings live as long as the interpreter; keep one reference
    // per distinct text so repeated calls are a map look-up.
    static std::unordered_map<std::string, PyObject*> cache;
    auto it = cache.find(s);
    if (it != cache.end()) return it->second;
    PyObject* o = PyUnicode_InternFromString(s);
    if (!o) return nullptr;
    cache.emplace(s, o);
    return o;
}

// ---------------------------------------------------------------- errors

void add_traceback(const Where& w, int line) {
    // One code object per distinct location; its first line is the line of
    // the entry, which is what a fresh frame reports.
    static std::map<std::tuple<std::string, std::string, int>, PyCodeObject*> codes;
    static PyObject* globals = nullptr;
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    if (!globals) globals = PyDict_New();
    auto key = std::make_tuple(std::string(w.name), std::string(w.file), line);
    PyCodeObject* code = nullptr;
    auto it = codes.find(key);
    if (it != codes.end()) {
        code = it->second;
    } else if (globals) {
        code = PyCode_NewEmpty(w.file, w.name, line);
        if (code) codes.emplace(key, code);
    }
    PyFrameObject* f = nullptr;
    if (code && globals) f = PyFrame_New(PyThreadState_Get(), code, globals, nullptr);
    if (!f) {
        // Out of memory while reporting: keep the original error.
        PyErr_Clear();
        PyErr_Restore(type, value, tb);
        return;
    }
    PyErr_Restore(type, value, tb);
    PyTraceBack_Here(f);
    Py_DECREF(f);
}

void write_unraisable(const char* name) {
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    PyErr_NormalizeException(&type, &value, &tb);
    if (tb && value) PyException_SetTraceback(value, tb);
    // Print with traceback and record it as the last error. Not through
    // PyErr_PrintEx: that would end the process for a SystemExit raised
    // inside a method that must never propagate.
    if (type) {
        PySys_SetObject("last_type", type);
        PySys_SetObject("last_value", value ? value : Py_None);
        PySys_SetObject("last_traceback", tb ? tb : Py_None);
        PyErr_Display(type, value ? value : Py_None, tb);
        PyErr_Clear();
    }
    PyObject* ctx = PyUnicode_FromString(name);
    PyErr_Restore(type, value, tb);
    if (ctx) {
        PyErr_WriteUnraisable(ctx);
        Py_DECREF(ctx);
    } else {
        PyErr_WriteUnraisable(Py_None);
    }
    PyErr_Clear();
}

// ---------------------------------------------------------------- module init

Ref get_builtin(const char* name) {
    PyObject* b = PyEval_GetBuiltins();  // borrowed
    PyObject* key = intern(name);
    if (!key) return Ref();
    PyObject* v = b ? PyDict_GetItemWithError(b, key) : nullptr;
    if (!v) {
        if (!PyErr_Occurred()) PyErr_Format(PyExc_NameError, "name '%U' is not defined", key);
        return Ref();
    }
    return Ref::new_ref(v);
}

int check_version(const char* built, const char* dotted) {
    char running[32];
    std::snprintf(running, sizeof running, "%d.%d", (int)(Py_Version >> 24) & 0xff,
                  (int)(Py_Version >> 16) & 0xff);
    if (std::strcmp(built, running) == 0) return 0;
    char msg[256];
    std::snprintf(msg, sizeof msg,
                  "compiletime version %s of module '%.100s' does not match runtime version %s",
                  built, dotted, running);
    return PyErr_WarnEx(nullptr, msg, 1);
}

PyObject* init_module(const ModuleInit& init) {
    std::string entry = std::string("init ") + init.dotted;
    PyObject* module = nullptr;
    bool registered = false;
    int line = 0;
    {
        char built[32];
        std::snprintf(built, sizeof built, "%d.%d", PY_MAJOR_VERSION, PY_MINOR_VERSION);
        if (check_version(built, init.dotted) < 0) { line = __LINE__; goto bad; }
    }
    module = PyModule_Create(init.def);
    if (!module) { line = __LINE__; goto bad; }
    {
        PyObject* builtins = PyImport_AddModule("builtins");  // borrowed
        if (!builtins) { line = __LINE__; goto bad; }
        Py_INCREF(builtins);
        if (PyModule_AddObject(module, "__builtins__", builtins) < 0) {
            Py_DECREF(builtins);
            line = __LINE__;
            goto bad;
        }
    }
    {
        PyObject* modules = PyImport_GetModuleDict();  // borrowed
        PyObject* existing = PyDict_GetItemString(modules, init.dotted);
        if (!existing) {
            if (PyDict_SetItemString(modules, init.dotted, module) < 0) {
                line = __LINE__;
                goto bad;
            }
            registered = true;
        }
    }
    if (init.builtins) {
        for (const char* const* b = init.builtins; *b; ++b) {
            if (!get_builtin(*b)) { line = __LINE__; goto bad; }
        }
    }
    if (init.register_classes && init.register_classes(module) < 0) { line = __LINE__; goto bad; }
    if (init.import_classes && init.import_classes(module) < 0) { line = __LINE__; goto bad; }
    if (init.import_functions && init.import_functions(module) < 0) { line = __LINE__; goto bad; }
    if (init.body && init.body(module) < 0) { line = __LINE__; goto bad; }
    return module;

bad:
    if (module) {
        add_traceback(Where{entry.c_str(), init.file}, line);
        // A half-initialised module must not be found by a later import.
        if (registered) {
            PyObject *t, *v, *tb;
            PyErr_Fetch(&t, &v, &tb);
            if (PyDict_DelItemString(PyImport_GetModuleDict(), init.dotted) < 0) PyErr_Clear();
            PyErr_Restore(t, v, tb);
        }
        Py_DECREF(module);
        module = nullptr;
    }
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_ImportError, entry.c_str());
    return nullptr;
}

// ---------------------------------------------------------------- pickling

namespace {

struct PickleInfo {
    std::string short_name;
    PickleSpec pickling;
    PyObject* unpickle = nullptr;  // the module's unpickle_<Class>, kept for the process
};

std::unordered_map<PyTypeObject*, PickleInfo>& pickle_registry() {
    static std::unordered_map<PyTypeObject*, PickleInfo> r;
    return r;
}

const PickleInfo* find_pickle(PyTypeObject* t) {
    auto& reg = pickle_registry();
    for (; t; t = t->tp_base) {
        auto it = reg.find(t);
        if (it != reg.end()) return &it->second;
    }
    return nullptr;
}

PyObject* refuse(PyObject*, PyObject*) { return refuse_pickle(); }

// Assign the state's fields in order; a further element updates __dict__.
int restore_state(PyObject* self, const PickleInfo& info, PyObject* state) {
    if (!PyTuple_Check(state)) {
        PyErr_Format(PyExc_TypeError, "Expected %.16s, got %.200s", "tuple",
                     Py_TYPE(state)->tp_name);
        return -1;
    }
    Py_ssize_t n = PyTuple_GET_SIZE(state);
    for (int i = 0; i < info.pickling.nfields; ++i) {
        if (i >= n) {
            PyErr_SetString(PyExc_IndexError, "tuple index out of range");
            return -1;
        }
        if (info.pickling.fields[i].set(self, PyTuple_GET_ITEM(state, i)) < 0) return -1;
    }
    if (n > info.pickling.nfields) {
        PyObject** dictptr = _PyObject_GetDictPtr(self);
        if (dictptr) {
            if (!*dictptr) {
                *dictptr = PyDict_New();
                if (!*dictptr) return -1;
            }
            Ref r = Ref::steal(PyObject_CallMethod(*dictptr, "update", "O",
                                                   PyTuple_GET_ITEM(state, info.pickling.nfields)));
            if (!r) return -1;
        }
    }
    return 0;
}

PyObject* state_reduce(PyObject* self, PyObject*) {
    const PickleInfo* info = find_pickle(Py_TYPE(self));
    if (!info) return refuse_pickle();
    const int n = info->pickling.nfields;
    // An instance of a Python subclass carries its __dict__ after the fields.
    PyObject** dictptr = _PyObject_GetDictPtr(self);
    PyObject* dict = dictptr ? *dictptr : nullptr;
    Ref state = Ref::steal(PyTuple_New(n + (dict ? 1 : 0)));
    if (!state) return nullptr;
    for (int i = 0; i < n; ++i) {
        PyObject* v = info->pickling.fields[i].get(self);
        if (!v) return nullptr;
        PyTuple_SET_ITEM(state.get(), i, v);
    }
    Ref checksum = Ref::steal(PyLong_FromUnsignedLong(info->pickling.checksum));
    if (!checksum) return nullptr;
    // The reconstruction function lives in the module of the compiled class.
    PyObject* type = (PyObject*)Py_TYPE(self);
    if (dict) {
        PyTuple_SET_ITEM(state.get(), n, Ref::new_ref(dict).release());
        return Py_BuildValue("O(OOO)O", info->unpickle, type, checksum.get(), Py_None, state.get());
    }
    return Py_BuildValue("O(OOO)", info->unpickle, type, checksum.get(), state.get());
}

PyObject* state_setstate(PyObject* self, PyObject* state) {
    const PickleInfo* info = find_pickle(Py_TYPE(self));
    if (!info) return refuse_pickle();
    if (restore_state(self, *info, state) < 0) return nullptr;
    Py_RETURN_NONE;
}

// unpickle_<Class>(type, checksum, state). Module-level functions must have
// the module as their self so pickle stores them by name; each pickling class
// takes one slot of a fixed pool of entry points to know which class it is.
constexpr int kUnpickleSlots = 64;
PyTypeObject* unpickle_class[kUnpickleSlots];
int unpickle_used = 0;

PyObject* unpickle(int slot, PyObject* const* args, Py_ssize_t nargs) {
    PyTypeObject* cls = unpickle_class[slot];
    const PickleInfo& info = pickle_registry().at(cls);
    std::string fname = "unpickle_" + info.short_name;
    if (nargs != 3) {
        raise_arg_count(fname.c_str(), 3, nargs);
        return nullptr;
    }
    PyObject* type = args[0];
    unsigned long sum = PyLong_AsUnsignedLongMask(args[1]);
    if (sum == (unsigned long)-1 && PyErr_Occurred()) return nullptr;
    if ((uint32_t)sum != info.pickling.checksum) {
        Ref pickle = Ref::steal(PyImport_ImportModule("pickle"));
        if (!pickle) return nullptr;
        Ref err = Ref::steal(PyObject_GetAttrString(pickle.get(), "PickleError"));
        if (!err) return nullptr;
        Ref text = Ref::steal(PyObject_Str(args[1]));
        if (!text) return nullptr;
        PyErr_Format(err.get(), "Incompatible checksums (%U vs %s)", text.get(),
                     info.pickling.checksum_text);
        return nullptr;
    }
    Ref newfn = Ref::steal(PyObject_GetAttrString((PyObject*)cls, "__new__"));
    if (!newfn) return nullptr;
    Ref result = Ref::steal(PyObject_CallOneArg(newfn.get(), type));
    if (!result) return nullptr;
    if (args[2] != Py_None && restore_state(result.get(), info, args[2]) < 0) return nullptr;
    return result.release();
}

template <int N>
PyObject* unpickle_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return unpickle(N, args, nargs);
}

template <int... N>
constexpr std::array<_PyCFunctionFast, sizeof...(N)> make_entries(std::integer_sequence<int, N...>) {
    return {unpickle_entry<N>...};
}
constexpr auto unpickle_entries = make_entries(std::make_integer_sequence<int, kUnpickleSlots>{});

PyMethodDef refuse_reduce_def = {"__reduce__", refuse, METH_NOARGS, nullptr};
PyMethodDef refuse_setstate_def = {"__setstate__", refuse, METH_O, nullptr};
PyMethodDef state_reduce_def = {"__reduce__", state_reduce, METH_NOARGS, nullptr};
PyMethodDef state_setstate_def = {"__setstate__", state_setstate, METH_O, nullptr};

int install_method(PyTypeObject* t, PyMethodDef* def) {
    Ref d = Ref::steal(PyDescr_NewMethod(t, def));
    if (!d) return -1;
    return PyDict_SetItemString(t->tp_dict, def->ml_name, d.get());
}

int setup_pickle(PyObject* module, const ClassSpec& class_spec) {
    PyTypeObject* t = class_spec.type;
    // A class that brings its own __getstate__ or __reduce_ex__ keeps them.
    if (PyDict_GetItemString(t->tp_dict, "__getstate__")) return 0;
    if (class_spec.pickle == Pickle::refuse) {
        if (install_method(t, &refuse_reduce_def) < 0) return -1;
        if (install_method(t, &refuse_setstate_def) < 0) return -1;
        return 0;
    }
    pickle_registry()[t] = PickleInfo{class_spec.short_name, class_spec.pickle_spec};
    if (install_method(t, &state_reduce_def) < 0) return -1;
    if (install_method(t, &state_setstate_def) < 0) return -1;
    if (unpickle_used == kUnpickleSlots) {
        PyErr_SetString(PyExc_RuntimeError, "too many pickling classes");
        return -1;
    }
    int slot = unpickle_used++;
    unpickle_class[slot] = t;
    static std::map<std::string, PyMethodDef> defs;
    std::string fname = std::string("unpickle_") + class_spec.short_name;
    PyMethodDef& def = defs[std::string(class_spec.dotted)];
    PyObject* iname = intern(fname.c_str());
    def.ml_name = iname ? PyUnicode_AsUTF8(iname) : nullptr;
    if (!def.ml_name) return -1;
    def.ml_meth = (PyCFunction)(void (*)())unpickle_entries[slot];
    def.ml_flags = METH_FASTCALL;
    def.ml_doc = nullptr;
    Ref modname = Ref::steal(PyUnicode_FromString(PyModule_GetName(module)));
    if (!modname) return -1;
    Ref fn = Ref::steal(PyCFunction_NewEx(&def, module, modname.get()));
    if (!fn) return -1;
    if (PyObject_SetAttrString(module, def.ml_name, fn.get()) < 0) return -1;
    pickle_registry()[t].unpickle = fn.release();
    return 0;
}

}  // namespace

PyObject* refuse_pickle() {
    PyErr_SetString(PyExc_TypeError, "no default __reduce__ due to non-trivial __cinit__");
    return nullptr;
}

// ---------------------------------------------------------------- classes

int register_class(PyObject* module, const ClassSpec& class_spec) {
    PyTypeObject* t = class_spec.type;
    std::memset(static_cast<void*>(t), 0, sizeof *t);
    Py_SET_REFCNT(reinterpret_cast<PyObject*>(t), 1);
    t->tp_name = class_spec.dotted;
    t->tp_basicsize = class_spec.basicsize;
    t->tp_doc = class_spec.doc;
    t->tp_base = class_spec.base;
    t->tp_new = class_spec.tp_new;
    t->tp_dealloc = class_spec.tp_dealloc;
    t->tp_methods = class_spec.methods;
    t->tp_getset = class_spec.getset;
    t->tp_members = class_spec.members;
    t->tp_as_number = class_spec.as_number;
    t->tp_as_sequence = class_spec.as_sequence;
    t->tp_as_mapping = class_spec.as_mapping;
    t->tp_as_buffer = class_spec.as_buffer;
    t->tp_repr = class_spec.tp_repr;
    t->tp_richcompare = class_spec.tp_richcompare;
    t->tp_hash = class_spec.tp_hash;
    t->tp_iter = class_spec.tp_iter;
    t->tp_vectorcall = class_spec.tp_vectorcall;
    t->tp_flags = Py_TPFLAGS_DEFAULT | (class_spec.final ? 0 : Py_TPFLAGS_BASETYPE);
    if (class_spec.tp_traverse) {
        t->tp_flags |= Py_TPFLAGS_HAVE_GC;
        t->tp_traverse = class_spec.tp_traverse;
        t->tp_clear = class_spec.tp_clear;
    }
    if (PyType_Ready(t) < 0) return -1;
    if (class_spec.vtable) {
        Ref cap = Ref::steal(PyCapsule_New(class_spec.vtable, nullptr, nullptr));
        if (!cap || PyDict_SetItemString(t->tp_dict, "__vtable__", cap.get()) < 0) return -1;
    }
    if (class_spec.pickle != Pickle::none && setup_pickle(module, class_spec) < 0) {
        PyErr_Clear();
        PyErr_Format(PyExc_RuntimeError, "Unable to initialize pickling for %s", class_spec.dotted);
        return -1;
    }
    PyType_Modified(t);
    Py_INCREF(t);
    if (PyModule_AddObject(module, class_spec.short_name, (PyObject*)t) < 0) {
        Py_DECREF(t);
        return -1;
    }
    return 0;
}

PyTypeObject* import_class(const char* module, const char* name, Py_ssize_t size,
                           const char* header) {
    Ref mod = Ref::steal(PyImport_ImportModule(module));
    Ref obj = mod ? Ref::steal(PyObject_GetAttrString(mod.get(), name)) : Ref();
    if (obj && !PyType_Check(obj.get())) {
        PyErr_Format(PyExc_TypeError, "%.200s.%.200s is not a type object", module, name);
        obj.reset();
    }
    if (obj) {
        Py_ssize_t actual = ((PyTypeObject*)obj.get())->tp_basicsize;
        if (actual != size) {
            PyErr_Format(PyExc_ValueError,
                         "%.200s.%.200s has the wrong size, try recompiling. Expected %zd, got %zd",
                         module, name, actual, size);
            obj.reset();
        }
    }
    if (!obj) {
        if (header) add_traceback(Where{module, header}, 1);
        return nullptr;
    }
    return (PyTypeObject*)obj.release();
}

void* import_vtable(PyTypeObject* type) {
    PyObject* key = intern("__vtable__");
    if (!key) return nullptr;
    Ref cap = Ref::steal(PyObject_GetItem(type->tp_dict, key));
    if (!cap) return nullptr;
    void* p = PyCapsule_CheckExact(cap.get()) ? PyCapsule_GetPointer(cap.get(), nullptr) : nullptr;
    if (!p) {
        PyErr_Clear();
        PyErr_SetString(PyExc_RuntimeError, "invalid vtable found for imported type");
    }
    return p;
}

int export_function(PyObject* module, const char* name, void* fn, const char* sig) {
    Ref capi = Ref::steal(PyObject_GetAttrString(module, "__capi__"));
    if (!capi) {
        PyErr_Clear();
        capi = Ref::steal(PyDict_New());
        if (!capi || PyObject_SetAttrString(module, "__capi__", capi.get()) < 0) return -1;
    }
    Ref cap = Ref::steal(PyCapsule_New(fn, sig, nullptr));
    if (!cap) return -1;
    return PyDict_SetItemString(capi.get(), name, cap.get());
}

void* import_function(const char* module, const char* name, const char* sig) {
    Ref mod = Ref::steal(PyImport_ImportModule(module));
    if (!mod) return nullptr;
    Ref capi = Ref::steal(PyObject_GetAttrString(mod.get(), "__capi__"));
    if (!capi) return nullptr;
    PyObject* cap = PyDict_Check(capi.get()) ? PyDict_GetItemString(capi.get(), name) : nullptr;
    if (!cap) {
        PyErr_Format(PyExc_ImportError, "%.200s does not export expected C function %.200s",
                     module, name);
        return nullptr;
    }
    const char* got = PyCapsule_GetName(cap);
    if (!got || std::strcmp(got, sig) != 0) {
        PyErr_Format(PyExc_TypeError,
                     "C function %.200s.%.200s has wrong signature (expected %.500s, got %.500s)",
                     module, name, sig, got ? got : "");
        return nullptr;
    }
    return PyCapsule_GetPointer(cap, got);
}

PyObject* alloc_instance(PyTypeObject* type, Fields f) {
    PyObject* o = type->tp_alloc(type, 0);
    if (!o) return nullptr;
    set_fields_none(o, f);
    return o;
}

void set_fields_none(PyObject* self, Fields f) {
    for (int i = 0; i < f.count; ++i) {
        auto** slot = reinterpret_cast<PyObject**>(reinterpret_cast<char*>(self) + f.offsets[i]);
        Py_INCREF(Py_None);
        *slot = Py_None;
    }
}

int traverse_fields(PyObject* self, Fields f, visitproc visit, void* arg) {
    for (int i = 0; i < f.count; ++i) {
        auto** slot = reinterpret_cast<PyObject**>(reinterpret_cast<char*>(self) + f.offsets[i]);
        Py_VISIT(*slot);
    }
    return 0;
}

void clear_fields(PyObject* self, Fields f) {
    // Fields are reset to None rather than null: methods may still run on a
    // cleared object (from a finaliser) and read them.
    for (int i = 0; i < f.count; ++i) {
        auto** slot = reinterpret_cast<PyObject**>(reinterpret_cast<char*>(self) + f.offsets[i]);
        PyObject* old = *slot;
        Py_INCREF(Py_None);
        *slot = Py_None;
        Py_XDECREF(old);
    }
}

void dealloc_instance(PyObject* self, Fields f) {
    PyTypeObject* t = Py_TYPE(self);
    if (PyType_IS_GC(t)) PyObject_GC_UnTrack(self);
    for (int i = 0; i < f.count; ++i) {
        auto** slot = reinterpret_cast<PyObject**>(reinterpret_cast<char*>(self) + f.offsets[i]);
        Py_CLEAR(*slot);
    }
    t->tp_free(self);
}

// ---------------------------------------------------------------- arguments

void raise_arg_count(const char* fname, Py_ssize_t expected, Py_ssize_t given, const char* how) {
    PyErr_Format(PyExc_TypeError, "%.200s() takes %.8s %zd positional argument%.1s (%zd given)",
                 fname, how, expected, expected == 1 ? "" : "s", given);
}

int parse_args(const char* fname, PyObject* args, PyObject* kwds, PyObject* const* names,
               Py_ssize_t n, PyObject** out) {
    return parse_args_range(fname, args, kwds, names, n, n, out);
}

int parse_args_range(const char* fname, PyObject* args, PyObject* kwds, PyObject* const* names,
                     Py_ssize_t nreq, Py_ssize_t n, PyObject** out) {
    Py_ssize_t npos = PyTuple_GET_SIZE(args);
    const bool exact = nreq == n;
    if (npos > n) {
        raise_arg_count(fname, n, npos, exact ? "exactly" : "at most");
        return -1;
    }
    if (!kwds && npos < nreq) {
        raise_arg_count(fname, nreq, npos, exact ? "exactly" : "at least");
        return -1;
    }
    for (Py_ssize_t i = 0; i < npos; ++i) out[i] = PyTuple_GET_ITEM(args, i);
    for (Py_ssize_t i = npos; i < n; ++i) out[i] = nullptr;
    if (!kwds) return 0;
    Py_ssize_t kwleft = PyDict_GET_SIZE(kwds);
    for (Py_ssize_t i = npos; i < n && kwleft > 0; ++i) {
        PyObject* v = PyDict_GetItemWithError(kwds, names[i]);
        if (v) {
            out[i] = v;
            --kwleft;
        } else if (PyErr_Occurred()) {
            return -1;
        }
    }
    // A required argument still missing: the count found before it.
    for (Py_ssize_t i = npos; i < nreq; ++i) {
        if (!out[i]) {
            raise_arg_count(fname, nreq, i, exact ? "exactly" : "at least");
            return -1;
        }
    }
    if (kwleft <= 0) return 0;
    // Something besides the named arguments was given: find what.
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
    }
    return 0;
}

bool check_arg_type(PyObject* obj, PyTypeObject* type, const char* argname) {
    return obj == Py_None || require_arg_type(obj, type, argname);
}

bool require_arg_type(PyObject* obj, PyTypeObject* type, const char* argname) {
    if (obj != Py_None && PyObject_TypeCheck(obj, type)) return true;
    PyErr_Format(PyExc_TypeError, "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)",
                 argname, type->tp_name, Py_TYPE(obj)->tp_name);
    return false;
}

bool check_convert(PyObject* obj, PyTypeObject* type) {
    return obj == Py_None || require_convert(obj, type);
}

bool require_convert(PyObject* obj, PyTypeObject* type) {
    if (obj != Py_None && PyObject_TypeCheck(obj, type)) return true;
    PyErr_Format(PyExc_TypeError, "Cannot convert %.200s to %.200s", Py_TYPE(obj)->tp_name,
                 type->tp_name);
    return false;
}

bool to_double(PyObject* o, double* out) {
    double v = PyFloat_CheckExact(o) ? PyFloat_AS_DOUBLE(o) : PyFloat_AsDouble(o);
    if (v == -1.0 && PyErr_Occurred()) return false;
    *out = v;
    return true;
}

bool to_float(PyObject* o, float* out) {
    double d;
    if (!to_double(o, &d)) return false;
    *out = (float)d;
    return true;
}

namespace {

// The integer conversion: an int (or subclass) as it is, anything else
// through __int__, whose result must be an int.
Ref as_int(PyObject* o) {
    if (PyLong_Check(o)) return Ref::new_ref(o);
    PyNumberMethods* nb = Py_TYPE(o)->tp_as_number;
    if (!nb || !nb->nb_int) {
        PyErr_SetString(PyExc_TypeError, "an integer is required");
        return Ref();
    }
    Ref r = Ref::steal(nb->nb_int(o));
    if (!r) return r;
    if (PyLong_CheckExact(r.get())) return r;
    if (PyLong_Check(r.get())) {
        if (PyErr_WarnFormat(PyExc_DeprecationWarning, 1,
                             "__int__ returned non-int (type %.200s).  The ability to return an "
                             "instance of a strict subclass of int is deprecated, and may be "
                             "removed in a future version of Python.",
                             Py_TYPE(r.get())->tp_name) < 0)
            return Ref();
        return r;
    }
    PyErr_Format(PyExc_TypeError, "__%.4s__ returned non-%.4s (type %.200s)", "int", "int",
                 Py_TYPE(r.get())->tp_name);
    return Ref();
}

bool signed_in_range(PyObject* o, long long lo, long long hi, const char* cname, long long* out) {
    Ref i = as_int(o);
    if (!i) return false;
    int overflow = 0;
    long long v = PyLong_AsLongLongAndOverflow(i.get(), &overflow);
    if (v == -1 && PyErr_Occurred()) return false;
    if (overflow || v < lo || v > hi) {
        PyErr_Format(PyExc_OverflowError, "value too large to convert to %s", cname);
        return false;
    }
    *out = v;
    return true;
}

// Every unsigned GL target is at most 32 bits wide, so a long long holds
// any value in range and the sign test needs no second conversion.
bool unsigned_in_range(PyObject* o, uint32_t hi, const char* cname, unsigned long long* out) {
    Ref i = as_int(o);
    if (!i) return false;
    int overflow = 0;
    long long v = PyLong_AsLongLongAndOverflow(i.get(), &overflow);
    if (v == -1 && PyErr_Occurred()) return false;
    if (overflow < 0 || (overflow == 0 && v < 0)) {
        PyErr_Format(PyExc_OverflowError, "can't convert negative value to %s", cname);
        return false;
    }
    if (overflow > 0 || static_cast<unsigned long long>(v) > hi) {
        PyErr_Format(PyExc_OverflowError, "value too large to convert to %s", cname);
        return false;
    }
    *out = static_cast<unsigned long long>(v);
    return true;
}

}  // namespace

bool to_int32(PyObject* o, int32_t* out) {
    long long v;
    if (!signed_in_range(o, INT32_MIN, INT32_MAX, "int", &v)) return false;
    *out = (int32_t)v;
    return true;
}

bool to_int64(PyObject* o, int64_t* out) {
    long long v;
    if (!signed_in_range(o, INT64_MIN, INT64_MAX, "long", &v)) return false;
    *out = (int64_t)v;
    return true;
}

bool to_size(PyObject* o, Py_ssize_t* out) {
    long long v;
    if (!signed_in_range(o, PY_SSIZE_T_MIN, PY_SSIZE_T_MAX, "Py_ssize_t", &v)) return false;
    *out = (Py_ssize_t)v;
    return true;
}

bool to_gluint(PyObject* o, uint32_t* out) {
    unsigned long long v;
    if (!unsigned_in_range(o, UINT32_MAX, "GLuint", &v)) return false;
    *out = (uint32_t)v;
    return true;
}

bool to_glenum(PyObject* o, uint32_t* out) {
    unsigned long long v;
    if (!unsigned_in_range(o, UINT32_MAX, "GLenum", &v)) return false;
    *out = (uint32_t)v;
    return true;
}

bool to_glboolean(PyObject* o, unsigned char* out) {
    unsigned long long v;
    if (!unsigned_in_range(o, 255, "GLboolean", &v)) return false;
    *out = (unsigned char)v;
    return true;
}

bool to_bool(PyObject* o, bool* out) {
    int t = o == Py_True ? 1 : o == Py_False ? 0 : o == Py_None ? 0 : PyObject_IsTrue(o);
    if (t < 0) return false;
    *out = t != 0;
    return true;
}

// ---------------------------------------------------------------- overridable

Ref find_override(PyObject* self, PyObject* name, PyCFunction builtin) {
    PyTypeObject* t = Py_TYPE(self);
    if (t->tp_dictoffset == 0 && !(t->tp_flags & Py_TPFLAGS_HEAPTYPE)) return Ref();
    Ref m = Ref::steal(PyObject_GetAttr(self, name));
    if (!m) return m;
    if (PyCFunction_Check(m.get()) && PyCFunction_GET_FUNCTION(m.get()) == builtin) return Ref();
    return m;
}

}  // namespace frame
