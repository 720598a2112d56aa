// vesk.scene.geometry.dome_shell_mesh: the closed triangle mesh of an
// ellipsoid of revolution about the z axis, with normals and texture
// coordinates, uploaded and bound to a vertex array object.
//
//   CappedSphereVertexBuffer  VertexBuffer subclass holding 44-byte records:
//                             double-single position, normal, texture coordinate
//   DomeShellMesh             eight patches (four longitude quadrants in each
//                             hemisphere), each a polar cap grown by two-row
//                             subdivision steps plus a band of latitude/longitude
//                             quads down to the equator; vertices shared by key
//
// Layouts and method tables are cross-module contracts (sizes are checked
// at import). Entries take the instance first; those with a skip flag take it
// last, and with skip 0 a Python subclass's override runs instead of the
// compiled body.
//
// CappedSphereVertexBuffer (ds_vertex_buffer::Object<CappedSphereVertex>):
//     PyObject_HEAD, VertexBufferVtab* vtab, uint32_t _gl_id, OwnedName _owned
//     frame::RecordArray _vertices          CappedSphereVertex records, in order
// method table (ds_vertex_buffer::RecordVtab):
//     0 bind, 1 unbind                      VertexBuffer's
//     2 buffer_data                         bind; glBufferData(GL_ARRAY_BUFFER,
//                                           count * 44, records, GL_STATIC_DRAW);
//                                           unbind
//     3 add(CappedSphereVertex)             append a copy (table only);
//                                           MemoryError, BufferError while a
//                                           view from `raw` is alive
//     4 get_stride_size                     the int 44
//     5 get_last_index -> int32_t           count - 1; -1 when empty
//
// DomeShellMesh: fields below, in this order. method table:
//     0 add_quadrant(start, end, h, vertex_data) -> None or nullptr
//     1 add_quad(start, i, j, h, vertex_data)    -> None or nullptr
//     2 add_vector(point, vertex_data) -> uint32_t   band mapping; never raises
//     3 convert(point, vertex_data) -> uint32_t      cap mapping; never raises
//     4 create_geometry() -> void                    all eight patches
//     5 split(v1, v2, depth, vertex_data) -> void    one two-row step and its
//                                                    recursion
// `point`, `v1`, `v2` are linvec Vector3 parameter points (longitude, row,
// hemisphere); `vertex_data` is a dict from the key (x, y, z, u, v) of each
// vertex made so far to its index. add_vector/convert report their errors
// through sys.unraisablehook and return index 0; create_geometry and split
// report theirs likewise; add_quadrant and add_quad return nullptr with the
// error set. Only create_geometry and split are Python-visible.
#pragma once

#include "frame/frame.hpp"
#include "linvec/ds_math.hpp"
#include "linvec/math_structs.hpp"
#include "vesk/opengl/buffers/attrib_binding.hpp"
#include "vesk/opengl/buffers/index_buffer.hpp"
#include "vesk/scene/geometry/ds_vertex_buffer.hpp"

namespace vesk::dome_shell_mesh {

// The uploaded record: 44 bytes, no gaps. Attribute locations: 0 position
// hi (byte 0), 1 position lo (12), 2 normal (24), 3 texture coordinate (36).
struct CappedSphereVertex {
    linvec::ds_math::double_single3 _position;
    linvec::math_structs::float3 _normal;
    linvec::math_structs::float2 _texture_coord;
};
static_assert(sizeof(CappedSphereVertex) == 44, "CappedSphereVertex is the uploaded record");

using CappedSphereVertexBuffer = ds_vertex_buffer::Object<CappedSphereVertex>;
using CappedSphereVertexBufferVtab =
    ds_vertex_buffer::RecordVtab<CappedSphereVertexBuffer, CappedSphereVertex>;

struct DomeShellMesh;

struct DomeShellMeshVtab {
    PyObject* (*add_quadrant)(DomeShellMesh* self, double start, double end, double h,
                              PyObject* vertex_data);
    PyObject* (*add_quad)(DomeShellMesh* self, double start, int32_t i, int32_t j, double h,
                          PyObject* vertex_data);
    uint32_t (*add_vector)(DomeShellMesh* self, PyObject* point, PyObject* vertex_data);
    uint32_t (*convert)(DomeShellMesh* self, PyObject* point, PyObject* vertex_data);
    void (*create_geometry)(DomeShellMesh* self, int skip);
    void (*split)(DomeShellMesh* self, PyObject* v1, PyObject* v2, int32_t depth,
                  PyObject* vertex_data, int skip);
};

struct DomeShellMesh {
    PyObject_HEAD
    DomeShellMeshVtab* vtab;
    // Object fields: None until the constructor sets them (and after a
    // garbage-collector clear); a reader checks the class before the cast.
    PyObject* binding;        // attrib_binding::AttribBinding over description and indexbuffer
    PyObject* description;    // attrib_binding::VertexDescription: the four attributes
    PyObject* vertex_buffer;  // CappedSphereVertexBuffer; property `vertex_buffer`
    PyObject* indexbuffer;    // index_buffer::IntIndexBuffer; property `indexbuffer`
    double radius;            // equatorial radius
    double ecc;               // eccentricity
    double ecc_squared;       // ecc ** 2.0
    int32_t depth;            // subdivision depth, at least 1
    double rows;              // 2 * depth + 1: cap rows
    int32_t band_start;       // first quad band
    double cap_fraction;      // band_start / segments
    int32_t segments;         // 2 ** depth
};

inline constexpr const char* kModule = "vesk.scene.geometry.dome_shell_mesh";
inline constexpr const char* kCappedSphereVertexBuffer = "CappedSphereVertexBuffer";
inline constexpr const char* kDomeShellMesh = "DomeShellMesh";
inline constexpr const char* kHeader = "vesk\\scene\\geometry\\dome_shell_mesh.hpp";

}  // namespace vesk::dome_shell_mesh
