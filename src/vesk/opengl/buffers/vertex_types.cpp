// Vertex buffers with fixed record types, stored in their uploaded layout.
#include "vertex_types.hpp"

#include "frame/override_call.hpp"
#include "linvec/vector3f.hpp"

namespace vesk::vertex_types {
namespace {

using vertex_buffer::VertexBuffer;
using vertex_buffer::VertexBufferVtab;

constexpr const char* kFile = "vesk\\opengl\\buffers\\vertex_types.cpp";

PyTypeObject pos_type;
PosVertexBufferVtab pos_vtab;
PyTypeObject* vertex_buffer_type;  // the imported base
PyObject* s_buffer_data;
PyObject* s_add;
PyObject* s_get_stride_size;

PosVertexBuffer* cast(PyObject* o) { return reinterpret_cast<PosVertexBuffer*>(o); }

PyObject* py_buffer_data(PyObject* self, PyObject*);
PyObject* py_add(PyObject* self, PyObject* const* args, Py_ssize_t nargs);
PyObject* py_get_stride_size(PyObject* self, PyObject*);

// ------------------------------------------------------------------ methods

PyObject* buffer_data(PosVertexBuffer* self, int skip) {
    static const frame::Where here{
        "vesk.opengl.buffers.vertex_types.PosVertexBuffer.buffer_data", kFile};
    frame::Ref r;
    if (!skip && frame::call_override((PyObject*)self, s_buffer_data, py_buffer_data, &r))
        return r ? r.release() : FRAME_FAIL(here, nullptr);
    VertexBuffer* base = &self->base;
    r = frame::Ref::steal(base->vtab->bind(base, 0));
    if (!r) return FRAME_FAIL(here, nullptr);
    // An overriding bind may succeed without a context.
    if (!glsupport::require_context()) return FRAME_FAIL(here, nullptr);
    size_t bytes = frame::record_bytes(self->_vertices);
    glBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)bytes, bytes ? self->_vertices.begin : nullptr,
                 GL_STATIC_DRAW);
    r = frame::Ref::steal(base->vtab->unbind(base, 0));
    if (!r) return FRAME_FAIL(here, nullptr);
    return frame::none();
}

PyObject* add(PosVertexBuffer* self, PyObject* position, int skip) {
    static const frame::Where here{"vesk.opengl.buffers.vertex_types.PosVertexBuffer.add", kFile};
    frame::Ref r;
    if (!skip && frame::call_override((PyObject*)self, s_add, (PyCFunction)(void (*)())py_add, &r,
                                      {position}))
        return r ? r.release() : FRAME_FAIL(here, nullptr);
    if (!frame::require_arg_type(position, linvec::vector3f::api.type, "position"))
        return FRAME_FAIL(here, nullptr);
    auto* v = reinterpret_cast<linvec::vector3f::Vector3f*>(position);
    PosVertex record{v->x, v->y, v->z};
    if (frame::record_append(&self->_vertices, &record, sizeof record, kMaxVertices) < 0)
        return FRAME_FAIL(here, nullptr);
    return frame::none();
}

PyObject* get_stride_size(PosVertexBuffer* self, int skip) {
    static const frame::Where here{
        "vesk.opengl.buffers.vertex_types.PosVertexBuffer.get_stride_size", kFile};
    frame::Ref r;
    if (!skip && frame::call_override((PyObject*)self, s_get_stride_size, py_get_stride_size, &r))
        return r ? r.release() : FRAME_FAIL(here, nullptr);
    return PyLong_FromLong((long)sizeof(PosVertex));
}

PyObject* py_buffer_data(PyObject* self, PyObject*) { return buffer_data(cast(self), 1); }
PyObject* py_get_stride_size(PyObject* self, PyObject*) { return get_stride_size(cast(self), 1); }

PyObject* py_add(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
    static const frame::Where here{"vesk.opengl.buffers.vertex_types.PosVertexBuffer.add", kFile};
    if (nargs != 1) {
        frame::raise_arg_count("add", 1, nargs);
        return FRAME_FAIL(here, nullptr);
    }
    return add(cast(self), args[0], 1);
}

// ------------------------------------------------------------------ protocols

Py_ssize_t sq_length(PyObject* o) { return vertex_count(cast(o)); }

int bf_getbuffer(PyObject* o, Py_buffer* view, int flags) {
    return frame::record_get_buffer(o, &cast(o)->_vertices, view, flags, "f", sizeof(float));
}

void bf_releasebuffer(PyObject* o, Py_buffer* view) {
    frame::record_release_buffer(&cast(o)->_vertices, view);
}

PySequenceMethods as_sequence = {sq_length, nullptr, nullptr, nullptr, nullptr,
                                 nullptr,   nullptr, nullptr, nullptr, nullptr};
PyBufferProcs as_buffer = {bf_getbuffer, bf_releasebuffer};

// ------------------------------------------------------------------ properties

PyObject* get_raw(PyObject* o, void*) {
    static const frame::Where here{
        "vesk.opengl.buffers.vertex_types.PosVertexBuffer.raw.__get__", kFile};
    PyObject* v = frame::record_memoryview(o, cast(o)->_vertices, "the buffer holds no vertices");
    return v ? v : FRAME_FAIL(here, nullptr);
}

PyObject* get_vertices(PyObject* o, void*) {
    static const frame::Where here{
        "vesk.opengl.buffers.vertex_types.PosVertexBuffer.vertices.__get__", kFile};
    PosVertexBuffer* self = cast(o);
    Py_ssize_t n = vertex_count(self);
    frame::Ref list = frame::Ref::steal(PyList_New(n));
    if (!list) return FRAME_FAIL(here, nullptr);
    auto* records = reinterpret_cast<const PosVertex*>(self->_vertices.begin);
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* item = Py_BuildValue("{sdsdsd}", "x", (double)records[i].x, "y",
                                       (double)records[i].y, "z", (double)records[i].z);
        if (!item) return FRAME_FAIL(here, nullptr);
        PyList_SET_ITEM(list.get(), i, item);
    }
    return list.release();
}

// ------------------------------------------------------------------ allocation

// VertexBuffer's allocation step first (it generates the GL name), then the
// own fields, which the base left zero-filled.
PyObject* pos_new(PyTypeObject* t, PyObject* args, PyObject* kwds) {
    static const frame::Where here{
        "vesk.opengl.buffers.vertex_types.PosVertexBuffer.__cinit__", kFile};
    PyObject* o = vertex_buffer_type->tp_new(t, args, kwds);
    if (!o) return FRAME_FAIL(here, nullptr);
    cast(o)->base.vtab = &pos_vtab.base;
    return o;
}

void pos_dealloc(PyObject* o) {
    frame::record_free(&cast(o)->_vertices);
    vertex_buffer_type->tp_dealloc(o);
}

PyMethodDef pos_methods[] = {
    {"buffer_data", py_buffer_data, METH_NOARGS, "PosVertexBuffer.buffer_data(self)"},
    {"add", (PyCFunction)(void (*)())py_add, METH_FASTCALL,
     "PosVertexBuffer.add(self, Vector3f position)"},
    {"get_stride_size", py_get_stride_size, METH_NOARGS, "PosVertexBuffer.get_stride_size(self)"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef pos_getset[] = {
    {"raw", get_raw, nullptr,
     "A writable memory view of 32-bit floats over the records in place, three per\n"
     "vertex (ValueError when empty). While any view is alive add() raises BufferError.",
     nullptr},
    {"vertices", get_vertices, nullptr,
     "A new list with one {'x', 'y', 'z'} dict of floats per vertex, in order.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// The base class must be known when the class is registered, so it is
// imported here rather than in the import step.
int register_classes(PyObject* module) {
    s_buffer_data = frame::intern("buffer_data");
    s_add = frame::intern("add");
    s_get_stride_size = frame::intern("get_stride_size");
    if (!s_buffer_data || !s_add || !s_get_stride_size) return -1;
    vertex_buffer_type = frame::import_class(vertex_buffer::kModule, vertex_buffer::kClass,
                                             sizeof(VertexBuffer), vertex_buffer::kHeader);
    if (!vertex_buffer_type) return -1;
    auto* base_vtab = static_cast<VertexBufferVtab*>(frame::import_vtable(vertex_buffer_type));
    if (!base_vtab) return -1;
    pos_vtab.base = *base_vtab;
    pos_vtab.buffer_data = buffer_data;
    pos_vtab.add = add;
    pos_vtab.get_stride_size = get_stride_size;

    frame::ClassSpec class_spec{};
    class_spec.type = &pos_type;
    class_spec.dotted = "vesk.opengl.buffers.vertex_types.PosVertexBuffer";
    class_spec.short_name = kPosVertexBuffer;
    class_spec.basicsize = sizeof(PosVertexBuffer);
    class_spec.doc =
        "PosVertexBuffer()\n\n"
        "A vertex buffer of positions: three 32-bit floats (12 bytes) per vertex.\n"
        "len() is the number of vertices.";
    class_spec.base = vertex_buffer_type;
    class_spec.tp_new = pos_new;
    class_spec.tp_dealloc = pos_dealloc;
    class_spec.methods = pos_methods;
    class_spec.getset = pos_getset;
    class_spec.as_sequence = &as_sequence;
    class_spec.as_buffer = &as_buffer;
    class_spec.vtable = &pos_vtab;
    return frame::register_class(module, class_spec);
}

int import_classes(PyObject*) { return linvec::vector3f::import_api(); }

PyModuleDef def = {PyModuleDef_HEAD_INIT, "vertex_types", nullptr, -1, nullptr,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace vesk::vertex_types

PyMODINIT_FUNC PyInit_vertex_types() {
    using namespace vesk::vertex_types;
    frame::ModuleInit init{&def, kModule, kFile};
    init.register_classes = register_classes;
    init.import_classes = import_classes;
    return frame::init_module(init);
}
