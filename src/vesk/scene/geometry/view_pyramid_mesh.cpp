// The view frustum mesh: eight corners, six quads, two buffers uploaded and
// recorded in a vertex array object.
#include "view_pyramid_mesh.hpp"

#include "frame/override_call.hpp"
#include "linvec/vector3.hpp"

#include <cmath>
#include <cstddef>
#include <cstring>

namespace vesk::view_pyramid_mesh {
namespace {

constexpr const char* kFile = "vesk\\scene\\geometry\\view_pyramid_mesh.cpp";
constexpr unsigned kGlFloat = 5126;

// ------------------------------------------------------------------ FrustumVertexBuffer

constexpr ds_vertex_buffer::Field kFrustumVertexFields[] = {
    {"_position", offsetof(FrustumVertex, _position), ds_vertex_buffer::kDoubleSingle3Fields, 2},
};

struct FrustumTraits {
    using Record = FrustumVertex;
    using Vtab = FrustumVertexBufferVtab;
    static constexpr const char* kDotted = "vesk.scene.geometry.view_pyramid_mesh.FrustumVertexBuffer";
    static constexpr const char* kName = "FrustumVertexBuffer";
    static constexpr const char* kFile = view_pyramid_mesh::kFile;
    static constexpr const char* kDoc =
        "FrustumVertexBuffer()\n\n"
        "Vertex buffer of double-single positions: one 24-byte record per vertex\n"
        "(high x, y, z, then low x, y, z, 32-bit floats), kept on the CPU in the\n"
        "uploaded layout and uploaded by buffer_data() in one call.";
    static constexpr const ds_vertex_buffer::Field* kFields = kFrustumVertexFields;
    static constexpr int kFieldCount = 1;
    // Every record stays addressable by an unsigned 32-bit index.
    static constexpr Py_ssize_t kMaxRecords = 0xffffffffLL;
};
using Buffer = ds_vertex_buffer::DsVertexBuffer<FrustumTraits>;

// ------------------------------------------------------------------ imported classes

PyTypeObject* int_index_buffer_type;
PyTypeObject* vertex_description_type;
PyTypeObject* vertex_attribute_type;
PyTypeObject* attrib_binding_type;

// ------------------------------------------------------------------ ViewPyramidMesh

PyTypeObject mesh_type;
ViewPyramidMeshVtab mesh_vtab;
const Py_ssize_t mesh_offsets[] = {
    offsetof(ViewPyramidMesh, binding),
    offsetof(ViewPyramidMesh, description),
    offsetof(ViewPyramidMesh, vertex_buffer),
    offsetof(ViewPyramidMesh, indexbuffer),
};
const frame::Fields mesh_fields{mesh_offsets, 4};

PyObject* s_add_vertices;
PyObject* s_add_single;
PyObject* bound_names[6];  // left, right, bottom, top, near, far
PyObject* fov_names[4];    // vertical_fov_rad, aspect_ratio, near, far
PyObject* quad_names[4];   // v0, v1, v2, v3

ViewPyramidMesh* cast(PyObject* o) { return reinterpret_cast<ViewPyramidMesh*>(o); }

PyObject* py_add_vertices(PyObject* self, PyObject* args, PyObject* kwds);
PyObject* py_add_single(PyObject* self, PyObject* args, PyObject* kwds);

// The four-vertex and three-vertex emissions share this body: `n` positions
// through the vertex buffer's add (entry 3, skip 0), then `nidx` indices
// `pattern[k]` + b, then the counters. A failure ends it where it happened.
int emit(ViewPyramidMesh* self, PyObject* const* v, int n, const uint32_t* pattern, int nidx) {
    if (!PyObject_TypeCheck(self->vertex_buffer, &Buffer::type) ||
        !PyObject_TypeCheck(self->indexbuffer, int_index_buffer_type)) {
        PyErr_SetString(PyExc_RuntimeError, "the mesh has no vertex or index buffer");
        return -1;
    }
    // The indices b .. b + n - 1 must fit the unsigned 32-bit index type and
    // the count the signed 32-bit counter: refuse instead of wrapping.
    if (self->next_index > UINT32_MAX - static_cast<uint32_t>(n) ||
        self->index_count > INT32_MAX - nidx) {
        PyErr_SetString(PyExc_OverflowError, "the mesh cannot address more vertices with 32-bit indices");
        return -1;
    }
    // Held for the call: Python code reached from here (an unraisable hook)
    // may run anything.
    frame::Ref vb_ref = frame::Ref::new_ref(self->vertex_buffer);
    frame::Ref ib_ref = frame::Ref::new_ref(self->indexbuffer);
    auto* vb = reinterpret_cast<FrustumVertexBuffer*>(vb_ref.get());
    auto* vb_vtab = reinterpret_cast<FrustumVertexBufferVtab*>(vb->base.vtab);
    for (int k = 0; k < n; ++k) {
        frame::Ref r = frame::Ref::steal(vb_vtab->add(vb, v[k], 0));
        if (!r) return -1;
    }
    auto* ib = reinterpret_cast<index_buffer::IndexBuffer*>(ib_ref.get());
    const uint32_t b = self->next_index;
    for (int k = 0; k < nidx; ++k) {
        frame::Ref r = frame::Ref::steal(ib->vtab->add(ib, static_cast<int64_t>(b) + pattern[k], 0));
        if (!r) return -1;
    }
    self->next_index += static_cast<uint32_t>(n);
    self->index_count += nidx;
    return 0;
}

// add_vertices(v0, v1, v2, v3) -> void: triangles (v0, v1, v2), (v1, v3, v2).
void add_vertices(ViewPyramidMesh* self, PyObject* v0, PyObject* v1, PyObject* v2, PyObject* v3,
                  int skip) {
    static const frame::Where here{"vesk.scene.geometry.view_pyramid_mesh.ViewPyramidMesh.add_vertices",
                                   kFile};
    frame::Ref r;
    if (!skip && frame::call_override((PyObject*)self, s_add_vertices, (PyCFunction)(void (*)())py_add_vertices,
                                      &r, {v0, v1, v2, v3})) {
        if (!r) {
            frame::add_traceback(here, __LINE__);
            frame::write_unraisable(here.name);
        }
        return;
    }
    static const uint32_t quad[6] = {0, 1, 2, 1, 3, 2};
    PyObject* const v[4] = {v0, v1, v2, v3};
    if (emit(self, v, 4, quad, 6) < 0) {
        frame::add_traceback(here, __LINE__);
        frame::write_unraisable(here.name);
    }
}

// add_single(v0, v1, v2) -> void: triangle (v0, v1, v2).
void add_single(ViewPyramidMesh* self, PyObject* v0, PyObject* v1, PyObject* v2, int skip) {
    static const frame::Where here{"vesk.scene.geometry.view_pyramid_mesh.ViewPyramidMesh.add_single",
                                   kFile};
    frame::Ref r;
    if (!skip && frame::call_override((PyObject*)self, s_add_single, (PyCFunction)(void (*)())py_add_single,
                                      &r, {v0, v1, v2})) {
        if (!r) {
            frame::add_traceback(here, __LINE__);
            frame::write_unraisable(here.name);
        }
        return;
    }
    static const uint32_t tri[3] = {0, 1, 2};
    PyObject* const v[3] = {v0, v1, v2};
    if (emit(self, v, 3, tri, 3) < 0) {
        frame::add_traceback(here, __LINE__);
        frame::write_unraisable(here.name);
    }
}

// The declared-class check of a Vector3 argument, refusing None as well: a
// vertex needs a real position.
bool check_vector3(PyObject* o, const char* argname) {
    if (o != Py_None && linvec::vector3::check(o)) return true;
    PyErr_Format(PyExc_TypeError, "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)",
                 argname, linvec::vector3::api.type->tp_name, Py_TYPE(o)->tp_name);
    return false;
}

const char* const kQuadArgNames[4] = {"v0", "v1", "v2", "v3"};

PyObject* py_add_vertices(PyObject* self, PyObject* args, PyObject* kwds) {
    static const frame::Where here{"vesk.scene.geometry.view_pyramid_mesh.ViewPyramidMesh.add_vertices",
                                   kFile};
    PyObject* v[4];
    if (frame::parse_args("add_vertices", args, kwds, quad_names, 4, v) < 0) return FRAME_FAIL(here, nullptr);
    for (int k = 0; k < 4; ++k)
        if (!check_vector3(v[k], kQuadArgNames[k])) return FRAME_FAIL(here, nullptr);
    add_vertices(cast(self), v[0], v[1], v[2], v[3], 1);
    return frame::none();
}

PyObject* py_add_single(PyObject* self, PyObject* args, PyObject* kwds) {
    static const frame::Where here{"vesk.scene.geometry.view_pyramid_mesh.ViewPyramidMesh.add_single",
                                   kFile};
    PyObject* v[3];
    if (frame::parse_args("add_single", args, kwds, quad_names, 3, v) < 0) return FRAME_FAIL(here, nullptr);
    for (int k = 0; k < 3; ++k)
        if (!check_vector3(v[k], kQuadArgNames[k])) return FRAME_FAIL(here, nullptr);
    add_single(cast(self), v[0], v[1], v[2], 1);
    return frame::none();
}

// ------------------------------------------------------------------ construction

PyObject* call_type(PyTypeObject* t, std::initializer_list<PyObject*> args) {
    PyObject* argv[6];
    size_t n = 0;
    for (PyObject* a : args) argv[n++] = a;
    return PyObject_Vectorcall((PyObject*)t, argv, n, nullptr);
}

// VertexAttribute(vertex_buffer, location, 3, GL_FLOAT, False, offset),
// added to the description through its table (entry 0, skip 0).
int add_position_attribute(ViewPyramidMesh* self, long location, long offset) {
    frame::Ref loc = frame::Ref::steal(PyLong_FromLong(location));
    frame::Ref count = frame::Ref::steal(PyLong_FromLong(3));
    frame::Ref type = frame::Ref::steal(PyLong_FromLong(kGlFloat));
    frame::Ref off = frame::Ref::steal(PyLong_FromLong(offset));
    if (!loc || !count || !type || !off) return -1;
    frame::Ref attr = frame::Ref::steal(
        call_type(vertex_attribute_type, {self->vertex_buffer, loc.get(), count.get(), type.get(), Py_False, off.get()}));
    if (!attr) return -1;
    auto* d = reinterpret_cast<attrib_binding::VertexDescription*>(self->description);
    frame::Ref r = frame::Ref::steal(d->vtab->add(d, attr.get(), 0));
    return r ? 0 : -1;
}

// Everything the constructor does after the arguments are stored. Each
// failing step leaves the traceback entry of its line.
int build(ViewPyramidMesh* self) {
    static const frame::Where here{"vesk.scene.geometry.view_pyramid_mesh.ViewPyramidMesh.__cinit__", kFile};
    frame::Ref ib = frame::Ref::steal(PyObject_CallNoArgs((PyObject*)int_index_buffer_type));
    if (!ib) return FRAME_FAIL(here, -1);
    frame::set_field(&self->indexbuffer, ib.get());
    frame::Ref vb = frame::Ref::steal(PyObject_CallNoArgs((PyObject*)&Buffer::type));
    if (!vb) return FRAME_FAIL(here, -1);
    frame::set_field(&self->vertex_buffer, vb.get());

    if (self->near == 0.0) {
        PyErr_SetString(PyExc_ZeroDivisionError, "float division");
        return FRAME_FAIL(here, -1);
    }
    const double scale = self->far / self->near;
    const double l = self->left, r = self->right, b = self->bottom, t = self->top;
    const double n = self->near, f = self->far;
    using linvec::vector3::make;
    frame::Ref nbl = frame::Ref::steal(make(l, b, n));
    frame::Ref fbl = frame::Ref::steal(make(l * scale, b * scale, f));
    frame::Ref nbr = frame::Ref::steal(make(r, b, n));
    frame::Ref fbr = frame::Ref::steal(make(r * scale, b * scale, f));
    frame::Ref ntl = frame::Ref::steal(make(l, t, n));
    frame::Ref ftl = frame::Ref::steal(make(l * scale, t * scale, f));
    frame::Ref ntr = frame::Ref::steal(make(r, t, n));
    frame::Ref ftr = frame::Ref::steal(make(r * scale, t * scale, f));
    if (!nbl || !fbl || !nbr || !fbr || !ntl || !ftl || !ntr || !ftr) return FRAME_FAIL(here, -1);

    // Room for exactly the six faces: 24 records, 36 indices.
    auto* vbo = reinterpret_cast<FrustumVertexBuffer*>(vb.get());
    auto* ibo = reinterpret_cast<index_buffer::IndexBuffer*>(ib.get());
    if (Buffer::reserve(vbo, Buffer::count(vbo) + 24) < 0 ||
        ds_vertex_buffer::reserve_records(&ibo->_indices, sizeof(uint32_t), index_buffer::index_count(ibo) + 36) < 0)
        return FRAME_FAIL(here, -1);

    // bottom, top, left, right, near, far; each quad (v0, v1, v2, v3)
    PyObject* const faces[6][4] = {
        {nbl.get(), fbl.get(), nbr.get(), fbr.get()},
        {ntl.get(), ntr.get(), ftl.get(), ftr.get()},
        {nbl.get(), ntl.get(), fbl.get(), ftl.get()},
        {nbr.get(), fbr.get(), ntr.get(), ftr.get()},
        {nbl.get(), nbr.get(), ntl.get(), ntr.get()},
        {fbl.get(), ftl.get(), fbr.get(), ftr.get()},
    };
    for (const auto& q : faces) self->vtab->add_vertices(self, q[0], q[1], q[2], q[3], 0);

    frame::Ref done = frame::Ref::steal(reinterpret_cast<FrustumVertexBufferVtab*>(vbo->base.vtab)->buffer_data(vbo, 0));
    if (!done) return FRAME_FAIL(here, -1);
    done = frame::Ref::steal(ibo->vtab->buffer_data(ibo, 0));
    if (!done) return FRAME_FAIL(here, -1);

    frame::Ref desc = frame::Ref::steal(PyObject_CallNoArgs((PyObject*)vertex_description_type));
    if (!desc) return FRAME_FAIL(here, -1);
    frame::set_field(&self->description, desc.get());
    if (add_position_attribute(self, 0, 0) < 0) return FRAME_FAIL(here, -1);
    if (add_position_attribute(self, 1, 12) < 0) return FRAME_FAIL(here, -1);

    frame::Ref binding = frame::Ref::steal(call_type(attrib_binding_type, {desc.get(), ib.get()}));
    if (!binding) return FRAME_FAIL(here, -1);
    frame::set_field(&self->binding, binding.get());
    return 0;
}

PyObject* mesh_new(PyTypeObject* t, PyObject* args, PyObject* kwds) {
    static const frame::Where here{"vesk.scene.geometry.view_pyramid_mesh.ViewPyramidMesh.__cinit__", kFile};
    PyObject* v[6];
    if (frame::parse_args("__cinit__", args, kwds, bound_names, 6, v) < 0) return FRAME_FAIL(here, nullptr);
    double bounds[6];
    for (int k = 0; k < 6; ++k)
        if (!frame::to_double(v[k], &bounds[k])) return FRAME_FAIL(here, nullptr);
    frame::Ref o = frame::Ref::steal(frame::alloc_instance(t, mesh_fields));
    if (!o) return FRAME_FAIL(here, nullptr);
    ViewPyramidMesh* self = cast(o.get());
    self->vtab = &mesh_vtab;
    self->left = bounds[0];
    self->right = bounds[1];
    self->bottom = bounds[2];
    self->top = bounds[3];
    self->near = bounds[4];
    self->far = bounds[5];
    self->next_index = 0;
    self->index_count = 0;
    if (build(self) < 0) return nullptr;
    return o.release();
}

int mesh_traverse(PyObject* o, visitproc visit, void* arg) {
    return frame::traverse_fields(o, mesh_fields, visit, arg);
}
int mesh_clear(PyObject* o) {
    frame::clear_fields(o, mesh_fields);
    return 0;
}
void mesh_dealloc(PyObject* o) { frame::dealloc_instance(o, mesh_fields); }

// create_from_fov_aspect(vertical_fov_rad, aspect_ratio, near, far)
PyObject* create_from_fov_aspect(PyObject*, PyObject* args, PyObject* kwds) {
    static const frame::Where here{
        "vesk.scene.geometry.view_pyramid_mesh.ViewPyramidMesh.create_from_fov_aspect", kFile};
    PyObject* v[4];
    if (frame::parse_args("create_from_fov_aspect", args, kwds, fov_names, 4, v) < 0)
        return FRAME_FAIL(here, nullptr);
    double fov, aspect, near, far;
    if (!frame::to_double(v[0], &fov) || !frame::to_double(v[1], &aspect) ||
        !frame::to_double(v[2], &near) || !frame::to_double(v[3], &far))
        return FRAME_FAIL(here, nullptr);
    const double tangent = std::tan(fov * 0.5);
    const double height = tangent * near;
    const double width = height * aspect;
    frame::Ref b[6] = {
        frame::Ref::steal(PyFloat_FromDouble(-width)), frame::Ref::steal(PyFloat_FromDouble(width)),
        frame::Ref::steal(PyFloat_FromDouble(-height)), frame::Ref::steal(PyFloat_FromDouble(height)),
        frame::Ref::steal(PyFloat_FromDouble(near)), frame::Ref::steal(PyFloat_FromDouble(far)),
    };
    for (const auto& x : b)
        if (!x) return FRAME_FAIL(here, nullptr);
    PyObject* mesh = call_type(&mesh_type, {b[0].get(), b[1].get(), b[2].get(), b[3].get(), b[4].get(), b[5].get()});
    return mesh ? mesh : FRAME_FAIL(here, nullptr);
}

// ------------------------------------------------------------------ properties

PyObject* get_vertex_buffer(PyObject* o, void*) { return frame::Ref::new_ref(cast(o)->vertex_buffer).release(); }
PyObject* get_indexbuffer(PyObject* o, void*) { return frame::Ref::new_ref(cast(o)->indexbuffer).release(); }
PyObject* get_binding(PyObject* o, void*) { return frame::Ref::new_ref(cast(o)->binding).release(); }
PyObject* get_description(PyObject* o, void*) { return frame::Ref::new_ref(cast(o)->description).release(); }
PyObject* get_next_index(PyObject* o, void*) { return PyLong_FromUnsignedLong(cast(o)->next_index); }
PyObject* get_index_count(PyObject* o, void*) { return PyLong_FromLong(cast(o)->index_count); }

template <size_t Offset>
PyObject* get_double(PyObject* o, void*) {
    double d;
    std::memcpy(&d, reinterpret_cast<const char*>(o) + Offset, sizeof d);
    return PyFloat_FromDouble(d);
}

PyMethodDef mesh_methods[] = {
    {"add_vertices", (PyCFunction)(void (*)())py_add_vertices, METH_VARARGS | METH_KEYWORDS,
     "ViewPyramidMesh.add_vertices(self, Vector3 v0, Vector3 v1, Vector3 v2, Vector3 v3) -> void"},
    {"add_single", (PyCFunction)(void (*)())py_add_single, METH_VARARGS | METH_KEYWORDS,
     "ViewPyramidMesh.add_single(self, Vector3 v0, Vector3 v1, Vector3 v2) -> void"},
    {"create_from_fov_aspect", (PyCFunction)(void (*)())create_from_fov_aspect,
     METH_VARARGS | METH_KEYWORDS | METH_STATIC,
     "ViewPyramidMesh.create_from_fov_aspect(double vertical_fov_rad, double aspect_ratio, double near, "
     "double far)\n\n"
     "A frustum symmetric about the z axis: vertical_fov_rad is the full vertical\n"
     "opening angle in radians, aspect_ratio the width over the height."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef mesh_getset[] = {
    {"vertex_buffer", get_vertex_buffer, nullptr, "The FrustumVertexBuffer of the mesh.", nullptr},
    {"indexbuffer", get_indexbuffer, nullptr, "The IntIndexBuffer of the mesh.", nullptr},
    {"binding", get_binding, nullptr, "The AttribBinding over the description and the index buffer.", nullptr},
    {"description", get_description, nullptr, "The VertexDescription: hi at location 0, lo at location 1.",
     nullptr},
    {"left", get_double<offsetof(ViewPyramidMesh, left)>, nullptr, "Left bound of the near rectangle.", nullptr},
    {"right", get_double<offsetof(ViewPyramidMesh, right)>, nullptr, "Right bound of the near rectangle.", nullptr},
    {"bottom", get_double<offsetof(ViewPyramidMesh, bottom)>, nullptr, "Bottom bound of the near rectangle.",
     nullptr},
    {"top", get_double<offsetof(ViewPyramidMesh, top)>, nullptr, "Top bound of the near rectangle.", nullptr},
    {"near", get_double<offsetof(ViewPyramidMesh, near)>, nullptr, "Distance of the near plane.", nullptr},
    {"far", get_double<offsetof(ViewPyramidMesh, far)>, nullptr, "Distance of the far plane.", nullptr},
    {"next_index", get_next_index, nullptr, "Index that the next appended vertex receives.", nullptr},
    {"index_count", get_index_count, nullptr, "Number of indices appended so far.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// ------------------------------------------------------------------ registration

bool intern_all(PyObject** out, std::initializer_list<const char*> names) {
    for (const char* n : names) {
        *out = frame::intern(n);
        if (!*out++) return false;
    }
    return true;
}

int register_classes(PyObject* module) {
    s_add_vertices = frame::intern("add_vertices");
    s_add_single = frame::intern("add_single");
    if (!s_add_vertices || !s_add_single ||
        !intern_all(bound_names, {"left", "right", "bottom", "top", "near", "far"}) ||
        !intern_all(fov_names, {"vertical_fov_rad", "aspect_ratio", "near", "far"}) ||
        !intern_all(quad_names, {"v0", "v1", "v2", "v3"}))
        return -1;
    if (Buffer::register_class(module) < 0) return -1;

    mesh_vtab.add_vertices = add_vertices;
    mesh_vtab.add_single = add_single;
    frame::ClassSpec spec{};
    spec.type = &mesh_type;
    spec.dotted = "vesk.scene.geometry.view_pyramid_mesh.ViewPyramidMesh";
    spec.short_name = kViewPyramidMesh;
    spec.basicsize = sizeof(ViewPyramidMesh);
    spec.doc =
        "ViewPyramidMesh(left, right, bottom, top, near, far)\n\n"
        "Closed triangle mesh of a view frustum in its own frame: apex at the\n"
        "origin, looking along +z, the near rectangle [left, right] x [bottom, top]\n"
        "in the plane z = near and its image scaled by far / near in z = far.\n"
        "Six quads (24 vertices, 36 indices), uploaded and bound on construction;\n"
        "seen from outside every triangle turns clockwise.";
    spec.tp_new = mesh_new;
    spec.tp_dealloc = mesh_dealloc;
    spec.tp_traverse = mesh_traverse;
    spec.tp_clear = mesh_clear;
    spec.methods = mesh_methods;
    spec.getset = mesh_getset;
    spec.vtable = &mesh_vtab;
    return frame::register_class(module, spec);
}

int import_classes(PyObject*) {
    namespace ab = attrib_binding;
    namespace ib = index_buffer;
    if (linvec::vector3::import_api() < 0 || linvec::ds_math::import_api() < 0) return -1;
    int_index_buffer_type = frame::import_class(ib::kModule, ib::kIntIndexBuffer, sizeof(ib::IntIndexBuffer), ib::kHeader);
    if (!int_index_buffer_type) return -1;
    vertex_description_type =
        frame::import_class(ab::kModule, ab::kVertexDescription, sizeof(ab::VertexDescription), ab::kHeader);
    if (!vertex_description_type) return -1;
    vertex_attribute_type =
        frame::import_class(ab::kModule, ab::kVertexAttribute, sizeof(ab::VertexAttribute), ab::kHeader);
    if (!vertex_attribute_type) return -1;
    attrib_binding_type = frame::import_class(ab::kModule, ab::kAttribBinding, sizeof(ab::AttribBinding), ab::kHeader);
    return attrib_binding_type ? 0 : -1;
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "view_pyramid_mesh", nullptr, -1, nullptr,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace vesk::view_pyramid_mesh

PyMODINIT_FUNC PyInit_view_pyramid_mesh() {
    using namespace vesk::view_pyramid_mesh;
    frame::ModuleInit init{&def, kModule, kFile};
    init.register_classes = register_classes;
    init.import_classes = import_classes;
    return frame::init_module(init);
}
