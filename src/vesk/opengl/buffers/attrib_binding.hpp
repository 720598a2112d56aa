// vesk.opengl.buffers.attrib_binding: vertex layouts and the GL vertex array
// objects that record them.
//
//   VertexAttribute    one attribute: buffer, location, components, type,
//                      normalisation, byte offset and the buffer's stride
//   VertexDescription  the attributes of one vertex layout, in order
//   AttribBinding      a vertex array object built from a description and
//                      an optional index buffer
//
// Layouts and method tables below are cross-module contracts (sizes are
// checked at import; entries are called in this order by other modules).
// Every entry takes the instance first and the skip flag last; with skip 0
// a Python subclass's override runs instead of the compiled body. Entries
// returning PyObject* return None (new reference) or nullptr with an
// exception; "-> void" entries never raise: errors are printed and reported
// through sys.unraisablehook with the method's dotted name.
//
// VertexAttribute
//     0  attach  -> void   bind the buffer (VertexBuffer entry 0),
//                          glEnableVertexAttribArray(location),
//                          glVertexAttribPointer(location, element_count,
//                          element_type, is_normalized, stride, offset),
//                          unbind the buffer (VertexBuffer entry 1)
// VertexDescription
//     0  add(vertex_attribute)   append; TypeError unless a VertexAttribute
//                                (None included)
//     1  attach  -> void         entry 0 of every attribute, in order
// AttribBinding
//     0  bind        glBindVertexArray(gl_id)
//     1  unbind      glBindVertexArray(0)
//     2  initialize  bind; description attach; bind the index buffer if it is
//                    truthy (IndexBuffer entry 0, recorded in the array
//                    object); unbind
//
// The vertex array object is generated in AttribBinding's constructor (a
// context must be current) and deleted when the AttribBinding is released,
// only while the context it was generated in is current (otherwise the name
// is forgotten: it may by then belong to someone else).
#pragma once

#include "frame/frame.hpp"
#include "glsupport/glsupport.hpp"
#include "glsupport/owned_name.hpp"

namespace vesk::attrib_binding {

struct VertexAttribute;
struct VertexDescription;
struct AttribBinding;

struct VertexAttributeVtab {
    void (*attach)(VertexAttribute* self, int skip);
};

struct VertexDescriptionVtab {
    PyObject* (*add)(VertexDescription* self, PyObject* vertex_attribute, int skip);
    void (*attach)(VertexDescription* self, int skip);
};

struct AttribBindingVtab {
    PyObject* (*bind)(AttribBinding* self, int skip);
    PyObject* (*unbind)(AttribBinding* self, int skip);
    PyObject* (*initialize)(AttribBinding* self, int skip);
};

struct VertexAttribute {
    PyObject_HEAD
    VertexAttributeVtab* vtab;
    PyObject* vertex_buffer;      // a VertexBuffer (None only after a GC clear)
    uint32_t location;            // GLuint
    int32_t element_count;
    uint32_t element_type;        // GLenum, e.g. GL_FLOAT (5126)
    unsigned char is_normalized;  // GLboolean
    intptr_t offset;              // bytes; sign-widened from the 32-bit argument
    int32_t stride;               // the buffer's get_stride_size() at construction
};

struct VertexDescription {
    PyObject_HEAD
    VertexDescriptionVtab* vtab;
    PyObject* attributes;  // list of VertexAttribute, in the order added
};

struct AttribBinding {
    PyObject_HEAD
    AttribBindingVtab* vtab;
    uint32_t gl_id;                // the vertex array object's name
    PyObject* vertex_description;  // a VertexDescription
    PyObject* index_buffer;        // an IndexBuffer, or None
    int32_t has_index_buffer;      // 1 when a truthy index buffer was given
    glsupport::OwnedName _owned;   // the generated name and its context
};

inline constexpr const char* kModule = "vesk.opengl.buffers.attrib_binding";
inline constexpr const char* kVertexAttribute = "VertexAttribute";
inline constexpr const char* kVertexDescription = "VertexDescription";
inline constexpr const char* kAttribBinding = "AttribBinding";
inline constexpr const char* kHeader = "vesk\\opengl\\buffers\\attrib_binding.hpp";

}  // namespace vesk::attrib_binding
