// vesk.opengl.buffers.index_buffer: element-array buffers.
//
// IndexBuffer is the base: it owns one GL buffer name (generated in the
// allocation step, which needs a current context), binds it as
// GL_ELEMENT_ARRAY_BUFFER, keeps the indices on the CPU in one contiguous
// array and uploads them. It stores no index type of its own: its `add`
// raises NotImplementedError. IntIndexBuffer stores unsigned 32-bit indices
// (GL_UNSIGNED_INT). `len()` is the number of indices; the truth value is
// true when the buffer holds at least one index (an empty buffer given to
// AttribBinding counts as no index buffer).
//
// Layout (cross-module contract; IntIndexBuffer has exactly this layout):
//
//     PyObject_HEAD
//     IndexBufferVtab* vtab;
//     uint32_t _gl_id;              the GL buffer name that bind() binds
//     glsupport::OwnedName _owned;  the name generated here and its context
//     uint32_t index_type;          GL_UNSIGNED_INT (0x1405) for IntIndexBuffer;
//                                   0 for the bare base
//     int32_t index_size;           bytes per index: 4, or 0 for the base
//     frame::RecordArray _indices;  the indices, `index_size` bytes each
//
// The number of indices is index_count(ib) below; it never exceeds
// kMaxIndices (2**31 - 1, what a GLsizei draw count can address).
// glDrawElements(mode, index_count(ib), ib->index_type, 0) draws them all.
//
// Method table, in entry order; instance first, skip flag last; each returns
// None (new reference) or nullptr with an exception set:
//     0  bind         glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, _gl_id): recorded
//                     in the vertex array object bound at that moment
//     1  unbind       glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0)
//     2  buffer_data  upload every index, GL_STATIC_DRAW; leaves the
//                     element-array binding (vertex array state) untouched
//     3  add          append one index; `index` must lie in 0 .. 2**32 - 1
//                     (OverflowError otherwise, nothing appended; a wider
//                     argument type so callers' arithmetic is checked, not
//                     wrapped); BufferError while a view is exported
// All four are Python-visible ("IndexBuffer.bind(self)", ...,
// "IntIndexBuffer.add(self, GLuint index)") and overridable.
//
// Importing from another module:
//     ib_type  = frame::import_class(kModule, kIndexBuffer, sizeof(IndexBuffer), kHeader);
//     int_type = frame::import_class(kModule, kIntIndexBuffer, sizeof(IntIndexBuffer), kHeader);
//     frame::import_vtable(...) for each; call through the instance's table:
//     ib->vtab->add(ib, b + 1, 0).
#pragma once

#include "frame/frame.hpp"
#include "frame/record_array.hpp"
#include "glsupport/glsupport.hpp"
#include "glsupport/owned_name.hpp"

namespace vesk::index_buffer {

struct IndexBuffer;

struct IndexBufferVtab {
    PyObject* (*bind)(IndexBuffer* self, int skip);
    PyObject* (*unbind)(IndexBuffer* self, int skip);
    PyObject* (*buffer_data)(IndexBuffer* self, int skip);
    PyObject* (*add)(IndexBuffer* self, int64_t index, int skip);
};

struct IndexBuffer {
    PyObject_HEAD
    IndexBufferVtab* vtab;
    uint32_t _gl_id;
    glsupport::OwnedName _owned;
    uint32_t index_type;
    int32_t index_size;
    frame::RecordArray _indices;
};

// Same layout; only the method table and the index type differ.
struct IntIndexBuffer {
    IndexBuffer base;
};

inline constexpr Py_ssize_t kMaxIndices = 0x7fffffff;

inline Py_ssize_t index_count(const IndexBuffer* ib) {
    return ib->index_size > 0 ? frame::record_count(ib->_indices, (size_t)ib->index_size) : 0;
}

inline constexpr const char* kModule = "vesk.opengl.buffers.index_buffer";
inline constexpr const char* kIndexBuffer = "IndexBuffer";
inline constexpr const char* kIntIndexBuffer = "IntIndexBuffer";
inline constexpr const char* kHeader = "vesk\\opengl\\buffers\\index_buffer.hpp";

}  // namespace vesk::index_buffer
