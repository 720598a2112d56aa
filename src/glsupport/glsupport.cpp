#include "glsupport.hpp"

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <EGL/egl.h>
#include <GL/glx.h>

namespace glsupport {

namespace {
uint64_t serial = 1;
bool loaded = false;
}  // namespace

ContextToken current_context() {
    ContextToken t;
    EGLContext e = eglGetCurrentContext();
    if (e != EGL_NO_CONTEXT) {
        t.handle = e;
    } else {
        // A host window made current through GLX.
        t.handle = (const void*)glXGetCurrentContext();
    }
    t.serial = serial;
    return t;
}

bool is_current(const ContextToken& t) {
    if (!t.valid()) return false;
    ContextToken now = current_context();
    return now.handle == t.handle && now.serial == t.serial;
}

bool require_context() {
    if (!current_context().valid()) {
        PyErr_SetString(PyExc_RuntimeError, "no current OpenGL context");
        return false;
    }
    if (!loaded) {
        glewExperimental = GL_TRUE;
        GLenum r = glewInit();
        // GLEW's GLX build reports "no GLX display" under EGL after loading
        // the entry points; only a missing core entry point is fatal.
        if (r != GLEW_OK && !glGenBuffers) {
            PyErr_Format(PyExc_RuntimeError, "cannot load OpenGL entry points: %s",
                         (const char*)glewGetErrorString(r));
            return false;
        }
        // glewInit's probing may leave errors queued; drop them (bounded: a
        // lost context reports an error forever).
        for (int i = 0; i < 32 && glGetError() != GL_NO_ERROR; ++i) {
        }
        loaded = true;
    }
    return true;
}

void context_changed() { ++serial; }

}  // namespace glsupport
