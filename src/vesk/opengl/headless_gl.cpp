// The hidden context: EGL on Mesa's surfaceless platform (or the default
// display), a 1x1 pbuffer with RGBA8, depth 24 and stencil 8, and an OpenGL
// context (compatibility profile, the newest 4.x the driver gives) current
// on the calling thread. Neither function raises: a context that cannot be
// made leaves the thread without one, and GL operations then raise.
#include "headless_gl.hpp"

#include "glsupport/glsupport.hpp"

#include <EGL/egl.h>
#include <EGL/eglext.h>

namespace vesk::headless_gl {
namespace {

constexpr const char* kFile = "vesk\\opengl\\headless_gl.cpp";

// The display stays initialised for the life of the process: terminating
// and re-initialising it on every cycle costs far more than it frees.
EGLDisplay display = EGL_NO_DISPLAY;
EGLSurface surface = EGL_NO_SURFACE;
EGLContext context = EGL_NO_CONTEXT;
bool exists = false;  // a context made by create and not yet closed

EGLDisplay open_display() {
    if (display != EGL_NO_DISPLAY) return display;
    auto get_platform_display =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    EGLDisplay d = EGL_NO_DISPLAY;
    if (get_platform_display)
        d = get_platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major, minor;
    if (d == EGL_NO_DISPLAY || !eglInitialize(d, &major, &minor)) {
        d = eglGetDisplay(EGL_DEFAULT_DISPLAY);
        if (d == EGL_NO_DISPLAY || !eglInitialize(d, &major, &minor)) return EGL_NO_DISPLAY;
    }
    display = d;
    return display;
}

EGLContext make_context(EGLConfig config) {
    // Newest 4.x compatibility context first, then whatever the driver gives.
    for (int minor = 6; minor >= 0; --minor) {
        const EGLint attrs[] = {EGL_CONTEXT_MAJOR_VERSION, 4, EGL_CONTEXT_MINOR_VERSION, minor,
                                EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
        EGLContext c = eglCreateContext(display, config, EGL_NO_CONTEXT, attrs);
        if (c != EGL_NO_CONTEXT) return c;
    }
    return eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
}

void teardown() {
    if (display == EGL_NO_DISPLAY) return;
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context != EGL_NO_CONTEXT) eglDestroyContext(display, context);
    if (surface != EGL_NO_SURFACE) eglDestroySurface(display, surface);
    context = EGL_NO_CONTEXT;
    surface = EGL_NO_SURFACE;
    eglReleaseThread();
}

PyObject* create_test_gl_context(PyObject*, PyObject*) {
    if (exists) Py_RETURN_NONE;  // the first context stays current
    if (open_display() == EGL_NO_DISPLAY) Py_RETURN_NONE;
    const EGLint config_attrs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RED_SIZE, 8,
                                   EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_ALPHA_SIZE, 8,
                                   EGL_DEPTH_SIZE, 24, EGL_STENCIL_SIZE, 8,
                                   EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config;
    EGLint count = 0;
    if (!eglChooseConfig(display, config_attrs, &config, 1, &count) || count < 1)
        Py_RETURN_NONE;
    if (!eglBindAPI(EGL_OPENGL_API)) Py_RETURN_NONE;
    const EGLint surface_attrs[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
    surface = eglCreatePbufferSurface(display, config, surface_attrs);
    context = make_context(config);
    if (surface == EGL_NO_SURFACE || context == EGL_NO_CONTEXT ||
        !eglMakeCurrent(display, surface, surface, context)) {
        teardown();
        Py_RETURN_NONE;
    }
    exists = true;
    glsupport::context_changed();
    Py_RETURN_NONE;
}

PyObject* close_test_gl_context(PyObject*, PyObject*) {
    // Before any create, or twice in a row, there is nothing to release.
    teardown();
    exists = false;
    glsupport::context_changed();
    Py_RETURN_NONE;
}

PyMethodDef functions[] = {
    {"create_test_gl_context", create_test_gl_context, METH_NOARGS, "create_test_gl_context()"},
    {"close_test_gl_context", close_test_gl_context, METH_NOARGS, "close_test_gl_context()"},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef def = {PyModuleDef_HEAD_INIT, "headless_gl", nullptr, -1, functions,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace vesk::headless_gl

PyMODINIT_FUNC PyInit_headless_gl() {
    using namespace vesk::headless_gl;
    frame::ModuleInit init{&def, kModule, kFile};
    return frame::init_module(init);
}
