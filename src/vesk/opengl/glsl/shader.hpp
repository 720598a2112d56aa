// vesk.opengl.glsl.shader: one GL shader object of one stage, made from one
// GLSL source file expanded through "#include_file" / "#include_reference",
// with the source map that places every output line in its unit. The layout,
// the method-table order and the signature texts are cross-module contracts.
#pragma once

#include "frame/frame.hpp"

#include <cstdint>

namespace vesk::shader {

struct Shader;

// C-level method table, in slot order. Every entry is also a Python method
// that a Python subclass may override; with skip == 0 an override is called
// instead of the compiled body. Each returns a new reference (None, or the
// list of lines for _load_include_file), or nullptr with an exception set.
struct ShaderVtab {
    // 0: raise GlslException for a failed compile (first error line of the log).
    PyObject* (*_process_errors)(Shader* self, int skip);
    // 1: read source_file, fill source_map and source.
    PyObject* (*_process_source)(Shader* self, int skip);
    // 2: append the lines of one unit to source_map, expanding directives.
    PyObject* (*_process_include_file)(Shader* self, PyObject* src_info, PyObject* src_lines,
                                       PyObject* parent_refs, int skip);
    // 3: the lines of a file, each with its terminator.
    PyObject* (*_load_include_file)(Shader* self, PyObject* include_file_path, int skip);
};

struct Shader {
    PyObject_HEAD
    ShaderVtab* vtab;
    uint32_t _gl_id;        // GLuint; 0 until created
    PyObject* source_file;  // str: resolved path of the root file
    PyObject* source;       // str: the preprocessed text ("" until done)
    PyObject* source_map;   // list of (text, unit, line index, parent_refs)
    uint32_t shader_type;   // GLenum: GL_VERTEX_SHADER, GL_FRAGMENT_SHADER, ...
    PyObject* aux_dict;     // dict for the owner's use; never read here
};

inline constexpr const char* kModule = "vesk.opengl.glsl.shader";
inline constexpr const char* kClass = "Shader";
inline constexpr const char* kHeader = "vesk\\opengl\\glsl\\shader.hpp";

// Exported through __capi__. Each needs a current GL context.
//   load_shader_source(shader, source): never raises; an error (no context,
//   source not a str, not a shader name) is reported as unraisable.
inline constexpr const char* kLoadShaderSourceName = "load_shader_source";
inline constexpr const char* kLoadShaderSourceSig = "void (GLuint, PyObject *)";
using LoadShaderSourceFn = void (*)(unsigned int shader, PyObject* source);
//   get_shader_parameter(shader, parameter): glGetShaderiv's value; -1 with
//   an exception set on error (no context, not a shader, unknown parameter).
inline constexpr const char* kGetShaderParameterName = "get_shader_parameter";
inline constexpr const char* kGetShaderParameterSig = "int (GLuint, GLenum)";
using GetShaderParameterFn = int (*)(unsigned int shader, unsigned int parameter);
//   get_shader_info_log(shader): a new str, or nullptr with an exception set.
inline constexpr const char* kGetShaderInfoLogName = "get_shader_info_log";
inline constexpr const char* kGetShaderInfoLogSig = "PyObject *(GLuint)";
using GetShaderInfoLogFn = PyObject* (*)(unsigned int shader);
//   get_shader_compile_status(shader): 1 or 0; -1 with an exception set on error.
inline constexpr const char* kGetShaderCompileStatusName = "get_shader_compile_status";
inline constexpr const char* kGetShaderCompileStatusSig = "int (GLuint)";
using GetShaderCompileStatusFn = int (*)(unsigned int shader);

}  // namespace vesk::shader
