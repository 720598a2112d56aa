// GL loading and the "is a context current" guard. Part of libvesk_core so
// the process loads GLEW once and shares one context serial.
#pragma once

#include <GL/glew.h>

#include <cstdint>

namespace glsupport {

// Identifies the context current when a GL name was generated.
struct ContextToken {
    const void* handle = nullptr;
    uint64_t serial = 0;
    bool valid() const { return handle != nullptr; }
};

// The context current on this thread (EGL or GLX), or an invalid token.
ContextToken current_context();

// True when `t` is the context current now: a name generated under it may
// be deleted.
bool is_current(const ContextToken& t);

// Raise RuntimeError "no current OpenGL context" and return false when no
// context is current; otherwise load the GL entry points (once per process)
// and return true. Call before the first GL call of any operation.
bool require_context();

// Called by the hidden-context module whenever it creates or destroys a
// context, so a handle value reused by the driver is not mistaken for the
// context that generated older names.
void context_changed();

}  // namespace glsupport
