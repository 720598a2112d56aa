// Named GLSL texts for "#include_reference": one process-wide registry,
// reached through static methods of GlslReferenceInclude.
#include "glsl_reference_include.hpp"

namespace vesk::glsl_reference_include {
namespace {

constexpr const char* kFile = "vesk\\opengl\\glsl\\glsl_reference_include.cpp";
PyTypeObject type;
PyObject* texts;  // dict: name -> text

bool check_name(PyObject* name) {
    if (PyUnicode_Check(name)) return true;
    PyErr_Format(PyExc_TypeError, "include name must be str, not %.200s", Py_TYPE(name)->tp_name);
    return false;
}

PyObject* get_include_text(PyObject* name) {
    if (!check_name(name)) return nullptr;
    PyObject* t = PyDict_GetItemWithError(texts, name);  // borrowed
    if (t) return frame::Ref::new_ref(t).release();
    return PyErr_Occurred() ? nullptr : frame::none();
}

PyObject* py_get_include_text(PyObject*, PyObject* name) {
    static const frame::Where here{
        "vesk.opengl.glsl.glsl_reference_include.GlslReferenceInclude.get_include_text", kFile};
    PyObject* r = get_include_text(name);
    return r ? r : FRAME_FAIL(here, nullptr);
}

PyObject* py_set_include_text(PyObject*, PyObject* args, PyObject* kwds) {
    static const frame::Where here{
        "vesk.opengl.glsl.glsl_reference_include.GlslReferenceInclude.set_include_text", kFile};
    static PyObject* names[2];
    if (!names[0]) {
        names[0] = frame::intern("name");
        names[1] = frame::intern("text");
        if (!names[0] || !names[1]) return nullptr;
    }
    PyObject* v[2];
    if (frame::parse_args("set_include_text", args, kwds, names, 2, v) < 0)
        return FRAME_FAIL(here, nullptr);
    if (!check_name(v[0])) return FRAME_FAIL(here, nullptr);
    if (v[1] == Py_None) {
        // None forgets the name; forgetting an unknown name is not an error.
        if (PyDict_DelItem(texts, v[0]) < 0) {
            if (!PyErr_ExceptionMatches(PyExc_KeyError)) return FRAME_FAIL(here, nullptr);
            PyErr_Clear();
        }
        Py_RETURN_NONE;
    }
    if (!PyUnicode_Check(v[1])) {
        PyErr_Format(PyExc_TypeError, "include text must be str or None, not %.200s",
                     Py_TYPE(v[1])->tp_name);
        return FRAME_FAIL(here, nullptr);
    }
    if (PyDict_SetItem(texts, v[0], v[1]) < 0) return FRAME_FAIL(here, nullptr);
    Py_RETURN_NONE;
}

PyObject* py_get_include_names(PyObject*, PyObject*) {
    static const frame::Where here{
        "vesk.opengl.glsl.glsl_reference_include.GlslReferenceInclude.get_include_names", kFile};
    PyObject* keys = PyDict_Keys(texts);
    if (!keys) return FRAME_FAIL(here, nullptr);
    if (PyList_Sort(keys) < 0) {
        Py_DECREF(keys);
        return FRAME_FAIL(here, nullptr);
    }
    return keys;
}

PyObject* tp_new(PyTypeObject* t, PyObject*, PyObject*) {
    // Takes no arguments and ignores any given: the registry is global.
    static const frame::Where here{
        "vesk.opengl.glsl.glsl_reference_include.GlslReferenceInclude.__cinit__", kFile};
    PyObject* o = t->tp_alloc(t, 0);
    return o ? o : FRAME_FAIL(here, nullptr);
}

void tp_dealloc(PyObject* self) { Py_TYPE(self)->tp_free(self); }

PyMethodDef methods[] = {
    {"set_include_text", (PyCFunction)(void (*)())py_set_include_text,
     METH_VARARGS | METH_KEYWORDS | METH_STATIC,
     "GlslReferenceInclude.set_include_text(str name, str text)"},
    {"get_include_text", py_get_include_text, METH_O | METH_STATIC,
     "GlslReferenceInclude.get_include_text(str name)"},
    {"get_include_names", py_get_include_names, METH_NOARGS | METH_STATIC,
     "GlslReferenceInclude.get_include_names()"},
    {nullptr, nullptr, 0, nullptr},
};

int register_classes(PyObject* module) {
    texts = PyDict_New();
    if (!texts) return -1;
    frame::ClassSpec class_spec{};
    class_spec.type = &type;
    class_spec.dotted = "vesk.opengl.glsl.glsl_reference_include.GlslReferenceInclude";
    class_spec.short_name = kClass;
    class_spec.basicsize = sizeof(GlslReferenceInclude);
    class_spec.doc =
        "GlslReferenceInclude()\n\n"
        "Process-wide registry of named GLSL texts expanded by \"#include_reference\".";
    class_spec.tp_new = tp_new;
    class_spec.tp_dealloc = tp_dealloc;
    class_spec.methods = methods;
    return frame::register_class(module, class_spec);
}

int body(PyObject* module) {
    return frame::export_function(module, kGetIncludeTextName, (void*)get_include_text,
                                  kGetIncludeTextSig);
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "glsl_reference_include", nullptr, -1, nullptr,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace vesk::glsl_reference_include

PyMODINIT_FUNC PyInit_glsl_reference_include() {
    using namespace vesk::glsl_reference_include;
    frame::ModuleInit init{&def, kModule, kFile};
    init.register_classes = register_classes;
    init.body = body;
    return frame::init_module(init);
}
