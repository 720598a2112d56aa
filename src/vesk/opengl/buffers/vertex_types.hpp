// vesk.opengl.buffers.vertex_types: vertex buffers with fixed record types.
//
// PosVertexBuffer: positions only, one PosVertex (three 32-bit floats,
// 12 bytes, no gaps) per vertex; the GL array buffer holds exactly these
// records. It derives from vesk.opengl.buffers.vertex_buffer.VertexBuffer
// (see vertex_buffer.hpp for the base layout and how derivation works).
//
// Layout (cross-module contract):
//
//     vertex_buffer::VertexBuffer base;   header, vtab, _gl_id, _owned
//     frame::RecordArray _vertices;       PosVertex records, in order added
//
// Method table, in entry order (instance first, skip flag last; each returns
// a new reference, None unless said otherwise, or nullptr with an exception):
//     0  bind             VertexBuffer's: GL_ARRAY_BUFFER
//     1  unbind           VertexBuffer's
//     2  buffer_data      bind; glBufferData(GL_ARRAY_BUFFER, count * 12,
//                         records, GL_STATIC_DRAW); unbind
//     3  add(position)    append a linvec.vector3f.Vector3f (TypeError for
//                         anything else, None included); BufferError while a
//                         view from `raw` is alive
//     4  get_stride_size  the int 12
// Entries 2-4 are Python-visible ("PosVertexBuffer.add(self, Vector3f position)",
// "PosVertexBuffer.buffer_data(self)", "PosVertexBuffer.get_stride_size(self)")
// and overridable. vertex_count() below is the number of records (what
// glDrawArrays draws); it never exceeds kMaxVertices.
#pragma once

#include "frame/frame.hpp"
#include "frame/record_array.hpp"
#include "vesk/opengl/buffers/vertex_buffer.hpp"

namespace vesk::vertex_types {

struct PosVertex {
    float x;
    float y;
    float z;
};
static_assert(sizeof(PosVertex) == 12, "PosVertex is the uploaded record");

struct PosVertexBuffer;

struct PosVertexBufferVtab {
    vertex_buffer::VertexBufferVtab base;
    PyObject* (*buffer_data)(PosVertexBuffer* self, int skip);
    PyObject* (*add)(PosVertexBuffer* self, PyObject* position, int skip);
    PyObject* (*get_stride_size)(PosVertexBuffer* self, int skip);
};

struct PosVertexBuffer {
    vertex_buffer::VertexBuffer base;
    frame::RecordArray _vertices;
};

inline constexpr Py_ssize_t kMaxVertices = 0x7fffffff;

inline Py_ssize_t vertex_count(const PosVertexBuffer* vb) {
    return frame::record_count(vb->_vertices, sizeof(PosVertex));
}

inline constexpr const char* kModule = "vesk.opengl.buffers.vertex_types";
inline constexpr const char* kPosVertexBuffer = "PosVertexBuffer";
inline constexpr const char* kHeader = "vesk\\opengl\\buffers\\vertex_types.hpp";

}  // namespace vesk::vertex_types
