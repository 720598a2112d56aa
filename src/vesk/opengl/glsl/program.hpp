// vesk.opengl.glsl.program: a linked GL program built from the files of its
// stages, with its active uniforms (settable values, converted by GL type)
// and uniform blocks (bound to uniform buffers). The layouts, method-table
// orders and signature texts are cross-module contracts.
#pragma once

#include "frame/frame.hpp"
#include "glsupport/context_token.hpp"

#include <cstdint>

namespace vesk::program {

// The context current when a GL name was generated.
using ContextRef = glsupport::ContextToken;

struct Uniform;

// C-level method table of Uniform, in entry order; not overridable. Both
// need the program's context current.
struct UniformVtab {
    // 0: set the value (conversion by GL type); 0, or -1 with TypeError
    //    naming the uniform and its type, OverflowError/ValueError for
    //    numbers out of range, RuntimeError when the program is released or
    //    its context is not current.
    int (*set_value)(Uniform* self, PyObject* value);
    // 1: the value read back with glGetUniform*: float, int or bool for
    //    scalars, tuples for vectors and (column-major) matrices, a tuple of
    //    those for arrays; nullptr with an exception set.
    PyObject* (*get_value)(Uniform* self);
};

struct Uniform {
    PyObject_HEAD
    UniformVtab* vtab;
    PyObject* name;     // str; an array's name without its "[0]"
    uint32_t program;   // GLuint; 0 once the program is released
    int32_t location;
    uint32_t type;      // GLenum: GL_FLOAT_VEC4, GL_SAMPLER_2D, ...
    int32_t size;       // array length, 1 for a plain uniform
    ContextRef context;
};

// A record of one member of a uniform block, as the program reports it.
struct UniformBlockMember {
    PyObject_HEAD
    PyObject* name;
    uint32_t type;        // GLenum
    int32_t offset;       // bytes from the block start
    int32_t size;         // array length
    int32_t array_stride;
    int32_t matrix_stride;
};

struct UniformBlock;

// C-level method table of UniformBlock, in entry order; not overridable.
struct UniformBlockVtab {
    // 0: glBindBufferBase(GL_UNIFORM_BUFFER, binding, name of buffer), where
    //    buffer is an object with `_gl_id`, an int GL buffer name, or None
    //    (0, unbinds). 0, or -1 with an exception set.
    int (*bind)(UniformBlock* self, PyObject* buffer);
};

struct UniformBlock {
    PyObject_HEAD
    UniformBlockVtab* vtab;
    PyObject* name;      // str
    PyObject* members;   // dict: member name -> UniformBlockMember (read-only view in Python)
    uint32_t program;    // GLuint; 0 once the program is released
    uint32_t index;      // block index in the program
    uint32_t binding;    // uniform-buffer binding point (set to the block index)
    int32_t data_size;   // GL_UNIFORM_BLOCK_DATA_SIZE in bytes
    ContextRef context;
};

struct Program {
    PyObject_HEAD
    uint32_t _gl_id;            // GLuint of the linked program
    PyObject* vertex_shader;    // Shader
    PyObject* fragment_shader;  // Shader
    PyObject* geometry_shader;  // Shader or None
    PyObject* uniforms;         // dict: name -> Uniform (Python sees a read-only view)
    PyObject* uniform_blocks;   // dict: name -> UniformBlock (likewise)
    uint32_t shader_ids[3];     // the GL shaders this program created (0: none)
    ContextRef context;
};

inline constexpr const char* kModule = "vesk.opengl.glsl.program";
inline constexpr const char* kHeader = "vesk\\opengl\\glsl\\program.hpp";
inline constexpr const char* kProgramClass = "Program";
inline constexpr const char* kUniformClass = "Uniform";
inline constexpr const char* kUniformBlockClass = "UniformBlock";
inline constexpr const char* kUniformBlockMemberClass = "UniformBlockMember";

// Exported through __capi__:
//   create_uniform_from_type(program, name, location, type, size): a new
//   Uniform of `program` for the current context; TypeError for a GL type it
//   cannot set (nullptr with an exception set).
inline constexpr const char* kCreateUniformName = "create_uniform_from_type";
inline constexpr const char* kCreateUniformSig = "PyObject *(GLuint, PyObject *, GLint, GLenum, GLint)";
using CreateUniformFn = PyObject* (*)(unsigned int program, PyObject* name, int location,
                                      unsigned int type, int size);
//   create_uniform_block_member(name, type, offset, size, array_stride, matrix_stride)
inline constexpr const char* kCreateMemberName = "create_uniform_block_member";
inline constexpr const char* kCreateMemberSig = "PyObject *(PyObject *, GLenum, GLint, GLint, GLint, GLint)";
using CreateMemberFn = PyObject* (*)(PyObject* name, unsigned int type, int offset, int size,
                                     int array_stride, int matrix_stride);
//   glew_enum_to_name(value): a new str, the GL name of a type or shader-stage
//   enumerant ("GL_FLOAT_VEC4"), or "0x%04X" for one it does not know.
inline constexpr const char* kEnumToNameName = "glew_enum_to_name";
inline constexpr const char* kEnumToNameSig = "PyObject *(GLenum)";
using EnumToNameFn = PyObject* (*)(unsigned int value);

}  // namespace vesk::program
