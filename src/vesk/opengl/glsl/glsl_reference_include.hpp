// vesk.opengl.glsl.glsl_reference_include: the registry of named GLSL texts
// that "#include_reference <name>" expands. The registry is process-global;
// GlslReferenceInclude has no instance state of its own.
#pragma once

#include "frame/frame.hpp"

namespace vesk::glsl_reference_include {

struct GlslReferenceInclude {
    PyObject_HEAD
};

inline constexpr const char* kModule = "vesk.opengl.glsl.glsl_reference_include";
inline constexpr const char* kClass = "GlslReferenceInclude";
inline constexpr const char* kHeader = "vesk\\opengl\\glsl\\glsl_reference_include.hpp";

// Exported through __capi__: the text registered under `name` as a new
// reference, None when there is none, or nullptr with an exception set
// (`name` not a str).
inline constexpr const char* kGetIncludeTextName = "get_include_text";
inline constexpr const char* kGetIncludeTextSig = "PyObject *(PyObject *)";
using GetIncludeTextFn = PyObject* (*)(PyObject* name);

}  // namespace vesk::glsl_reference_include
