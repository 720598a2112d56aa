// What the mesh modules (sensor_sector_mesh, dome_shell_mesh,
// view_pyramid_mesh) share besides their vertex buffers (ds_vertex_buffer.hpp):
// the classes they import, the construction steps around the geometry, a
// mesh's four object fields, and the emission of one quad or triangle
// through the buffers' method tables.
//
// Header-only; a mesh module includes it from its one .cpp. Like the linvec
// binding headers it keeps its state in an unnamed namespace: every module
// has its own copy.
//
// A mesh class (`Mesh`) begins with
//     PyObject_HEAD, <its vtab>* vtab,
//     PyObject* binding, description, vertex_buffer, indexbuffer
// and QuadEmission also uses `uint32_t next_index` and `int32_t index_count`.
//
// Traceback entries: the helpers return -1 / nullptr / false with the error
// set and add none; the module adds its own at its line. QuadEmission, which
// supplies whole methods, adds its entries at the line of the module's .cpp
// that instantiates it (its `Line` argument).
#pragma once

#include "frame/frame.hpp"
#include "frame/override_call.hpp"
#include "linvec/vector3.hpp"
#include "vesk/opengl/buffers/attrib_binding.hpp"
#include "vesk/opengl/buffers/index_buffer.hpp"
#include "vesk/scene/geometry/ds_vertex_buffer.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>

namespace vesk::mesh_common {
namespace {

inline constexpr unsigned kGlFloat = 5126;

// Vertex indices and the next-vertex counter are unsigned 32-bit: a mesh's
// vertices take the indices 0 .. 2**32 - 2 and the counter never wraps
// (0xffffffff stays free, the fixed primitive-restart index).
inline constexpr int64_t kMaxVertices = UINT32_MAX;
inline bool indices_fit(uint32_t next_index, int64_t n) {
    return n >= 0 && n <= kMaxVertices - static_cast<int64_t>(next_index);
}

// ---------------------------------------------------------------- errors and names

// Report the pending error of a "-> void" method: its traceback entry at
// `line`, then the unraisable report under the method's dotted name.
inline void report(const frame::Where& here, int line) {
    frame::add_traceback(here, line);
    frame::write_unraisable(here.name);
}

inline void float_division() { PyErr_SetString(PyExc_ZeroDivisionError, "float division"); }

// Interned names into out[0 ..); false when one could not be made.
inline bool intern_all(PyObject** out, std::initializer_list<const char*> names) {
    for (const char* n : names) {
        *out = frame::intern(n);
        if (!*out++) return false;
    }
    return true;
}

// ---------------------------------------------------------------- imported classes

struct Imported {
    PyTypeObject* int_index_buffer = nullptr;
    PyTypeObject* vertex_description = nullptr;
    PyTypeObject* vertex_attribute = nullptr;
    PyTypeObject* attrib_binding = nullptr;
};
inline Imported imported;

// The modules' import_classes step: linvec's Vector3, then IntIndexBuffer,
// VertexDescription, VertexAttribute and AttribBinding, each with its
// layout size checked and its method table present.
inline int import_classes(PyObject*) {
    namespace ab = attrib_binding;
    namespace ib = index_buffer;
    if (linvec::vector3::import_api() < 0) return -1;
    struct Want {
        const char* module;
        const char* name;
        size_t size;
        const char* header;
        PyTypeObject** out;
    } const want[] = {
        {ib::kModule, ib::kIntIndexBuffer, sizeof(ib::IntIndexBuffer), ib::kHeader, &imported.int_index_buffer},
        {ab::kModule, ab::kVertexDescription, sizeof(ab::VertexDescription), ab::kHeader,
         &imported.vertex_description},
        {ab::kModule, ab::kVertexAttribute, sizeof(ab::VertexAttribute), ab::kHeader, &imported.vertex_attribute},
        {ab::kModule, ab::kAttribBinding, sizeof(ab::AttribBinding), ab::kHeader, &imported.attrib_binding},
    };
    for (const Want& w : want) {
        *w.out = frame::import_class(w.module, w.name, w.size, w.header);
        if (!*w.out || !frame::import_vtable(*w.out)) return -1;
    }
    return 0;
}

// The module's init: its classes, then the imports above.
inline PyObject* init_module(PyModuleDef* def, const char* dotted, const char* file,
                             int (*register_classes)(PyObject*)) {
    frame::ModuleInit init{def, dotted, file};
    init.register_classes = register_classes;
    init.import_classes = import_classes;
    return frame::init_module(init);
}

// ---------------------------------------------------------------- the mesh object

// A mesh class: its four object fields for allocation (None each), GC
// traversal and clear and deallocation, and its registration (pickling
// refused, as for any class with a non-trivial constructor).
template <class Mesh>
struct MeshClass {
    static constexpr Py_ssize_t offsets[4] = {
        offsetof(Mesh, binding),
        offsetof(Mesh, description),
        offsetof(Mesh, vertex_buffer),
        offsetof(Mesh, indexbuffer),
    };
    static constexpr frame::Fields fields{offsets, 4};

    static PyObject* alloc(PyTypeObject* t) { return frame::alloc_instance(t, fields); }
    static int traverse(PyObject* o, visitproc visit, void* arg) {
        return frame::traverse_fields(o, fields, visit, arg);
    }
    static int clear(PyObject* o) {
        frame::clear_fields(o, fields);
        return 0;
    }
    static void dealloc(PyObject* o) { frame::dealloc_instance(o, fields); }

    static int register_class(PyObject* module, PyTypeObject* type, const char* dotted, const char* short_name,
                              const char* doc, newfunc tp_new, PyMethodDef* methods, PyGetSetDef* getset,
                              void* vtable) {
        // type, dotted, short_name, basicsize, doc, base, tp_new, tp_dealloc,
        // tp_traverse, tp_clear, methods, getset
        frame::ClassSpec class_spec{type,    dotted,   short_name, sizeof(Mesh), doc,     nullptr,
                              tp_new,  dealloc,  traverse,   clear,        methods, getset};
        class_spec.vtable = vtable;
        return frame::register_class(module, class_spec);
    }
};

// Property getters; the closure is the field's byte offset (field_at).
inline void* field_at(size_t offset) { return reinterpret_cast<void*>(offset); }
template <class T>
T field_value(PyObject* o, void* offset) {
    T v;
    std::memcpy(&v, reinterpret_cast<const char*>(o) + reinterpret_cast<size_t>(offset), sizeof v);
    return v;
}
inline PyObject* get_object(PyObject* o, void* offset) {
    return frame::Ref::new_ref(field_value<PyObject*>(o, offset)).release();
}
inline PyObject* get_double(PyObject* o, void* offset) { return PyFloat_FromDouble(field_value<double>(o, offset)); }
inline PyObject* get_int32(PyObject* o, void* offset) { return PyLong_FromLong(field_value<int32_t>(o, offset)); }
inline PyObject* get_uint32(PyObject* o, void* offset) {
    return PyLong_FromUnsignedLong(field_value<uint32_t>(o, offset));
}

// Both buffer fields hold their classes (they are None after a
// garbage-collector clear); RuntimeError if not.
template <class Buffer, class Mesh>
bool has_buffers(const Mesh* self) {
    if (PyObject_TypeCheck(self->vertex_buffer, &Buffer::type) &&
        PyObject_TypeCheck(self->indexbuffer, imported.int_index_buffer))
        return true;
    PyErr_SetString(PyExc_RuntimeError, "the mesh has no vertex or index buffer");
    return false;
}

// ---------------------------------------------------------------- construction

// t(*args) by the vectorcall protocol (at most six arguments).
inline PyObject* call_type(PyTypeObject* t, std::initializer_list<PyObject*> args) {
    PyObject* argv[6];
    size_t n = 0;
    for (PyObject* a : args) argv[n++] = a;
    return PyObject_Vectorcall((PyObject*)t, argv, n, nullptr);
}

// The first construction step: IntIndexBuffer() into `indexbuffer`, then
// Buffer() into `vertex_buffer`; *ib and *vb hold them for the caller.
template <class Buffer, class Mesh>
int make_buffers(Mesh* self, frame::Ref* vb, frame::Ref* ib) {
    *ib = frame::Ref::steal(PyObject_CallNoArgs((PyObject*)imported.int_index_buffer));
    if (!*ib) return -1;
    frame::set_field(&self->indexbuffer, ib->get());
    *vb = frame::Ref::steal(PyObject_CallNoArgs((PyObject*)&Buffer::type));
    if (!*vb) return -1;
    frame::set_field(&self->vertex_buffer, vb->get());
    return 0;
}

// Room for `nverts` more records and `nindices` more 32-bit indices, grown
// exactly; -1 (MemoryError, or BufferError while a view is exported).
template <class Buffer>
int reserve_more(typename Buffer::Obj* vb, index_buffer::IndexBuffer* ib, int64_t nverts, int64_t nindices) {
    if (Buffer::reserve(vb, Buffer::count(vb) + nverts) < 0) return -1;
    return ds_vertex_buffer::reserve_records(&ib->_indices, sizeof(uint32_t), index_buffer::index_count(ib) + nindices);
}

// One float attribute of the vertex record.
struct Attribute {
    long location;
    long count;
    long offset;
};

// The steps after the geometry: the vertex buffer's buffer_data (entry 2,
// skip 0), then the index buffer's; a new VertexDescription in
// `description` with VertexAttribute(vb, location, count, GL_FLOAT, False,
// offset) for each of `attrs` in order, added through the description's
// table (entry 0, skip 0); AttribBinding(description, ib) in `binding`.
template <class Buffer, class Mesh, size_t N>
int upload_and_bind(Mesh* self, PyObject* vb, PyObject* ib, const Attribute (&attrs)[N]) {
    auto* vbo = Buffer::cast(vb);
    frame::Ref r = frame::Ref::steal(reinterpret_cast<typename Buffer::Vtab*>(vbo->base.vtab)->buffer_data(vbo, 0));
    if (!r) return -1;
    auto* ibo = reinterpret_cast<index_buffer::IndexBuffer*>(ib);
    r = frame::Ref::steal(ibo->vtab->buffer_data(ibo, 0));
    if (!r) return -1;

    frame::Ref desc = frame::Ref::steal(PyObject_CallNoArgs((PyObject*)imported.vertex_description));
    if (!desc) return -1;
    frame::set_field(&self->description, desc.get());
    auto* d = reinterpret_cast<attrib_binding::VertexDescription*>(desc.get());
    frame::Ref type = frame::Ref::steal(PyLong_FromLong(kGlFloat));
    if (!type) return -1;
    for (const Attribute& a : attrs) {
        frame::Ref loc = frame::Ref::steal(PyLong_FromLong(a.location));
        frame::Ref count = frame::Ref::steal(PyLong_FromLong(a.count));
        frame::Ref off = frame::Ref::steal(PyLong_FromLong(a.offset));
        if (!loc || !count || !off) return -1;
        frame::Ref attr = frame::Ref::steal(call_type(
            imported.vertex_attribute, {vb, loc.get(), count.get(), type.get(), Py_False, off.get()}));
        if (!attr) return -1;
        r = frame::Ref::steal(d->vtab->add(d, attr.get(), 0));
        if (!r) return -1;
    }

    frame::Ref binding = frame::Ref::steal(call_type(imported.attrib_binding, {desc.get(), ib}));
    if (!binding) return -1;
    frame::set_field(&self->binding, binding.get());
    return 0;
}

// ---------------------------------------------------------------- quad emission

inline constexpr uint32_t kQuadIndices[6] = {0, 1, 2, 1, 3, 2};
inline constexpr uint32_t kTriangleIndices[3] = {0, 1, 2};

template <class F>
PyCFunction as_method(F* f) {
    return (PyCFunction)(void (*)())f;
}

// The overridable "-> void" methods add_vertices(v0, v1, v2, v3) and
// add_single(v0, v1, v2) of a mesh whose vertex buffer is `Buffer` (a
// PositionVtab class) and whose index buffer is an IntIndexBuffer, as
// method-table entries and Python methods (the Python wrappers call the
// compiled body with skip 1):
//   - v0 .. v3 through the vertex buffer's add (entry 3, skip 0);
//   - with b = next_index, b, b+1, b+2, b+1, b+3, b+2 through the index
//     buffer's add (entry 3, skip 0): triangles (v0, v1, v2), (v1, v3, v2);
//   - next_index += 4, index_count += 6;
// and for add_single v0 .. v2, b, b+1, b+2, += 3 and += 3. Refused before
// anything is appended (OverflowError) when an index or a counter would
// leave its 32-bit range. A failure ends the emission where it happened,
// the counters untouched, and is reported as unraisable under the method's
// dotted name (as is a failing override); Python callers get None.
// Corner arguments: Vector3, None refused.
//
// Before use: init(mesh dotted name, traceback file) from the module's
// register_classes, and install(&vtab). Entries name `Line` of that file.
template <class Mesh, class Buffer, int Line>
struct QuadEmission {
    inline static std::string add_vertices_name, add_single_name;
    inline static frame::Where add_vertices_at{}, add_single_at{};
    inline static PyObject* s_add_vertices = nullptr;
    inline static PyObject* s_add_single = nullptr;
    inline static PyObject* corner_names[4] = {};

    static int init(const char* mesh_dotted, const char* file) {
        add_vertices_name = std::string(mesh_dotted) + ".add_vertices";
        add_single_name = std::string(mesh_dotted) + ".add_single";
        add_vertices_at = frame::Where{add_vertices_name.c_str(), file};
        add_single_at = frame::Where{add_single_name.c_str(), file};
        return intern_all(&s_add_vertices, {"add_vertices"}) && intern_all(&s_add_single, {"add_single"}) &&
                       intern_all(corner_names, {"v0", "v1", "v2", "v3"})
                   ? 0
                   : -1;
    }

    // The two method-table entries.
    template <class Vtab>
    static void install(Vtab* vtab) {
        vtab->add_vertices = add_vertices;
        vtab->add_single = add_single;
    }

    static void add_vertices(Mesh* self, PyObject* v0, PyObject* v1, PyObject* v2, PyObject* v3, int skip) {
        run(self, skip, s_add_vertices, as_method(py_add_vertices), add_vertices_at, kQuadIndices, 6, v0, v1, v2,
            v3);
    }

    static void add_single(Mesh* self, PyObject* v0, PyObject* v1, PyObject* v2, int skip) {
        run(self, skip, s_add_single, as_method(py_add_single), add_single_at, kTriangleIndices, 3, v0, v1, v2);
    }

    static PyObject* py_add_vertices(PyObject* self, PyObject* args, PyObject* kwds) {
        PyObject* v[4];
        if (!parse_corners("add_vertices", args, kwds, 4, v)) return fail(add_vertices_at);
        add_vertices(reinterpret_cast<Mesh*>(self), v[0], v[1], v[2], v[3], 1);
        return frame::none();
    }

    static PyObject* py_add_single(PyObject* self, PyObject* args, PyObject* kwds) {
        PyObject* v[3];
        if (!parse_corners("add_single", args, kwds, 3, v)) return fail(add_single_at);
        add_single(reinterpret_cast<Mesh*>(self), v[0], v[1], v[2], 1);
        return frame::none();
    }

private:
    static PyObject* fail(const frame::Where& here) {
        frame::add_traceback(here, Line);
        return nullptr;
    }

    static bool parse_corners(const char* fname, PyObject* args, PyObject* kwds, int n, PyObject** v) {
        static const char* const argnames[4] = {"v0", "v1", "v2", "v3"};
        if (frame::parse_args(fname, args, kwds, corner_names, n, v) < 0) return false;
        for (int k = 0; k < n; ++k)
            if (!ds_vertex_buffer::require_vector3(v[k], argnames[k])) return false;
        return true;
    }

    // The override when there is one, else the emission.
    template <class... V>
    static void run(Mesh* self, int skip, PyObject* name, PyCFunction builtin, const frame::Where& here,
                    const uint32_t* pattern, int npattern, V*... v) {
        frame::Ref r;
        if (!skip && frame::call_override((PyObject*)self, name, builtin, &r, {v...})) {
            if (!r) report(here, Line);
            return;
        }
        PyObject* const corners[] = {v...};
        if (emit(self, corners, static_cast<int>(sizeof...(V)), pattern, npattern) < 0) report(here, Line);
    }

    static int emit(Mesh* self, PyObject* const* v, int n, const uint32_t* pattern, int npattern) {
        if (!has_buffers<Buffer>(self)) return -1;
        if (!indices_fit(self->next_index, n) || self->index_count > INT32_MAX - npattern) {
            PyErr_SetString(PyExc_OverflowError, "the mesh cannot address more vertices with 32-bit indices");
            return -1;
        }
        // Held for the call: Python code reached from here (an override, an
        // unraisable hook) may run anything.
        frame::Ref vb_ref = frame::Ref::new_ref(self->vertex_buffer);
        frame::Ref ib_ref = frame::Ref::new_ref(self->indexbuffer);
        auto* vb = Buffer::cast(vb_ref.get());
        auto* vb_vtab = reinterpret_cast<typename Buffer::Vtab*>(vb->base.vtab);
        for (int k = 0; k < n; ++k) {
            frame::Ref r = frame::Ref::steal(vb_vtab->add(vb, v[k], 0));
            if (!r) return -1;
        }
        auto* ib = reinterpret_cast<index_buffer::IndexBuffer*>(ib_ref.get());
        const uint32_t b = self->next_index;
        for (int k = 0; k < npattern; ++k) {
            frame::Ref r = frame::Ref::steal(ib->vtab->add(ib, static_cast<int64_t>(b) + pattern[k], 0));
            if (!r) return -1;
        }
        self->next_index += static_cast<uint32_t>(n);
        self->index_count += npattern;
        return 0;
    }
};

}  // namespace
}  // namespace vesk::mesh_common
