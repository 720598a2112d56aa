"""Helpers for tests that look at GL state directly."""
import ctypes


def current_egl_context():
    """Address of the EGL context current on this thread, or None."""
    from OpenGL import EGL

    return ctypes.cast(EGL.eglGetCurrentContext(), ctypes.c_void_p).value
