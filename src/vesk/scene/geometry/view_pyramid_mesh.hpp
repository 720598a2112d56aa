// vesk.scene.geometry.view_pyramid_mesh: the closed triangle mesh of a view
// frustum, in double-single positions, uploaded and bound to a vertex array
// object.
//
//   FrustumVertexBuffer  VertexBuffer subclass holding 24-byte position
//                        records (high triple, then low triple)
//   ViewPyramidMesh      eight corners, six quads (24 vertices, 36 indices),
//                        the two position attributes at locations 0 and 1
//
// The frustum's frame: apex (eye) at the origin, looking along +z, the near
// rectangle in z = near, the far rectangle its image scaled by far / near.
// Every triangle turns clockwise seen from outside (its right-hand normal
// points into the frustum) for left < right, bottom < top, 0 < near < far.
//
// Layouts and method tables are cross-module contracts (sizes are checked
// at import). Entries take the instance first and the skip flag last; with
// skip 0 a Python subclass's override runs instead of the compiled body.
//
// FrustumVertexBuffer (ds_vertex_buffer::Object<FrustumVertex>):
//     PyObject_HEAD, VertexBufferVtab* vtab, uint32_t _gl_id, OwnedName _owned
//     frame::RecordArray _vertices          FrustumVertex records, in order
// method table (ds_vertex_buffer::PositionVtab):
//     0 bind, 1 unbind                      VertexBuffer's
//     2 buffer_data                         bind; glBufferData(GL_ARRAY_BUFFER,
//                                           count * 24, records, GL_STATIC_DRAW);
//                                           unbind
//     3 add(PyObject* position)             a linvec Vector3 (TypeError for
//                                           anything else, None included)
//     4 get_stride_size                     the int 24
//
// ViewPyramidMesh: fields below, in this order. A renderable reads
// `binding` (bind/unbind it around a draw) and `indexbuffer`
// (index_buffer::index_count() indices of GL_UNSIGNED_INT) directly.
// method table:
//     0 add_vertices(v0, v1, v2, v3) -> void   one quad: the four positions
//                                              through the buffer's add, then
//                                              indices b, b+1, b+2, b+1, b+3,
//                                              b+2 with b = next_index
//     1 add_single(v0, v1, v2) -> void         one triangle: b, b+1, b+2
// The arguments are borrowed Vector3 objects; errors inside are reported
// through sys.unraisablehook with the method's dotted name, never raised.
#pragma once

#include "frame/frame.hpp"
#include "linvec/ds_math.hpp"
#include "vesk/opengl/buffers/attrib_binding.hpp"
#include "vesk/opengl/buffers/index_buffer.hpp"
#include "vesk/scene/geometry/ds_vertex_buffer.hpp"

namespace vesk::view_pyramid_mesh {

// The uploaded record: 24 bytes, no gaps.
struct FrustumVertex {
    linvec::ds_math::double_single3 _position;  // hi at byte 0, lo at byte 12
};
static_assert(sizeof(FrustumVertex) == 24, "FrustumVertex is the uploaded record");

using FrustumVertexBuffer = ds_vertex_buffer::Object<FrustumVertex>;
using FrustumVertexBufferVtab = ds_vertex_buffer::PositionVtab<FrustumVertexBuffer>;

struct ViewPyramidMesh;

struct ViewPyramidMeshVtab {
    void (*add_vertices)(ViewPyramidMesh* self, PyObject* v0, PyObject* v1, PyObject* v2,
                         PyObject* v3, int skip);
    void (*add_single)(ViewPyramidMesh* self, PyObject* v0, PyObject* v1, PyObject* v2, int skip);
};

struct ViewPyramidMesh {
    PyObject_HEAD
    ViewPyramidMeshVtab* vtab;
    // Object fields: None until the constructor sets them (and after a
    // garbage-collector clear); a reader checks the class before the cast.
    PyObject* binding;        // attrib_binding::AttribBinding over description and indexbuffer
    PyObject* description;    // attrib_binding::VertexDescription: locations 0 (hi), 1 (lo)
    PyObject* vertex_buffer;  // FrustumVertexBuffer; property `vertex_buffer`
    PyObject* indexbuffer;    // index_buffer::IntIndexBuffer; property `indexbuffer`
    double left;
    double right;
    double bottom;
    double top;
    double near;
    double far;
    uint32_t next_index;  // index the next appended vertex receives
    int32_t index_count;  // indices appended so far
};

inline constexpr const char* kModule = "vesk.scene.geometry.view_pyramid_mesh";
inline constexpr const char* kFrustumVertexBuffer = "FrustumVertexBuffer";
inline constexpr const char* kViewPyramidMesh = "ViewPyramidMesh";
inline constexpr const char* kHeader = "vesk\\scene\\geometry\\view_pyramid_mesh.hpp";

}  // namespace vesk::view_pyramid_mesh
