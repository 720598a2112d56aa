// Element-array buffers: indices kept contiguously on the CPU in their
// uploaded form and uploaded in one glBufferData call.
#include "index_buffer.hpp"

#include "frame/override_call.hpp"

#include <cstring>

namespace vesk::index_buffer {
namespace {

constexpr const char* kFile = "vesk\\opengl\\buffers\\index_buffer.cpp";
constexpr const char* kEmpty = "the index buffer holds no indices";

PyTypeObject base_type;
PyTypeObject int_type;
IndexBufferVtab base_vtab;
IndexBufferVtab int_vtab;
PyObject* s_bind;
PyObject* s_unbind;
PyObject* s_buffer_data;
PyObject* s_add;

IndexBuffer* cast(PyObject* o) { return reinterpret_cast<IndexBuffer*>(o); }

PyObject* py_bind(PyObject* self, PyObject*);
PyObject* py_unbind(PyObject* self, PyObject*);
PyObject* py_buffer_data(PyObject* self, PyObject*);
PyObject* py_base_add(PyObject* self, PyObject* const* args, Py_ssize_t nargs);
PyObject* py_int_add(PyObject* self, PyObject* const* args, Py_ssize_t nargs);

// ------------------------------------------------------------------ methods

PyObject* bind(IndexBuffer* self, int skip) {
    static const frame::Where here{"vesk.opengl.buffers.index_buffer.IndexBuffer.bind", kFile};
    frame::Ref r;
    if (!skip && frame::call_override((PyObject*)self, s_bind, py_bind, &r))
        return r ? r.release() : FRAME_FAIL(here, nullptr);
    if (!glsupport::require_context()) return FRAME_FAIL(here, nullptr);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, self->_gl_id);
    return frame::none();
}

PyObject* unbind(IndexBuffer* self, int skip) {
    static const frame::Where here{"vesk.opengl.buffers.index_buffer.IndexBuffer.unbind", kFile};
    frame::Ref r;
    if (!skip && frame::call_override((PyObject*)self, s_unbind, py_unbind, &r))
        return r ? r.release() : FRAME_FAIL(here, nullptr);
    if (!glsupport::require_context()) return FRAME_FAIL(here, nullptr);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    return frame::none();
}

// Uploads through GL_COPY_WRITE_BUFFER: binding GL_ELEMENT_ARRAY_BUFFER
// would change the element-array binding of whatever vertex array object is
// bound. GL_COPY_WRITE_BUFFER is left at 0.
PyObject* buffer_data(IndexBuffer* self, int skip) {
    static const frame::Where here{"vesk.opengl.buffers.index_buffer.IndexBuffer.buffer_data",
                                   kFile};
    frame::Ref r;
    if (!skip && frame::call_override((PyObject*)self, s_buffer_data, py_buffer_data, &r))
        return r ? r.release() : FRAME_FAIL(here, nullptr);
    if (!glsupport::require_context()) return FRAME_FAIL(here, nullptr);
    size_t bytes = frame::record_bytes(self->_indices);
    glBindBuffer(GL_COPY_WRITE_BUFFER, self->_gl_id);
    glBufferData(GL_COPY_WRITE_BUFFER, (GLsizeiptr)bytes, bytes ? self->_indices.begin : nullptr,
                 GL_STATIC_DRAW);
    glBindBuffer(GL_COPY_WRITE_BUFFER, 0);
    return frame::none();
}

// The base stores no index type.
PyObject* base_add(IndexBuffer* self, int64_t index, int skip) {
    static const frame::Where here{"vesk.opengl.buffers.index_buffer.IndexBuffer.add", kFile};
    if (!skip) {
        frame::Ref value = frame::Ref::steal(PyLong_FromLongLong(index));
        if (!value) return FRAME_FAIL(here, nullptr);
        frame::Ref r;
        if (frame::call_override((PyObject*)self, s_add, (PyCFunction)(void (*)())py_base_add, &r,
                                 {value.get()}))
            return r ? r.release() : FRAME_FAIL(here, nullptr);
    }
    PyErr_SetString(PyExc_NotImplementedError,
                    "IndexBuffer stores no index type; use a subclass such as IntIndexBuffer");
    return FRAME_FAIL(here, nullptr);
}

PyObject* int_add(IndexBuffer* self, int64_t index, int skip) {
    static const frame::Where here{"vesk.opengl.buffers.index_buffer.IntIndexBuffer.add", kFile};
    if (!skip && FRAME_UNLIKELY(Py_TYPE(self)->tp_flags & Py_TPFLAGS_HEAPTYPE)) {
        frame::Ref value = frame::Ref::steal(PyLong_FromLongLong(index));
        if (!value) return FRAME_FAIL(here, nullptr);
        frame::Ref r;
        if (frame::call_override((PyObject*)self, s_add, (PyCFunction)(void (*)())py_int_add, &r,
                                 {value.get()}))
            return r ? r.release() : FRAME_FAIL(here, nullptr);
    }
    if (FRAME_UNLIKELY(index < 0)) {
        PyErr_SetString(PyExc_OverflowError, "can't convert negative value to GLuint");
        return FRAME_FAIL(here, nullptr);
    }
    if (FRAME_UNLIKELY(index > (int64_t)UINT32_MAX)) {
        PyErr_SetString(PyExc_OverflowError, "value too large to convert to GLuint");
        return FRAME_FAIL(here, nullptr);
    }
    uint32_t v = (uint32_t)index;
    if (frame::record_append(&self->_indices, &v, sizeof v, kMaxIndices) < 0)
        return FRAME_FAIL(here, nullptr);
    return frame::none();
}

PyObject* py_bind(PyObject* self, PyObject*) { return bind(cast(self), 1); }
PyObject* py_unbind(PyObject* self, PyObject*) { return unbind(cast(self), 1); }
PyObject* py_buffer_data(PyObject* self, PyObject*) { return buffer_data(cast(self), 1); }

// add(index): exactly one positional argument, converted to GLuint.
PyObject* py_add(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                 PyObject* (*body)(IndexBuffer*, int64_t, int), const frame::Where& here) {
    if (nargs != 1) {
        frame::raise_arg_count("add", 1, nargs);
        return FRAME_FAIL(here, nullptr);
    }
    uint32_t index;
    if (!frame::to_gluint(args[0], &index)) return FRAME_FAIL(here, nullptr);
    return body(cast(self), index, 1);
}

PyObject* py_base_add(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
    static const frame::Where here{"vesk.opengl.buffers.index_buffer.IndexBuffer.add", kFile};
    return py_add(self, args, nargs, base_add, here);
}

PyObject* py_int_add(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
    static const frame::Where here{"vesk.opengl.buffers.index_buffer.IntIndexBuffer.add", kFile};
    return py_add(self, args, nargs, int_add, here);
}

// ------------------------------------------------------------------ protocols

Py_ssize_t sq_length(PyObject* o) { return index_count(cast(o)); }

int nb_bool(PyObject* o) { return index_count(cast(o)) > 0; }

int bf_getbuffer(PyObject* o, Py_buffer* view, int flags) {
    IndexBuffer* self = cast(o);
    if (self->index_size == 0) return frame::record_get_buffer(o, &self->_indices, view, flags, "B", 1);
    return frame::record_get_buffer(o, &self->_indices, view, flags, "I", self->index_size);
}

void bf_releasebuffer(PyObject* o, Py_buffer* view) {
    frame::record_release_buffer(&cast(o)->_indices, view);
}

PySequenceMethods as_sequence = {sq_length, nullptr, nullptr, nullptr, nullptr,
                                 nullptr,   nullptr, nullptr, nullptr, nullptr};
PyNumberMethods as_number = [] {
    PyNumberMethods n{};
    n.nb_bool = nb_bool;
    return n;
}();
PyBufferProcs as_buffer = {bf_getbuffer, bf_releasebuffer};

// ------------------------------------------------------------------ properties

PyObject* get_gl_id(PyObject* o, void*) { return PyLong_FromUnsignedLong(cast(o)->_gl_id); }

PyObject* get_raw(PyObject* o, void*) {
    static const frame::Where here{"vesk.opengl.buffers.index_buffer.IndexBuffer.raw.__get__",
                                   kFile};
    PyObject* v = frame::record_memoryview(o, cast(o)->_indices, kEmpty);
    return v ? v : FRAME_FAIL(here, nullptr);
}

PyObject* get_indices(PyObject* o, void*) {
    static const frame::Where here{
        "vesk.opengl.buffers.index_buffer.IndexBuffer.indices.__get__", kFile};
    IndexBuffer* self = cast(o);
    Py_ssize_t n = index_count(self);
    frame::Ref list = frame::Ref::steal(PyList_New(n));
    if (!list) return FRAME_FAIL(here, nullptr);
    for (Py_ssize_t i = 0; i < n; ++i) {
        // Only IntIndexBuffer stores indices (4 bytes each).
        uint32_t v;
        std::memcpy(&v, self->_indices.begin + i * self->index_size, sizeof v);
        PyObject* item = PyLong_FromUnsignedLong(v);
        if (!item) return FRAME_FAIL(here, nullptr);
        PyList_SET_ITEM(list.get(), i, item);
    }
    return list.release();
}

// ------------------------------------------------------------------ allocation

PyObject* base_new(PyTypeObject* t, PyObject*, PyObject*) {
    static const frame::Where here{"vesk.opengl.buffers.index_buffer.IndexBuffer.__cinit__",
                                   kFile};
    if (!glsupport::require_context()) return FRAME_FAIL(here, nullptr);
    PyObject* o = t->tp_alloc(t, 0);
    if (!o) return FRAME_FAIL(here, nullptr);
    IndexBuffer* self = cast(o);
    self->vtab = &base_vtab;
    self->index_type = 0;
    self->index_size = 0;
    GLuint id = 0;
    glGenBuffers(1, &id);
    self->_gl_id = id;
    glsupport::own(&self->_owned, id);
    return o;
}

PyObject* int_new(PyTypeObject* t, PyObject* args, PyObject* kwds) {
    PyObject* o = base_new(t, args, kwds);
    if (!o) return nullptr;
    IndexBuffer* self = cast(o);
    self->vtab = &int_vtab;
    self->index_type = GL_UNSIGNED_INT;
    self->index_size = 4;
    return o;
}

void tp_dealloc(PyObject* o) {
    IndexBuffer* self = cast(o);
    frame::record_free(&self->_indices);
    glsupport::release(&self->_owned, glDeleteBuffers);
    Py_TYPE(o)->tp_free(o);
}

PyObject* tp_repr(PyObject* o) {
    return PyUnicode_FromFormat("<%s gl_id=%u indices=%zd>", Py_TYPE(o)->tp_name,
                                (unsigned)cast(o)->_gl_id, index_count(cast(o)));
}

PyMethodDef base_methods[] = {
    {"bind", py_bind, METH_NOARGS, "IndexBuffer.bind(self)"},
    {"unbind", py_unbind, METH_NOARGS, "IndexBuffer.unbind(self)"},
    {"buffer_data", py_buffer_data, METH_NOARGS, "IndexBuffer.buffer_data(self)"},
    {"add", (PyCFunction)(void (*)())py_base_add, METH_FASTCALL, "IndexBuffer.add(self, GLuint index)"},
    {nullptr, nullptr, 0, nullptr},
};

PyMethodDef int_methods[] = {
    {"add", (PyCFunction)(void (*)())py_int_add, METH_FASTCALL,
     "IntIndexBuffer.add(self, GLuint index)"},
    {nullptr, nullptr, 0, nullptr},
};

PyObject* get_capacity(PyObject* o, void*) {
    return PyLong_FromSsize_t(
        frame::record_capacity(cast(o)->_indices, static_cast<size_t>(cast(o)->index_size)));
}

PyGetSetDef getset[] = {
    {"_capacity", get_capacity, nullptr, "Indices the CPU-side storage holds room for.", nullptr},
    {"gl_id", get_gl_id, nullptr, "The GL buffer name bound by bind(), as an int.", nullptr},
    {"raw", get_raw, nullptr,
     "A writable memory view over the stored indices, in place (ValueError when empty).\n"
     "While any view is alive the buffer cannot grow: add() raises BufferError.",
     nullptr},
    {"indices", get_indices, nullptr, "A new list of the stored indices, in order.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

int register_classes(PyObject* module) {
    s_bind = frame::intern("bind");
    s_unbind = frame::intern("unbind");
    s_buffer_data = frame::intern("buffer_data");
    s_add = frame::intern("add");
    if (!s_bind || !s_unbind || !s_buffer_data || !s_add) return -1;
    base_vtab.bind = bind;
    base_vtab.unbind = unbind;
    base_vtab.buffer_data = buffer_data;
    base_vtab.add = base_add;
    int_vtab = base_vtab;
    int_vtab.add = int_add;

    frame::ClassSpec b{};
    b.type = &base_type;
    b.dotted = "vesk.opengl.buffers.index_buffer.IndexBuffer";
    b.short_name = kIndexBuffer;
    b.basicsize = sizeof(IndexBuffer);
    b.doc =
        "IndexBuffer()\n\n"
        "Base class of the element-array buffers: owns one GL buffer name,\n"
        "generated when the object is created (a GL context must be current),\n"
        "binds it as GL_ELEMENT_ARRAY_BUFFER and uploads the stored indices.\n"
        "len() is the number of indices; true when it holds any.";
    b.tp_new = base_new;
    b.tp_dealloc = tp_dealloc;
    b.methods = base_methods;
    b.getset = getset;
    b.as_sequence = &as_sequence;
    b.as_number = &as_number;
    b.as_buffer = &as_buffer;
    b.tp_repr = tp_repr;
    b.vtable = &base_vtab;
    if (frame::register_class(module, b) < 0) return -1;

    frame::ClassSpec i{};
    i.type = &int_type;
    i.dotted = "vesk.opengl.buffers.index_buffer.IntIndexBuffer";
    i.short_name = kIntIndexBuffer;
    i.basicsize = sizeof(IntIndexBuffer);
    i.doc =
        "IntIndexBuffer()\n\n"
        "An index buffer of unsigned 32-bit indices (GL_UNSIGNED_INT).";
    i.base = &base_type;
    i.tp_new = int_new;
    i.tp_dealloc = tp_dealloc;
    i.methods = int_methods;
    i.vtable = &int_vtab;
    return frame::register_class(module, i);
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "index_buffer", nullptr, -1, nullptr,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace vesk::index_buffer

PyMODINIT_FUNC PyInit_index_buffer() {
    using namespace vesk::index_buffer;
    frame::ModuleInit init{&def, kModule, kFile};
    init.register_classes = register_classes;
    return frame::init_module(init);
}
