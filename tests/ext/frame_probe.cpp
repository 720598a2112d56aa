// A test-only module that exercises each behaviour of the module frame:
// a class with a method table and overridable methods, a derived class, an
// exported C function, a pickling class, and wrappers over the frame's
// conversions and imports so tests can drive their messages.
#include "frame/frame.hpp"
#include "glsupport/glsupport.hpp"

#include <cstddef>
#include <string>

namespace probe {
namespace {

constexpr const char* kFile = "vesk\\_testing\\frame_probe.cpp";
constexpr const char* kModule = "vesk._testing.frame_probe";

PyObject* construction_log;  // list; constructors append their class name

// ------------------------------------------------------------------ Probe

struct Probe;
struct ProbeVtab {
    void (*touch)(Probe* self, int skip);
    PyObject* (*value)(Probe* self, int skip);
};

struct Probe {
    PyObject_HEAD
    ProbeVtab* vtab;
    PyObject* name;
    int32_t count;
};

PyTypeObject probe_type;
ProbeVtab probe_vtab;
const Py_ssize_t probe_offsets[] = {offsetof(Probe, name)};
const frame::Fields probe_fields{probe_offsets, 1};
PyObject* probe_arg_names[2];

PyObject* py_touch(PyObject* self, PyObject*);
PyObject* py_value(PyObject* self, PyObject*);

// Probe.touch(self) -> void: counts; fails when name is None.
void touch(Probe* self, int skip) {
    static const frame::Where here{"vesk._testing.frame_probe.Probe.touch", kFile};
    if (!skip) {
        frame::Ref o = frame::find_override((PyObject*)self, frame::intern("touch"), py_touch);
        if (o) {
            frame::Ref r = frame::Ref::steal(PyObject_CallNoArgs(o.get()));
            if (!r) {
                frame::add_traceback(here, __LINE__);
                frame::write_unraisable(here.name);
            }
            return;
        }
        if (PyErr_Occurred()) {
            frame::add_traceback(here, __LINE__);
            frame::write_unraisable(here.name);
            return;
        }
    }
    if (self->name == Py_None) {
        PyErr_SetString(PyExc_ValueError, "touch needs a name");  // probe: void failure
        frame::add_traceback(here, __LINE__);
        frame::write_unraisable(here.name);
        return;
    }
    self->count += 1;
}

// Probe.value(self): the count; overridable and returns an object.
PyObject* value(Probe* self, int skip) {
    static const frame::Where here{"vesk._testing.frame_probe.Probe.value", kFile};
    if (!skip) {
        frame::Ref o = frame::find_override((PyObject*)self, frame::intern("value"), py_value);
        if (o) {
            PyObject* r = PyObject_CallNoArgs(o.get());
            return r ? r : FRAME_FAIL(here, nullptr);
        }
        if (PyErr_Occurred()) return FRAME_FAIL(here, nullptr);
    }
    return PyLong_FromLong(self->count);
}

PyObject* py_touch(PyObject* self, PyObject*) {
    touch((Probe*)self, 1);
    Py_RETURN_NONE;
}

PyObject* py_value(PyObject* self, PyObject*) { return value((Probe*)self, 1); }

// Calls through the method table as another module would (skip flag 0).
PyObject* py_call_touch(PyObject* self, PyObject*) {
    ((Probe*)self)->vtab->touch((Probe*)self, 0);
    return PyLong_FromLong(((Probe*)self)->count);
}

PyObject* py_call_value(PyObject* self, PyObject*) {
    static const frame::Where here{"vesk._testing.frame_probe.Probe.call_value", kFile};
    PyObject* r = ((Probe*)self)->vtab->value((Probe*)self, 0);
    return r ? r : FRAME_FAIL(here, nullptr);
}

int probe_cinit(Probe* self, PyObject* args, PyObject* kwds) {
    static const frame::Where here{"vesk._testing.frame_probe.Probe.__cinit__", kFile};
    PyObject* v[2];
    if (frame::parse_args("__cinit__", args, kwds, probe_arg_names, 2, v) < 0)
        return FRAME_FAIL(here, -1);
    int32_t count;
    if (!frame::to_int32(v[1], &count)) return FRAME_FAIL(here, -1);
    frame::set_field(&self->name, v[0]);
    self->count = count;
    frame::Ref tag = frame::Ref::steal(PyUnicode_FromString("Probe"));
    if (!tag || PyList_Append(construction_log, tag.get()) < 0) return FRAME_FAIL(here, -1);
    return 0;
}

PyObject* probe_new(PyTypeObject* t, PyObject* args, PyObject* kwds) {
    PyObject* o = frame::alloc_instance(t, probe_fields);
    if (!o) return nullptr;
    ((Probe*)o)->vtab = &probe_vtab;
    if (probe_cinit((Probe*)o, args, kwds) < 0) {
        Py_DECREF(o);
        return nullptr;
    }
    return o;
}

int probe_traverse(PyObject* o, visitproc visit, void* arg) {
    return frame::traverse_fields(o, probe_fields, visit, arg);
}
int probe_clear(PyObject* o) {
    frame::clear_fields(o, probe_fields);
    return 0;
}
void probe_dealloc(PyObject* o) { frame::dealloc_instance(o, probe_fields); }

PyObject* get_name(PyObject* o, void*) { return frame::Ref::new_ref(((Probe*)o)->name).release(); }

PyMethodDef probe_methods[] = {
    {"touch", py_touch, METH_NOARGS, "Probe.touch(self) -> void"},
    {"value", py_value, METH_NOARGS, "Probe.value(self)"},
    {"call_touch", py_call_touch, METH_NOARGS, "Probe.call_touch(self)"},
    {"call_value", py_call_value, METH_NOARGS, "Probe.call_value(self)"},
    {nullptr, nullptr, 0, nullptr},
};
PyGetSetDef probe_getset[] = {
    {"name", get_name, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// ------------------------------------------------------------------ DerivedProbe

struct DerivedProbe;
struct DerivedVtab {
    ProbeVtab base;
    PyObject* (*extra_value)(DerivedProbe* self);
};

struct DerivedProbe {
    Probe base;
    PyObject* extra;
};

PyTypeObject derived_type;
DerivedVtab derived_vtab;
const Py_ssize_t derived_offsets[] = {offsetof(DerivedProbe, extra)};
const frame::Fields derived_fields{derived_offsets, 1};

// Redefined in place: the derived count reads ten times larger.
PyObject* derived_value(Probe* self, int) { return PyLong_FromLong(self->count * 10); }
PyObject* derived_extra_value(DerivedProbe* self) { return frame::Ref::new_ref(self->extra).release(); }

PyObject* derived_new(PyTypeObject* t, PyObject* args, PyObject* kwds) {
    static const frame::Where here{"vesk._testing.frame_probe.DerivedProbe.__cinit__", kFile};
    PyObject* o = probe_new(t, args, kwds);  // the base's allocation step first
    if (!o) return nullptr;
    auto* self = (DerivedProbe*)o;
    self->base.vtab = &derived_vtab.base;
    frame::set_fields_none(o, derived_fields);
    frame::Ref tag = frame::Ref::steal(PyUnicode_FromString("DerivedProbe"));
    if (!tag || PyList_Append(construction_log, tag.get()) < 0) {
        Py_DECREF(o);
        return FRAME_FAIL(here, nullptr);
    }
    frame::set_field(&self->extra, tag.get());
    return o;
}

int derived_traverse(PyObject* o, visitproc visit, void* arg) {
    int r = frame::traverse_fields(o, derived_fields, visit, arg);
    return r ? r : probe_traverse(o, visit, arg);
}
int derived_clear(PyObject* o) {
    frame::clear_fields(o, derived_fields);
    return probe_clear(o);
}
void derived_dealloc(PyObject* o) {
    PyObject_GC_UnTrack(o);
    Py_CLEAR(((DerivedProbe*)o)->extra);
    probe_dealloc(o);
}

PyObject* py_extra_value(PyObject* self, PyObject*) {
    return ((DerivedVtab*)((Probe*)self)->vtab)->extra_value((DerivedProbe*)self);
}

PyMethodDef derived_methods[] = {
    {"extra_value", py_extra_value, METH_NOARGS, "DerivedProbe.extra_value(self)"},
    {nullptr, nullptr, 0, nullptr},
};

// ------------------------------------------------------------------ Record (pickles its fields)

struct Record {
    PyObject_HEAD
    uint32_t _gl_id;
    PyObject* _vertices;
};

PyTypeObject record_type;
const Py_ssize_t record_offsets[] = {offsetof(Record, _vertices)};
const frame::Fields record_fields{record_offsets, 1};

PyObject* record_new(PyTypeObject* t, PyObject*, PyObject*) {
    PyObject* o = frame::alloc_instance(t, record_fields);
    if (!o) return nullptr;
    ((Record*)o)->_gl_id = 0;
    return o;
}
int record_traverse(PyObject* o, visitproc visit, void* arg) {
    return frame::traverse_fields(o, record_fields, visit, arg);
}
int record_clear(PyObject* o) {
    frame::clear_fields(o, record_fields);
    return 0;
}
void record_dealloc(PyObject* o) { frame::dealloc_instance(o, record_fields); }

PyObject* get_gl_id(PyObject* o) { return PyLong_FromUnsignedLong(((Record*)o)->_gl_id); }
int set_gl_id(PyObject* o, PyObject* v) {
    uint32_t id;
    if (!frame::to_gluint(v, &id)) return -1;
    ((Record*)o)->_gl_id = id;
    return 0;
}
PyObject* get_vertices(PyObject* o) { return frame::Ref::new_ref(((Record*)o)->_vertices).release(); }
int set_vertices(PyObject* o, PyObject* v) {
    frame::set_field(&((Record*)o)->_vertices, v);
    return 0;
}

const frame::StateField record_state[] = {
    {"_gl_id", get_gl_id, set_gl_id},
    {"_vertices", get_vertices, set_vertices},
};

PyObject* rec_get_gl_id(PyObject* o, void*) { return get_gl_id(o); }
PyObject* rec_get_vertices(PyObject* o, void*) { return get_vertices(o); }
int rec_set_vertices(PyObject* o, PyObject* v, void*) {
    if (!v) {
        PyErr_SetString(PyExc_NotImplementedError, "__del__");
        return -1;
    }
    return set_vertices(o, v);
}
int rec_set_gl_id(PyObject* o, PyObject* v, void*) {
    if (!v) {
        PyErr_SetString(PyExc_NotImplementedError, "__del__");
        return -1;
    }
    return set_gl_id(o, v);
}
PyGetSetDef record_getset[] = {
    {"_gl_id", rec_get_gl_id, rec_set_gl_id, nullptr, nullptr},
    {"_vertices", rec_get_vertices, rec_set_vertices, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// ------------------------------------------------------------------ module functions

PyObject* convert(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    if (nargs != 2) {
        frame::raise_arg_count("convert", 2, nargs);
        return nullptr;
    }
    const char* kind = PyUnicode_AsUTF8(args[0]);
    if (!kind) return nullptr;
    PyObject* v = args[1];
    std::string k(kind);
    if (k == "double") {
        double d;
        return frame::to_double(v, &d) ? PyFloat_FromDouble(d) : nullptr;
    } else if (k == "float") {
        float f;
        return frame::to_float(v, &f) ? PyFloat_FromDouble(f) : nullptr;
    } else if (k == "int") {
        int32_t i;
        return frame::to_int32(v, &i) ? PyLong_FromLong(i) : nullptr;
    } else if (k == "GLuint") {
        uint32_t i;
        return frame::to_gluint(v, &i) ? PyLong_FromUnsignedLong(i) : nullptr;
    } else if (k == "GLenum") {
        uint32_t i;
        return frame::to_glenum(v, &i) ? PyLong_FromUnsignedLong(i) : nullptr;
    } else if (k == "GLboolean") {
        unsigned char i;
        return frame::to_glboolean(v, &i) ? PyLong_FromLong(i) : nullptr;
    } else if (k == "bool") {
        bool b;
        return frame::to_bool(v, &b) ? PyBool_FromLong(b) : nullptr;
    }
    PyErr_Format(PyExc_ValueError, "unknown kind %s", kind);
    return nullptr;
}

PyObject* takes_probe(PyObject*, PyObject* args, PyObject* kwds) {
    static PyObject* names[1];
    if (!names[0]) names[0] = frame::intern("probe");
    PyObject* v[1];
    if (frame::parse_args("takes_probe", args, kwds, names, 1, v) < 0) return nullptr;
    if (!frame::check_arg_type(v[0], &probe_type, "probe")) return nullptr;
    return frame::Ref::new_ref(v[0]).release();
}

// optional_args(first, second=None, third=None): the given values, None for
// those left out.
PyObject* optional_args(PyObject*, PyObject* args, PyObject* kwds) {
    static PyObject* names[3];
    if (!names[0]) {
        names[0] = frame::intern("first");
        names[1] = frame::intern("second");
        names[2] = frame::intern("third");
    }
    PyObject* v[3];
    if (frame::parse_args_range("optional_args", args, kwds, names, 1, 3, v) < 0) return nullptr;
    return Py_BuildValue("(OOO)", v[0], v[1] ? v[1] : Py_None, v[2] ? v[2] : Py_None);
}

PyObject* require_probe(PyObject*, PyObject* v) {
    if (!frame::require_arg_type(v, &probe_type, "probe")) return nullptr;
    if (!frame::require_convert(v, &probe_type)) return nullptr;
    return frame::Ref::new_ref(v).release();
}

PyObject* store_probe(PyObject*, PyObject* v) {
    if (!frame::check_convert(v, &probe_type)) return nullptr;
    return frame::Ref::new_ref(v).release();
}

PyObject* raise_here(PyObject*, PyObject*) {
    static const frame::Where here{"vesk._testing.frame_probe.raise_here", kFile};
    PyErr_SetString(PyExc_RuntimeError, "raised here");
    return FRAME_FAIL(here, nullptr);  // traceback line marker
}

PyObject* import_class(PyObject*, PyObject* args) {
    const char *mod, *name;
    Py_ssize_t size;
    if (!PyArg_ParseTuple(args, "ssn", &mod, &name, &size)) return nullptr;
    return (PyObject*)frame::import_class(mod, name, size);
}

PyObject* import_vtable(PyObject*, PyObject* type) {
    if (!PyType_Check(type)) {
        PyErr_SetString(PyExc_TypeError, "a type is required");
        return nullptr;
    }
    void* p = frame::import_vtable((PyTypeObject*)type);
    return p ? PyLong_FromVoidPtr(p) : nullptr;
}

PyObject* import_function(PyObject*, PyObject* args) {
    const char *mod, *name, *sig;
    if (!PyArg_ParseTuple(args, "sss", &mod, &name, &sig)) return nullptr;
    void* p = frame::import_function(mod, name, sig);
    return p ? PyLong_FromVoidPtr(p) : nullptr;
}

PyObject* check_version(PyObject*, PyObject* args) {
    const char *built, *dotted;
    if (!PyArg_ParseTuple(args, "ss", &built, &dotted)) return nullptr;
    if (frame::check_version(built, dotted) < 0) return nullptr;
    Py_RETURN_NONE;
}

PyObject* get_builtin(PyObject*, PyObject* name) {
    const char* s = PyUnicode_AsUTF8(name);
    return s ? frame::get_builtin(s).release() : nullptr;
}

// The exported C function: int probe_add(int, int).
int probe_add(int a, int b) { return a + b; }

// Calls the exported function through the capsule another module would use.
PyObject* call_imported_add(PyObject*, PyObject* args) {
    int a, b;
    if (!PyArg_ParseTuple(args, "ii", &a, &b)) return nullptr;
    auto fn = (int (*)(int, int))frame::import_function(kModule, "probe_add", "int (int, int)");
    return fn ? PyLong_FromLong(fn(a, b)) : nullptr;
}

// GL_VERSION of the current context, behind the context guard.
PyObject* gl_version(PyObject*, PyObject*) {
    static const frame::Where here{"vesk._testing.frame_probe.gl_version", kFile};
    if (!glsupport::require_context()) return FRAME_FAIL(here, nullptr);
    const GLubyte* v = glGetString(GL_VERSION);
    return PyUnicode_FromString(v ? (const char*)v : "");
}

PyMethodDef functions[] = {
    {"gl_version", gl_version, METH_NOARGS, "gl_version()"},
    {"convert", (PyCFunction)(void (*)())convert, METH_FASTCALL, "convert(kind, value)"},
    {"takes_probe", (PyCFunction)(void (*)())takes_probe, METH_VARARGS | METH_KEYWORDS,
     "takes_probe(Probe probe)"},
    {"store_probe", store_probe, METH_O, "store_probe(value)"},
    {"require_probe", require_probe, METH_O, "require_probe(Probe probe)"},
    {"optional_args", (PyCFunction)(void (*)())optional_args, METH_VARARGS | METH_KEYWORDS,
     "optional_args(first, second=None, third=None)"},
    {"raise_here", raise_here, METH_NOARGS, "raise_here()"},
    {"import_class", import_class, METH_VARARGS, "import_class(module, name, size)"},
    {"import_vtable", import_vtable, METH_O, "import_vtable(type)"},
    {"import_function", import_function, METH_VARARGS, "import_function(module, name, signature)"},
    {"check_version", check_version, METH_VARARGS, "check_version(built, dotted)"},
    {"get_builtin", get_builtin, METH_O, "get_builtin(name)"},
    {"call_imported_add", call_imported_add, METH_VARARGS, "call_imported_add(a, b)"},
    {nullptr, nullptr, 0, nullptr},
};

int register_classes(PyObject* module) {
    probe_arg_names[0] = frame::intern("name");
    probe_arg_names[1] = frame::intern("count");
    if (!probe_arg_names[0] || !probe_arg_names[1]) return -1;
    probe_vtab.touch = touch;
    probe_vtab.value = value;
    derived_vtab.base = probe_vtab;
    derived_vtab.base.value = derived_value;
    derived_vtab.extra_value = derived_extra_value;

    frame::ClassSpec p{};
    p.type = &probe_type;
    p.dotted = "vesk._testing.frame_probe.Probe";
    p.short_name = "Probe";
    p.basicsize = sizeof(Probe);
    p.tp_new = probe_new;
    p.tp_dealloc = probe_dealloc;
    p.tp_traverse = probe_traverse;
    p.tp_clear = probe_clear;
    p.methods = probe_methods;
    p.getset = probe_getset;
    p.vtable = &probe_vtab;
    if (frame::register_class(module, p) < 0) return -1;

    frame::ClassSpec d{};
    d.type = &derived_type;
    d.dotted = "vesk._testing.frame_probe.DerivedProbe";
    d.short_name = "DerivedProbe";
    d.basicsize = sizeof(DerivedProbe);
    d.base = &probe_type;
    d.tp_new = derived_new;
    d.tp_dealloc = derived_dealloc;
    d.tp_traverse = derived_traverse;
    d.tp_clear = derived_clear;
    d.methods = derived_methods;
    d.vtable = &derived_vtab;
    if (frame::register_class(module, d) < 0) return -1;

    frame::ClassSpec r{};
    r.type = &record_type;
    r.dotted = "vesk._testing.frame_probe.Record";
    r.short_name = "Record";
    r.basicsize = sizeof(Record);
    r.tp_new = record_new;
    r.tp_dealloc = record_dealloc;
    r.tp_traverse = record_traverse;
    r.tp_clear = record_clear;
    r.getset = record_getset;
    r.pickle = frame::Pickle::state;
    r.pickle_spec.checksum = 0xd66f295;
    r.pickle_spec.checksum_text = "0xd66f295 = (_gl_id, _vertices)";
    r.pickle_spec.fields = record_state;
    r.pickle_spec.nfields = 2;
    return frame::register_class(module, r);
}

int body(PyObject* module) {
    construction_log = PyList_New(0);
    if (!construction_log) return -1;
    Py_INCREF(construction_log);
    if (PyModule_AddObject(module, "construction_log", construction_log) < 0) return -1;
    return frame::export_function(module, "probe_add", (void*)probe_add, "int (int, int)");
}

const char* const builtins[] = {"range", "len", nullptr};

PyModuleDef def = {PyModuleDef_HEAD_INIT, "frame_probe", nullptr, -1, functions,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace probe

PyMODINIT_FUNC PyInit_frame_probe() {
    using namespace probe;
    frame::ModuleInit init{&def, kModule, kFile};
    init.register_classes = register_classes;
    init.body = body;
    init.builtins = builtins;
    return frame::init_module(init);
}
