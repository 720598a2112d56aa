// Vertex layouts recorded into GL vertex array objects.
#include "attrib_binding.hpp"

#include "frame/override_call.hpp"
#include "vesk/opengl/buffers/index_buffer.hpp"
#include "vesk/opengl/buffers/vertex_buffer.hpp"

#include <cstddef>

namespace vesk::attrib_binding {
namespace {

using index_buffer::IndexBuffer;
using vertex_buffer::VertexBuffer;

constexpr const char* kFile = "vesk\\opengl\\buffers\\attrib_binding.cpp";

PyTypeObject attribute_type;
PyTypeObject description_type;
PyTypeObject binding_type;
VertexAttributeVtab attribute_vtab;
VertexDescriptionVtab description_vtab;
AttribBindingVtab binding_vtab;

// Imported at init.
PyTypeObject* vertex_buffer_type;
PyTypeObject* index_buffer_type;

PyObject* s_attach;
PyObject* s_add;
PyObject* s_bind;
PyObject* s_unbind;
PyObject* s_initialize;
PyObject* s_get_stride_size;

// Report the pending error of a "-> void" method: a traceback entry at
// `line`, then the unraisable report under the method's dotted name.
void report(const frame::Where& here, int line) {
    frame::add_traceback(here, line);
    frame::write_unraisable(here.name);
}

// ================================================================== VertexAttribute

const Py_ssize_t attribute_offsets[] = {offsetof(VertexAttribute, vertex_buffer)};
const frame::Fields attribute_fields{attribute_offsets, 1};
PyObject* attribute_arg_names[6];

PyObject* py_attribute_attach(PyObject* self, PyObject*);

void attribute_attach(VertexAttribute* self, int skip) {
    static const frame::Where here{"vesk.opengl.buffers.attrib_binding.VertexAttribute.attach",
                                   kFile};
    frame::Ref r;
    if (!skip && frame::call_override((PyObject*)self, s_attach, py_attribute_attach, &r)) {
        if (!r) report(here, __LINE__);
        return;
    }
    // Held for the whole set-up: an override of bind may run arbitrary code.
    frame::Ref holder = frame::Ref::new_ref(self->vertex_buffer);
    if (!PyObject_TypeCheck(holder.get(), vertex_buffer_type)) {
        PyErr_Format(PyExc_AttributeError, "'%.50s' object has no attribute 'bind'",
                     Py_TYPE(holder.get())->tp_name);
        return report(here, __LINE__);
    }
    auto* vb = reinterpret_cast<VertexBuffer*>(holder.get());
    r = frame::Ref::steal(vb->vtab->bind(vb, 0));
    if (!r) return report(here, __LINE__);
    // An overriding bind may succeed without touching GL.
    if (!glsupport::require_context()) return report(here, __LINE__);
    glEnableVertexAttribArray(self->location);
    glVertexAttribPointer(self->location, self->element_count, self->element_type,
                          self->is_normalized, self->stride,
                          reinterpret_cast<const void*>(self->offset));
    r = frame::Ref::steal(vb->vtab->unbind(vb, 0));
    if (!r) return report(here, __LINE__);
}

PyObject* py_attribute_attach(PyObject* self, PyObject*) {
    attribute_attach(reinterpret_cast<VertexAttribute*>(self), 1);
    Py_RETURN_NONE;
}

PyObject* attribute_new(PyTypeObject* t, PyObject* args, PyObject* kwds) {
    static const frame::Where here{"vesk.opengl.buffers.attrib_binding.VertexAttribute.__cinit__",
                                   kFile};
    PyObject* v[6];
    if (frame::parse_args("__cinit__", args, kwds, attribute_arg_names, 6, v) < 0)
        return FRAME_FAIL(here, nullptr);
    uint32_t location, element_type;
    int32_t element_count, offset;
    unsigned char is_normalized;
    if (!frame::to_gluint(v[1], &location)) return FRAME_FAIL(here, nullptr);
    if (!frame::to_int32(v[2], &element_count)) return FRAME_FAIL(here, nullptr);
    if (!frame::to_glenum(v[3], &element_type)) return FRAME_FAIL(here, nullptr);
    if (!frame::to_glboolean(v[4], &is_normalized)) return FRAME_FAIL(here, nullptr);
    if (!frame::to_int32(v[5], &offset)) return FRAME_FAIL(here, nullptr);
    if (!frame::check_arg_type(v[0], vertex_buffer_type, "vertex_buffer"))
        return FRAME_FAIL(here, nullptr);

    frame::Ref o = frame::Ref::steal(frame::alloc_instance(t, attribute_fields));
    if (!o) return FRAME_FAIL(here, nullptr);
    auto* self = reinterpret_cast<VertexAttribute*>(o.get());
    self->vtab = &attribute_vtab;
    frame::set_field(&self->vertex_buffer, v[0]);
    self->location = location;
    self->element_count = element_count;
    self->element_type = element_type;
    self->is_normalized = is_normalized;
    self->offset = static_cast<intptr_t>(offset);  // sign-widened

    // The stride comes from the buffer itself, looked up by name so Python
    // subclasses of VertexBuffer can supply it.
    frame::Ref stride = frame::Ref::steal(PyObject_CallMethodNoArgs(v[0], s_get_stride_size));
    if (!stride) return FRAME_FAIL(here, nullptr);
    if (!frame::to_int32(stride.get(), &self->stride)) return FRAME_FAIL(here, nullptr);
    return o.release();
}

int attribute_traverse(PyObject* o, visitproc visit, void* arg) {
    return frame::traverse_fields(o, attribute_fields, visit, arg);
}
int attribute_clear(PyObject* o) {
    frame::clear_fields(o, attribute_fields);
    return 0;
}
void attribute_dealloc(PyObject* o) { frame::dealloc_instance(o, attribute_fields); }

PyMethodDef attribute_methods[] = {
    {"attach", py_attribute_attach, METH_NOARGS, "VertexAttribute.attach(self) -> void"},
    {nullptr, nullptr, 0, nullptr},
};

// ================================================================== VertexDescription

const Py_ssize_t description_offsets[] = {offsetof(VertexDescription, attributes)};
const frame::Fields description_fields{description_offsets, 1};

PyObject* py_description_add(PyObject* self, PyObject* const* args, Py_ssize_t nargs);
PyObject* py_description_attach(PyObject* self, PyObject*);

PyObject* description_add(VertexDescription* self, PyObject* vertex_attribute, int skip) {
    static const frame::Where here{"vesk.opengl.buffers.attrib_binding.VertexDescription.add",
                                   kFile};
    frame::Ref r;
    if (!skip && frame::call_override((PyObject*)self, s_add,
                                      (PyCFunction)(void (*)())py_description_add, &r,
                                      {vertex_attribute}))
        return r ? r.release() : FRAME_FAIL(here, nullptr);
    // None would leave a hole that attach cannot run: refused here.
    if (!frame::require_arg_type(vertex_attribute, &attribute_type, "vertex_attribute"))
        return FRAME_FAIL(here, nullptr);
    if (!PyList_Check(self->attributes)) {
        PyErr_SetString(PyExc_TypeError, "VertexDescription has no attribute list");
        return FRAME_FAIL(here, nullptr);
    }
    if (PyList_Append(self->attributes, vertex_attribute) < 0) return FRAME_FAIL(here, nullptr);
    return frame::none();
}

void description_attach(VertexDescription* self, int skip) {
    static const frame::Where here{"vesk.opengl.buffers.attrib_binding.VertexDescription.attach",
                                   kFile};
    frame::Ref r;
    if (!skip && frame::call_override((PyObject*)self, s_attach, py_description_attach, &r)) {
        if (!r) report(here, __LINE__);
        return;
    }
    frame::Ref list = frame::Ref::new_ref(self->attributes);
    if (!PyList_Check(list.get())) return;  // cleared by the collector: nothing to attach
    // By index, re-reading the size: an attribute's override may add to the
    // description while it runs.
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(list.get()); ++i) {
        frame::Ref item = frame::Ref::new_ref(PyList_GET_ITEM(list.get(), i));
        if (!frame::require_convert(item.get(), &attribute_type)) return report(here, __LINE__);
        auto* a = reinterpret_cast<VertexAttribute*>(item.get());
        a->vtab->attach(a, 0);
    }
}

PyObject* py_description_add(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
    static const frame::Where here{"vesk.opengl.buffers.attrib_binding.VertexDescription.add",
                                   kFile};
    if (nargs != 1) {
        frame::raise_arg_count("add", 1, nargs);
        return FRAME_FAIL(here, nullptr);
    }
    return description_add(reinterpret_cast<VertexDescription*>(self), args[0], 1);
}

PyObject* py_description_attach(PyObject* self, PyObject*) {
    description_attach(reinterpret_cast<VertexDescription*>(self), 1);
    Py_RETURN_NONE;
}

// Takes no arguments and ignores any given.
PyObject* description_new(PyTypeObject* t, PyObject*, PyObject*) {
    static const frame::Where here{
        "vesk.opengl.buffers.attrib_binding.VertexDescription.__cinit__", kFile};
    frame::Ref o = frame::Ref::steal(frame::alloc_instance(t, description_fields));
    if (!o) return FRAME_FAIL(here, nullptr);
    auto* self = reinterpret_cast<VertexDescription*>(o.get());
    self->vtab = &description_vtab;
    frame::Ref list = frame::Ref::steal(PyList_New(0));
    if (!list) return FRAME_FAIL(here, nullptr);
    frame::set_field(&self->attributes, list.get());
    return o.release();
}

int description_traverse(PyObject* o, visitproc visit, void* arg) {
    return frame::traverse_fields(o, description_fields, visit, arg);
}
int description_clear(PyObject* o) {
    frame::clear_fields(o, description_fields);
    return 0;
}
void description_dealloc(PyObject* o) { frame::dealloc_instance(o, description_fields); }

PyObject* get_attributes(PyObject* o, void*) {
    PyObject* list = reinterpret_cast<VertexDescription*>(o)->attributes;
    return PyList_Check(list) ? PyList_AsTuple(list) : PyTuple_New(0);
}

PyMethodDef description_methods[] = {
    {"add", (PyCFunction)(void (*)())py_description_add, METH_FASTCALL,
     "VertexDescription.add(self, VertexAttribute vertex_attribute)"},
    {"attach", py_description_attach, METH_NOARGS, "VertexDescription.attach(self) -> void"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef description_getset[] = {
    {"attributes", get_attributes, nullptr, "The attributes in the order added (a new tuple).",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// ================================================================== AttribBinding

const Py_ssize_t binding_offsets[] = {offsetof(AttribBinding, vertex_description),
                                      offsetof(AttribBinding, index_buffer)};
const frame::Fields binding_fields{binding_offsets, 2};
PyObject* binding_arg_names[2];

PyObject* py_binding_bind(PyObject* self, PyObject*);
PyObject* py_binding_unbind(PyObject* self, PyObject*);
PyObject* py_binding_initialize(PyObject* self, PyObject*);

PyObject* binding_bind(AttribBinding* self, int skip) {
    static const frame::Where here{"vesk.opengl.buffers.attrib_binding.AttribBinding.bind", kFile};
    frame::Ref r;
    if (!skip && frame::call_override((PyObject*)self, s_bind, py_binding_bind, &r))
        return r ? r.release() : FRAME_FAIL(here, nullptr);
    if (!glsupport::require_context()) return FRAME_FAIL(here, nullptr);
    glBindVertexArray(self->gl_id);
    return frame::none();
}

PyObject* binding_unbind(AttribBinding* self, int skip) {
    static const frame::Where here{"vesk.opengl.buffers.attrib_binding.AttribBinding.unbind",
                                   kFile};
    frame::Ref r;
    if (!skip && frame::call_override((PyObject*)self, s_unbind, py_binding_unbind, &r))
        return r ? r.release() : FRAME_FAIL(here, nullptr);
    if (!glsupport::require_context()) return FRAME_FAIL(here, nullptr);
    glBindVertexArray(0);
    return frame::none();
}

// Unbind after a failure inside initialize, keeping the original error.
void unbind_after_failure(AttribBinding* self) {
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    frame::Ref r = frame::Ref::steal(self->vtab->unbind(self, 0));
    if (!r) PyErr_Clear();
    PyErr_Restore(type, value, tb);
}

PyObject* binding_initialize(AttribBinding* self, int skip) {
    static const frame::Where here{"vesk.opengl.buffers.attrib_binding.AttribBinding.initialize",
                                   kFile};
    frame::Ref r;
    if (!skip && frame::call_override((PyObject*)self, s_initialize, py_binding_initialize, &r))
        return r ? r.release() : FRAME_FAIL(here, nullptr);
    r = frame::Ref::steal(self->vtab->bind(self, 0));
    if (!r) return FRAME_FAIL(here, nullptr);
    frame::Ref description = frame::Ref::new_ref(self->vertex_description);
    if (PyObject_TypeCheck(description.get(), &description_type)) {
        auto* d = reinterpret_cast<VertexDescription*>(description.get());
        d->vtab->attach(d, 0);
    }
    frame::Ref index = frame::Ref::new_ref(self->index_buffer);
    int truthy = PyObject_IsTrue(index.get());
    if (truthy < 0) {
        unbind_after_failure(self);
        return FRAME_FAIL(here, nullptr);
    }
    if (truthy) {
        if (!frame::check_convert(index.get(), index_buffer_type)) {
            unbind_after_failure(self);
            return FRAME_FAIL(here, nullptr);
        }
        auto* ib = reinterpret_cast<IndexBuffer*>(index.get());
        r = frame::Ref::steal(ib->vtab->bind(ib, 0));
        if (!r) {
            unbind_after_failure(self);
            return FRAME_FAIL(here, nullptr);
        }
    }
    r = frame::Ref::steal(self->vtab->unbind(self, 0));
    if (!r) return FRAME_FAIL(here, nullptr);
    return frame::none();
}

PyObject* py_binding_bind(PyObject* self, PyObject*) {
    return binding_bind(reinterpret_cast<AttribBinding*>(self), 1);
}
PyObject* py_binding_unbind(PyObject* self, PyObject*) {
    return binding_unbind(reinterpret_cast<AttribBinding*>(self), 1);
}
PyObject* py_binding_initialize(PyObject* self, PyObject*) {
    return binding_initialize(reinterpret_cast<AttribBinding*>(self), 1);
}

PyObject* binding_new(PyTypeObject* t, PyObject* args, PyObject* kwds) {
    static const frame::Where here{"vesk.opengl.buffers.attrib_binding.AttribBinding.__cinit__",
                                   kFile};
    PyObject* v[2];
    if (frame::parse_args("__cinit__", args, kwds, binding_arg_names, 2, v) < 0)
        return FRAME_FAIL(here, nullptr);
    // Without a description initialize could record nothing: refused.
    if (!frame::require_arg_type(v[0], &description_type, "vertex_description"))
        return FRAME_FAIL(here, nullptr);
    int truthy = PyObject_IsTrue(v[1]);
    if (truthy < 0) return FRAME_FAIL(here, nullptr);
    if (truthy && !frame::check_convert(v[1], index_buffer_type)) return FRAME_FAIL(here, nullptr);
    if (!glsupport::require_context()) return FRAME_FAIL(here, nullptr);

    frame::Ref o = frame::Ref::steal(frame::alloc_instance(t, binding_fields));
    if (!o) return FRAME_FAIL(here, nullptr);
    auto* self = reinterpret_cast<AttribBinding*>(o.get());
    self->vtab = &binding_vtab;
    GLuint id = 0;
    glGenVertexArrays(1, &id);
    self->gl_id = id;
    glsupport::own(&self->_owned, id);
    frame::set_field(&self->vertex_description, v[0]);
    self->has_index_buffer = truthy;
    if (truthy) frame::set_field(&self->index_buffer, v[1]);

    frame::Ref r = frame::Ref::steal(self->vtab->initialize(self, 0));
    if (!r) return FRAME_FAIL(here, nullptr);
    return o.release();
}

int binding_traverse(PyObject* o, visitproc visit, void* arg) {
    return frame::traverse_fields(o, binding_fields, visit, arg);
}
int binding_clear(PyObject* o) {
    frame::clear_fields(o, binding_fields);
    return 0;
}
void binding_dealloc(PyObject* o) {
    glsupport::release(&reinterpret_cast<AttribBinding*>(o)->_owned, glDeleteVertexArrays);
    frame::dealloc_instance(o, binding_fields);
}

PyObject* get_gl_id(PyObject* o, void*) {
    return PyLong_FromUnsignedLong(reinterpret_cast<AttribBinding*>(o)->gl_id);
}

PyMethodDef binding_methods[] = {
    {"bind", py_binding_bind, METH_NOARGS, "AttribBinding.bind(self)"},
    {"unbind", py_binding_unbind, METH_NOARGS, "AttribBinding.unbind(self)"},
    {"initialize", py_binding_initialize, METH_NOARGS, "AttribBinding.initialize(self)"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef binding_getset[] = {
    {"gl_id", get_gl_id, nullptr, "The vertex array object's GL name, as an int.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// ================================================================== registration

int intern_names() {
    const char* const attribute_names[] = {"vertex_buffer", "location",      "element_count",
                                           "element_type",  "is_normalized", "offset"};
    for (int i = 0; i < 6; ++i) {
        attribute_arg_names[i] = frame::intern(attribute_names[i]);
        if (!attribute_arg_names[i]) return -1;
    }
    binding_arg_names[0] = frame::intern("vertex_description");
    binding_arg_names[1] = frame::intern("index_buffer");
    s_attach = frame::intern("attach");
    s_add = frame::intern("add");
    s_bind = frame::intern("bind");
    s_unbind = frame::intern("unbind");
    s_initialize = frame::intern("initialize");
    s_get_stride_size = frame::intern("get_stride_size");
    if (!binding_arg_names[0] || !binding_arg_names[1] || !s_attach || !s_add || !s_bind ||
        !s_unbind || !s_initialize || !s_get_stride_size)
        return -1;
    return 0;
}

int register_classes(PyObject* module) {
    if (intern_names() < 0) return -1;
    attribute_vtab.attach = attribute_attach;
    description_vtab.add = description_add;
    description_vtab.attach = description_attach;
    binding_vtab.bind = binding_bind;
    binding_vtab.unbind = binding_unbind;
    binding_vtab.initialize = binding_initialize;

    frame::ClassSpec a{};
    a.type = &attribute_type;
    a.dotted = "vesk.opengl.buffers.attrib_binding.VertexAttribute";
    a.short_name = kVertexAttribute;
    a.basicsize = sizeof(VertexAttribute);
    a.doc =
        "VertexAttribute(VertexBuffer vertex_buffer, GLuint location, int element_count, "
        "GLenum element_type, GLboolean is_normalized, int offset)\n\n"
        "One vertex attribute: element_count components of GL type element_type\n"
        "at byte offset within each vertex of vertex_buffer, fed to the shader\n"
        "input at location. The stride is the buffer's get_stride_size().";
    a.tp_new = attribute_new;
    a.tp_dealloc = attribute_dealloc;
    a.tp_traverse = attribute_traverse;
    a.tp_clear = attribute_clear;
    a.methods = attribute_methods;
    a.vtable = &attribute_vtab;
    if (frame::register_class(module, a) < 0) return -1;

    frame::ClassSpec d{};
    d.type = &description_type;
    d.dotted = "vesk.opengl.buffers.attrib_binding.VertexDescription";
    d.short_name = kVertexDescription;
    d.basicsize = sizeof(VertexDescription);
    d.doc = "VertexDescription()\n\nThe vertex attributes of one vertex layout, in order.";
    d.tp_new = description_new;
    d.tp_dealloc = description_dealloc;
    d.tp_traverse = description_traverse;
    d.tp_clear = description_clear;
    d.methods = description_methods;
    d.getset = description_getset;
    d.vtable = &description_vtab;
    if (frame::register_class(module, d) < 0) return -1;

    frame::ClassSpec b{};
    b.type = &binding_type;
    b.dotted = "vesk.opengl.buffers.attrib_binding.AttribBinding";
    b.short_name = kAttribBinding;
    b.basicsize = sizeof(AttribBinding);
    b.doc =
        "AttribBinding(VertexDescription vertex_description, index_buffer)\n\n"
        "A GL vertex array object recording vertex_description and, when it is\n"
        "truthy, the IndexBuffer index_buffer. Needs a current GL context; the\n"
        "array object is left unbound.";
    b.tp_new = binding_new;
    b.tp_dealloc = binding_dealloc;
    b.tp_traverse = binding_traverse;
    b.tp_clear = binding_clear;
    b.methods = binding_methods;
    b.getset = binding_getset;
    b.vtable = &binding_vtab;
    return frame::register_class(module, b);
}

int import_classes(PyObject*) {
    vertex_buffer_type = frame::import_class(vertex_buffer::kModule, vertex_buffer::kClass,
                                             sizeof(VertexBuffer), vertex_buffer::kHeader);
    if (!vertex_buffer_type || !frame::import_vtable(vertex_buffer_type)) return -1;
    index_buffer_type = frame::import_class(index_buffer::kModule, index_buffer::kIndexBuffer,
                                            sizeof(IndexBuffer), index_buffer::kHeader);
    if (!index_buffer_type || !frame::import_vtable(index_buffer_type)) return -1;
    return 0;
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "attrib_binding", nullptr, -1, nullptr,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace vesk::attrib_binding

PyMODINIT_FUNC PyInit_attrib_binding() {
    using namespace vesk::attrib_binding;
    frame::ModuleInit init{&def, kModule, kFile};
    init.register_classes = register_classes;
    init.import_classes = import_classes;
    return frame::init_module(init);
}
