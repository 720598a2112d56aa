// The view frustum mesh: eight corners, six quads, two buffers uploaded and
// recorded in a vertex array object.
#include "view_pyramid_mesh.hpp"

#include "linvec/vector3.hpp"
#include "vesk/scene/geometry/mesh_common.hpp"

#include <cmath>
#include <cstddef>

namespace vesk::view_pyramid_mesh {
namespace {

constexpr const char* kFile = "vesk\\scene\\geometry\\view_pyramid_mesh.cpp";
constexpr const char* kMeshDotted = "vesk.scene.geometry.view_pyramid_mesh.ViewPyramidMesh";

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

// ------------------------------------------------------------------ ViewPyramidMesh

PyTypeObject mesh_type;
ViewPyramidMeshVtab mesh_vtab;
using MeshClass = mesh_common::MeshClass<ViewPyramidMesh>;
// add_vertices and add_single; their traceback entries name this line.
using Quads = mesh_common::QuadEmission<ViewPyramidMesh, Buffer, __LINE__>;

PyObject* bound_names[6];  // left, right, bottom, top, near, far
PyObject* fov_names[4];    // vertical_fov_rad, aspect_ratio, near, far

ViewPyramidMesh* cast(PyObject* o) { return reinterpret_cast<ViewPyramidMesh*>(o); }

// ------------------------------------------------------------------ construction

// Everything the constructor does after the arguments are stored. Each
// failing step leaves the traceback entry of its line.
int build(ViewPyramidMesh* self) {
    static const frame::Where here{"vesk.scene.geometry.view_pyramid_mesh.ViewPyramidMesh.__cinit__", kFile};
    frame::Ref vb, ib;
    if (mesh_common::make_buffers<Buffer>(self, &vb, &ib) < 0) return FRAME_FAIL(here, -1);

    if (self->near == 0.0) {
        mesh_common::float_division();
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
    if (mesh_common::reserve_more<Buffer>(vbo, ibo, 24, 36) < 0) return FRAME_FAIL(here, -1);

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

    // hi at location 0, lo at location 1
    static const mesh_common::Attribute attributes[] = {{0, 3, 0}, {1, 3, 12}};
    if (mesh_common::upload_and_bind<Buffer>(self, vb.get(), ib.get(), attributes) < 0) return FRAME_FAIL(here, -1);
    return 0;
}

PyObject* mesh_new(PyTypeObject* t, PyObject* args, PyObject* kwds) {
    static const frame::Where here{"vesk.scene.geometry.view_pyramid_mesh.ViewPyramidMesh.__cinit__", kFile};
    PyObject* v[6];
    if (frame::parse_args("__cinit__", args, kwds, bound_names, 6, v) < 0) return FRAME_FAIL(here, nullptr);
    double bounds[6];
    for (int k = 0; k < 6; ++k)
        if (!frame::to_double(v[k], &bounds[k])) return FRAME_FAIL(here, nullptr);
    frame::Ref o = frame::Ref::steal(MeshClass::alloc(t));
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
    PyObject* mesh =
        mesh_common::call_type(&mesh_type, {b[0].get(), b[1].get(), b[2].get(), b[3].get(), b[4].get(), b[5].get()});
    return mesh ? mesh : FRAME_FAIL(here, nullptr);
}

// ------------------------------------------------------------------ properties

PyMethodDef mesh_methods[] = {
    {"add_vertices", mesh_common::as_method(Quads::py_add_vertices), METH_VARARGS | METH_KEYWORDS,
     "ViewPyramidMesh.add_vertices(self, Vector3 v0, Vector3 v1, Vector3 v2, Vector3 v3) -> void"},
    {"add_single", mesh_common::as_method(Quads::py_add_single), METH_VARARGS | METH_KEYWORDS,
     "ViewPyramidMesh.add_single(self, Vector3 v0, Vector3 v1, Vector3 v2) -> void"},
    {"create_from_fov_aspect", mesh_common::as_method(create_from_fov_aspect),
     METH_VARARGS | METH_KEYWORDS | METH_STATIC,
     "ViewPyramidMesh.create_from_fov_aspect(double vertical_fov_rad, double aspect_ratio, double near, "
     "double far)\n\n"
     "A frustum symmetric about the z axis: vertical_fov_rad is the full vertical\n"
     "opening angle in radians, aspect_ratio the width over the height."},
    {nullptr, nullptr, 0, nullptr},
};

#define MESH_FIELD(name) mesh_common::field_at(offsetof(ViewPyramidMesh, name))
PyGetSetDef mesh_getset[] = {
    {"vertex_buffer", mesh_common::get_object, nullptr, "The FrustumVertexBuffer of the mesh.",
     MESH_FIELD(vertex_buffer)},
    {"indexbuffer", mesh_common::get_object, nullptr, "The IntIndexBuffer of the mesh.", MESH_FIELD(indexbuffer)},
    {"binding", mesh_common::get_object, nullptr, "The AttribBinding over the description and the index buffer.",
     MESH_FIELD(binding)},
    {"description", mesh_common::get_object, nullptr, "The VertexDescription: hi at location 0, lo at location 1.",
     MESH_FIELD(description)},
    {"left", mesh_common::get_double, nullptr, "Left bound of the near rectangle.", MESH_FIELD(left)},
    {"right", mesh_common::get_double, nullptr, "Right bound of the near rectangle.", MESH_FIELD(right)},
    {"bottom", mesh_common::get_double, nullptr, "Bottom bound of the near rectangle.", MESH_FIELD(bottom)},
    {"top", mesh_common::get_double, nullptr, "Top bound of the near rectangle.", MESH_FIELD(top)},
    {"near", mesh_common::get_double, nullptr, "Distance of the near plane.", MESH_FIELD(near)},
    {"far", mesh_common::get_double, nullptr, "Distance of the far plane.", MESH_FIELD(far)},
    {"next_index", mesh_common::get_uint32, nullptr, "Index that the next appended vertex receives.",
     MESH_FIELD(next_index)},
    {"index_count", mesh_common::get_int32, nullptr, "Number of indices appended so far.", MESH_FIELD(index_count)},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
#undef MESH_FIELD

// ------------------------------------------------------------------ registration

int register_classes(PyObject* module) {
    if (!mesh_common::intern_all(bound_names, {"left", "right", "bottom", "top", "near", "far"}) ||
        !mesh_common::intern_all(fov_names, {"vertical_fov_rad", "aspect_ratio", "near", "far"}) ||
        Quads::init(kMeshDotted, kFile) < 0)
        return -1;
    if (Buffer::register_class(module) < 0) return -1;

    Quads::install(&mesh_vtab);
    static const char* const doc =
        "ViewPyramidMesh(left, right, bottom, top, near, far)\n\n"
        "Closed triangle mesh of a view frustum in its own frame: apex at the\n"
        "origin, looking along +z, the near rectangle [left, right] x [bottom, top]\n"
        "in the plane z = near and its image scaled by far / near in z = far.\n"
        "Six quads (24 vertices, 36 indices), uploaded and bound on construction;\n"
        "seen from outside every triangle turns clockwise.";
    return MeshClass::register_class(module, &mesh_type, kMeshDotted, kViewPyramidMesh, doc, mesh_new, mesh_methods,
                                     mesh_getset, &mesh_vtab);
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "view_pyramid_mesh", nullptr, -1, nullptr,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace vesk::view_pyramid_mesh

PyMODINIT_FUNC PyInit_view_pyramid_mesh() {
    using namespace vesk::view_pyramid_mesh;
    return vesk::mesh_common::init_module(&def, kModule, kFile, register_classes);
}
