// vesk.opengl.glsl.glsl_message: one GLSL diagnostic placed at the unit and
// line where its text was written, the exception that carries it, and the
// parser that turns a driver info-log line into a message. The layouts and
// the signature text are cross-module contracts.
#pragma once

#include "frame/frame.hpp"

namespace vesk::glsl_message {

// Fields in constructor order. A message "without a place" has unit None and
// line_index -1 (and output_line -1 when no output line is known).
struct GlslMessage {
    PyObject_HEAD
    PyObject* parent_refs;  // list of (unit, line index) include sites, outermost first
    PyObject* source_file;  // resolved path of the root source file (or None)
    int32_t output_line;    // 0-based line of the preprocessed source
    PyObject* unit;         // unit name holding the line: a path or a reference name
    int32_t line_index;     // 0-based line within that unit
    PyObject* kind;         // "error", "warning", "IncludeFileNotFound", ...
    PyObject* origin;       // "VESK" for the preprocessor's own, "GLSL" for driver messages
    PyObject* text;         // the message text
    PyObject* raw_line;     // the line the message was made from, as it was read
};

// An Exception subclass; `message` is its one constructor argument.
struct GlslException {
    PyBaseExceptionObject base;
    PyObject* message;
};

inline constexpr const char* kModule = "vesk.opengl.glsl.glsl_message";
inline constexpr const char* kMessageClass = "GlslMessage";
inline constexpr const char* kExceptionClass = "GlslException";
inline constexpr const char* kHeader = "vesk\\opengl\\glsl\\glsl_message.hpp";

// Exported through __capi__:
//   create_glsl_message_from_string(line, source_file, source_map): a new
//   GlslMessage for one info-log line, placed through the source map (a
//   sequence of (text, unit, line index, parent_refs)); nullptr with an
//   exception set when `line` is not a str or the map cannot be read.
inline constexpr const char* kCreateName = "create_glsl_message_from_string";
inline constexpr const char* kCreateSig = "PyObject *(PyObject *, PyObject *, PyObject *)";
using CreateFn = PyObject* (*)(PyObject* line, PyObject* source_file, PyObject* source_map);

}  // namespace vesk::glsl_message
