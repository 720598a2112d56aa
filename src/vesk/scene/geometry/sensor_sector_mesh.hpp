// vesk.scene.geometry.sensor_sector_mesh: the mesh of a sensor volume
// bounded by azimuth, elevation and range limits, rounded or capped.
//
//   ConeVertexBuffer  VertexBuffer subclass holding 24-byte double-single
//                     position records (ds_vertex_buffer.hpp)
//   SensorSectorMesh  builds the mesh in its constructor, uploads both
//                     buffers and records the layout in an AttribBinding
//
// Layouts and method tables below are cross-module contracts (sizes are
// checked at import; entries are called in this order by other modules).
// Every entry takes the instance first and the skip flag last; with skip 0
// a Python subclass's override runs instead of the compiled body.
//
// ConeVertexBuffer (= ds_vertex_buffer::Object<ConeVertex>)
//     PyObject_HEAD, VertexBufferVtab* vtab, uint32_t _gl_id, OwnedName _owned,
//     frame::RecordArray _vertices
//   0 bind, 1 unbind        VertexBuffer's
//   2 buffer_data           upload every record, GL_STATIC_DRAW
//   3 add(position)         a linvec Vector3 (TypeError for None or another
//                           class); appends to_double_single3(position)
//   4 get_stride_size       24
//
// SensorSectorMesh: all eight entries are "-> void": errors are printed and
// reported through sys.unraisablehook with the method's dotted name.
//   0 build_x_faces       lower and upper elevation cones (rounded)
//   1 build_y_faces       the side walls (rounded)
//   2 build_z_faces       near and far spherical caps
//   3 build_x_flat_faces  lower and upper boundary (capped)
//   4 build_y_flat_faces  the side walls (capped)
//   5 build_z_flat_faces  near and far flat caps
//   6 add_vertices(v0, v1, v2, v3)  one quad: 4 vertices, triangles
//                                   (v0, v1, v2) and (v1, v3, v2)
//   7 add_single(v0, v1, v2)        one triangle
#pragma once

#include "frame/frame.hpp"
#include "frame/record_array.hpp"
#include "linvec/ds_math.hpp"
#include "vesk/opengl/buffers/vertex_buffer.hpp"
#include "vesk/scene/geometry/ds_vertex_buffer.hpp"

namespace vesk::sensor_sector_mesh {

// The GL vertex record: hi triple at byte 0 (location 0), lo at 12 (location 1).
struct ConeVertex {
    linvec::ds_math::double_single3 _position;
};
static_assert(sizeof(ConeVertex) == 24, "24-byte vertex record");

using ConeVertexBuffer = ds_vertex_buffer::Object<ConeVertex>;
using ConeVertexBufferVtab = ds_vertex_buffer::PositionVtab<ConeVertexBuffer>;

struct SensorSectorMesh;

struct SensorSectorMeshVtab {
    void (*build_x_faces)(SensorSectorMesh* self, int skip);
    void (*build_y_faces)(SensorSectorMesh* self, int skip);
    void (*build_z_faces)(SensorSectorMesh* self, int skip);
    void (*build_x_flat_faces)(SensorSectorMesh* self, int skip);
    void (*build_y_flat_faces)(SensorSectorMesh* self, int skip);
    void (*build_z_flat_faces)(SensorSectorMesh* self, int skip);
    void (*add_vertices)(SensorSectorMesh* self, PyObject* v0, PyObject* v1, PyObject* v2,
                         PyObject* v3, int skip);
    void (*add_single)(SensorSectorMesh* self, PyObject* v0, PyObject* v1, PyObject* v2, int skip);
};

struct SensorSectorMesh {
    PyObject_HEAD
    SensorSectorMeshVtab* vtab;
    PyObject* binding;        // AttribBinding (None until built)
    PyObject* description;    // VertexDescription
    PyObject* vertex_buffer;  // ConeVertexBuffer
    PyObject* indexbuffer;    // IntIndexBuffer
    double az_min;            // radians
    double az_max;
    double el_min;
    double el_max;
    double near_range;        // scene units
    double far_range;
    int32_t az_precision;     // steps across the azimuth span
    int32_t el_precision;     // steps across the elevation span
    uint32_t next_index;      // vertices emitted so far: the next vertex's index
    int32_t index_count;      // indices emitted so far
    int32_t is_rounded;       // 1 rounded, 0 capped
};

inline constexpr const char* kModule = "vesk.scene.geometry.sensor_sector_mesh";
inline constexpr const char* kConeVertexBuffer = "ConeVertexBuffer";
inline constexpr const char* kSensorSectorMesh = "SensorSectorMesh";
inline constexpr const char* kHeader = "vesk\\scene\\geometry\\sensor_sector_mesh.hpp";

}  // namespace vesk::sensor_sector_mesh
