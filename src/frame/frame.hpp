// The module frame: references, errors, module init, class registration,
// argument parsing and conversion, overridable methods, cross-module binding
// and pickling. Every extension module of the package links this library
// (libvesk_core), so the process has one copy of its state.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <utility>

#define FRAME_LIKELY(x) __builtin_expect(!!(x), 1)
#define FRAME_UNLIKELY(x) __builtin_expect(!!(x), 0)

namespace frame {

// ---------------------------------------------------------------- references

// Owning reference. Move-only; ownership enters through steal() or new_ref()
// and leaves through release().
class Ref {
public:
    Ref() = default;
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    Ref& operator=(Ref&& o) noexcept {
        if (this != &o) { PyObject* old = p_; p_ = o.p_; o.p_ = nullptr; Py_XDECREF(old); }
        return *this;
    }
    ~Ref() { Py_XDECREF(p_); }

    static Ref steal(PyObject* p) { Ref r; r.p_ = p; return r; }
    static Ref new_ref(PyObject* p) { Py_XINCREF(p); return steal(p); }

    PyObject* get() const { return p_; }
    PyObject* release() { PyObject* p = p_; p_ = nullptr; return p; }
    explicit operator bool() const { return p_ != nullptr; }
    void reset() { Py_CLEAR(p_); }

private:
    PyObject* p_ = nullptr;
};

// Replace an owned object field (a layout slot) by a new reference to v.
inline void set_field(PyObject** slot, PyObject* v) {
    PyObject* old = *slot;
    Py_INCREF(v);
    *slot = v;
    Py_XDECREF(old);
}

// ---------------------------------------------------------------- errors

// Where a compiled function lives: its dotted name and its source file as
// the package names it ("vesk\scene\ui\pointer_status.cpp").
struct Where {
    const char* name;
    const char* file;
};

// Add one traceback entry for the pending exception. Code objects are cached
// per (name, file, line).
void add_traceback(const Where& w, int line);
inline void add_traceback(const char* name, const char* file, int line) {
    add_traceback(Where{name, file}, line);
}

// Report the pending exception as unraisable in the context of `name`:
// print it with its traceback (recording it as the last error), pass it to
// sys.unraisablehook, and leave no exception set.
void write_unraisable(const char* name);


// Record the pending error at this function and line, then evaluate to
// `result`. Use as: return FRAME_FAIL(here, nullptr);
#define FRAME_FAIL(where, result) (::frame::add_traceback((where), __LINE__), (result))

// ---------------------------------------------------------------- module init

struct ModuleInit {
    PyModuleDef* def;           // short name, no docstring, size -1
    const char* dotted;         // "vesk.scene.ui.pointer_status"
    const char* file;           // traceback file of the init entry
    // Step 5 and 6; each returns 0 or -1 with an exception set.
    int (*register_classes)(PyObject* module) = nullptr;
    int (*import_classes)(PyObject* module) = nullptr;
    int (*import_functions)(PyObject* module) = nullptr;
    int (*body)(PyObject* module) = nullptr;
    // Builtins the module uses, fetched in step 4 (null-terminated).
    const char* const* builtins = nullptr;
};

// Run the init steps; returns the new module or nullptr on failure.
PyObject* init_module(const ModuleInit& init);

// Look up a builtin by name: NameError "name '%U' is not defined".
Ref get_builtin(const char* name);

// The version-check step, separated so that tests can drive the warning:
// compares "built" ("3.11") with the running interpreter's major.minor.
int check_version(const char* built, const char* dotted);

// ---------------------------------------------------------------- classes

enum class Pickle { refuse, state, none };

// One field of a pickled state, in layout order.
struct StateField {
    const char* name;
    PyObject* (*get)(PyObject* self);             // new reference or nullptr
    int (*set)(PyObject* self, PyObject* value);  // 0 or -1
};

struct PickleSpec {
    uint32_t checksum = 0;
    const char* checksum_text = nullptr;  // "0xd66f295 = (_gl_id, _vertices)"
    const StateField* fields = nullptr;
    int nfields = 0;
};

struct ClassSpec {
    PyTypeObject* type;         // static storage, zero-filled
    const char* dotted;         // "vesk.scene.ui.pointer_status.PointerStatus"
    const char* short_name;     // "PointerStatus"
    Py_ssize_t basicsize;
    const char* doc = nullptr;
    PyTypeObject* base = nullptr;
    newfunc tp_new = nullptr;
    destructor tp_dealloc = nullptr;
    traverseproc tp_traverse = nullptr;  // set for classes holding references
    inquiry tp_clear = nullptr;
    PyMethodDef* methods = nullptr;
    PyGetSetDef* getset = nullptr;
    PyMemberDef* members = nullptr;
    PyNumberMethods* as_number = nullptr;
    PySequenceMethods* as_sequence = nullptr;
    PyMappingMethods* as_mapping = nullptr;
    PyBufferProcs* as_buffer = nullptr;
    reprfunc tp_repr = nullptr;
    richcmpfunc tp_richcompare = nullptr;
    hashfunc tp_hash = nullptr;
    getiterfunc tp_iter = nullptr;
    vectorcallfunc tp_vectorcall = nullptr;  // calling the class itself (not inherited)
    void* vtable = nullptr;     // published as __vtable__ when set
    Pickle pickle = Pickle::refuse;
    PickleSpec pickle_spec{};
    bool final = false;         // no Python subclasses
};

// Ready the class, publish __vtable__, set up pickling and set the module
// attribute. For Pickle::state the module also gets unpickle_<Class>.
int register_class(PyObject* module, const ClassSpec& class_spec);

// Import a class of another module with the instance-size check. `header`
// names the declaring .hpp for the traceback of a failed import.
PyTypeObject* import_class(const char* module, const char* name, Py_ssize_t size,
                           const char* header = nullptr);
// The __vtable__ capsule's address of a class.
void* import_vtable(PyTypeObject* type);

// Export a C function under `name` into the module's __capi__ with its
// signature text as the capsule name.
int export_function(PyObject* module, const char* name, void* fn, const char* sig);
// Import a C function by name and signature text.
void* import_function(const char* module, const char* name, const char* sig);

// Generic allocation/deallocation for compiled classes. `Obj` names object
// fields by offset so that new/traverse/clear/dealloc visit exactly those.
struct Fields {
    const Py_ssize_t* offsets;
    int count;
};

// Allocate an instance of `type` (which may be a Python subclass), set the
// object fields listed in `f` to None. Returns a new reference or nullptr.
PyObject* alloc_instance(PyTypeObject* type, Fields f);
void set_fields_none(PyObject* self, Fields f);
int traverse_fields(PyObject* self, Fields f, visitproc visit, void* arg);
void clear_fields(PyObject* self, Fields f);
// Dealloc helper: untrack, clear fields, free. For a derived class, call the
// base's dealloc after clearing the derived fields instead of freeing.
void dealloc_instance(PyObject* self, Fields f);

// ---------------------------------------------------------------- arguments

// Parse positional-or-keyword arguments into `out[0..n)` (borrowed).
// `fname` is the name in messages ("__cinit__" for constructors).
// All n arguments are required.
int parse_args(const char* fname, PyObject* args, PyObject* kwds,
               PyObject* const* names, Py_ssize_t n, PyObject** out);

// Like parse_args, for functions whose arguments after the first `nreq` may
// be left out: out[i] is nullptr for an optional argument not given.
int parse_args_range(const char* fname, PyObject* args, PyObject* kwds, PyObject* const* names,
                     Py_ssize_t nreq, Py_ssize_t n, PyObject** out);

// The argument-count error: "%.200s() takes %.8s %zd positional argument%.1s (%zd given)";
// `how` is "exactly", "at least" or "at most".
void raise_arg_count(const char* fname, Py_ssize_t expected, Py_ssize_t given,
                     const char* how = "exactly");

// Class check of a declared argument; None passes.
// TypeError "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)".
bool check_arg_type(PyObject* obj, PyTypeObject* type, const char* argname);
// Conversion of an unchecked value to a declared class; None passes.
// TypeError "Cannot convert %.200s to %.200s".
bool check_convert(PyObject* obj, PyTypeObject* type);

// The same two checks where the operation needs a real instance: None is
// refused with the same message (got NoneType).
bool require_arg_type(PyObject* obj, PyTypeObject* type, const char* argname);
bool require_convert(PyObject* obj, PyTypeObject* type);

// Number conversions; each returns false with an exception set.
bool to_double(PyObject* o, double* out);
bool to_float(PyObject* o, float* out);
bool to_int32(PyObject* o, int32_t* out);
bool to_int64(PyObject* o, int64_t* out);
bool to_gluint(PyObject* o, uint32_t* out);
bool to_glenum(PyObject* o, uint32_t* out);
bool to_glboolean(PyObject* o, unsigned char* out);
bool to_bool(PyObject* o, bool* out);
bool to_size(PyObject* o, Py_ssize_t* out);

// An interned identifier that lives for the process.
PyObject* intern(const char* s);

// ---------------------------------------------------------------- overridable

// For a C-level call with skip flag 0: when `self` belongs to a Python
// subclass and its attribute `name` is not the built-in method whose C entry
// is `builtin`, return that override. Returns an empty Ref without error when
// there is none; an empty Ref with an error set when the lookup failed.
Ref find_override(PyObject* self, PyObject* name, PyCFunction builtin);

// ---------------------------------------------------------------- misc

// None as a new reference.
inline PyObject* none() { Py_RETURN_NONE; }
inline PyObject* py_bool(bool b) { return PyBool_FromLong(b); }

// Raise the pickling refusal.
PyObject* refuse_pickle();

}  // namespace frame
