// The base vertex buffer: one GL buffer name, bound as GL_ARRAY_BUFFER.
#include "vertex_buffer.hpp"

#include "frame/override_call.hpp"

namespace vesk::vertex_buffer {
namespace {

constexpr const char* kFile = "vesk\\opengl\\buffers\\vertex_buffer.cpp";

PyTypeObject type;
VertexBufferVtab vtab;
PyObject* s_bind;
PyObject* s_unbind;

VertexBuffer* cast(PyObject* o) { return reinterpret_cast<VertexBuffer*>(o); }

PyObject* py_bind(PyObject* self, PyObject*);
PyObject* py_unbind(PyObject* self, PyObject*);

// ------------------------------------------------------------------ methods

PyObject* bind(VertexBuffer* self, int skip) {
    static const frame::Where here{"vesk.opengl.buffers.vertex_buffer.VertexBuffer.bind", kFile};
    frame::Ref r;
    if (!skip && frame::call_override((PyObject*)self, s_bind, py_bind, &r))
        return r ? r.release() : FRAME_FAIL(here, nullptr);
    if (!glsupport::require_context()) return FRAME_FAIL(here, nullptr);
    glBindBuffer(GL_ARRAY_BUFFER, self->_gl_id);
    return frame::none();
}

PyObject* unbind(VertexBuffer* self, int skip) {
    static const frame::Where here{"vesk.opengl.buffers.vertex_buffer.VertexBuffer.unbind", kFile};
    frame::Ref r;
    if (!skip && frame::call_override((PyObject*)self, s_unbind, py_unbind, &r))
        return r ? r.release() : FRAME_FAIL(here, nullptr);
    if (!glsupport::require_context()) return FRAME_FAIL(here, nullptr);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    return frame::none();
}

PyObject* py_bind(PyObject* self, PyObject*) { return bind(cast(self), 1); }
PyObject* py_unbind(PyObject* self, PyObject*) { return unbind(cast(self), 1); }

// ------------------------------------------------------------------ allocation

// Takes no arguments and ignores any given: subclasses pass theirs through.
PyObject* tp_new(PyTypeObject* t, PyObject*, PyObject*) {
    static const frame::Where here{"vesk.opengl.buffers.vertex_buffer.VertexBuffer.__cinit__",
                                   kFile};
    if (!glsupport::require_context()) return FRAME_FAIL(here, nullptr);
    PyObject* o = t->tp_alloc(t, 0);
    if (!o) return FRAME_FAIL(here, nullptr);
    VertexBuffer* self = cast(o);
    self->vtab = &vtab;
    GLuint id = 0;
    glGenBuffers(1, &id);
    self->_gl_id = id;
    glsupport::own(&self->_owned, id);
    return o;
}

void tp_dealloc(PyObject* o) {
    glsupport::release(&cast(o)->_owned, glDeleteBuffers);
    Py_TYPE(o)->tp_free(o);
}

PyObject* get_gl_id(PyObject* o, void*) { return PyLong_FromUnsignedLong(cast(o)->_gl_id); }

PyObject* tp_repr(PyObject* o) {
    return PyUnicode_FromFormat("<%s gl_id=%u>", Py_TYPE(o)->tp_name, (unsigned)cast(o)->_gl_id);
}

PyMethodDef methods[] = {
    {"bind", py_bind, METH_NOARGS, "VertexBuffer.bind(self)"},
    {"unbind", py_unbind, METH_NOARGS, "VertexBuffer.unbind(self)"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef getset[] = {
    {"gl_id", get_gl_id, nullptr, "The GL buffer name bound by bind(), as an int.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

int register_classes(PyObject* module) {
    s_bind = frame::intern("bind");
    s_unbind = frame::intern("unbind");
    if (!s_bind || !s_unbind) return -1;
    vtab.bind = bind;
    vtab.unbind = unbind;

    frame::ClassSpec class_spec{};
    class_spec.type = &type;
    class_spec.dotted = "vesk.opengl.buffers.vertex_buffer.VertexBuffer";
    class_spec.short_name = kClass;
    class_spec.basicsize = sizeof(VertexBuffer);
    class_spec.doc =
        "VertexBuffer()\n\n"
        "Base class of the vertex buffers: owns one GL buffer name, generated\n"
        "when the object is created (a GL context must be current), and binds\n"
        "it as GL_ARRAY_BUFFER. Subclasses add the records and their upload.";
    class_spec.tp_new = tp_new;
    class_spec.tp_dealloc = tp_dealloc;
    class_spec.methods = methods;
    class_spec.getset = getset;
    class_spec.tp_repr = tp_repr;
    class_spec.vtable = &vtab;
    return frame::register_class(module, class_spec);
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "vertex_buffer", nullptr, -1, nullptr,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace vesk::vertex_buffer

PyMODINIT_FUNC PyInit_vertex_buffer() {
    using namespace vesk::vertex_buffer;
    frame::ModuleInit init{&def, kModule, kFile};
    init.register_classes = register_classes;
    return frame::init_module(init);
}
