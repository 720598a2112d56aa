// GL loading and the "is a context current" guard. Part of libvesk_core so
// the process loads GLEW once and shares one context serial.
#pragma once

#include <GL/glew.h>

#include "glsupport/context_token.hpp"

namespace glsupport {

// Raise RuntimeError "no current OpenGL context" and return false when no
// context is current; otherwise load the GL entry points (once per process)
// and return true. Call before the first GL call of any operation.
bool require_context();

// Called by the hidden-context module whenever it creates or destroys a
// context, so a handle value reused by the driver is not mistaken for the
// context that generated older names.
void context_changed();

}  // namespace glsupport
