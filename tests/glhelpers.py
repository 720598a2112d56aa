"""Helpers for tests that look at GL state directly or need a fresh process."""
import ctypes
import os
import subprocess
import sys
import textwrap

import numpy as np


def current_egl_context():
    """Address of the EGL context current on this thread, or None."""
    from OpenGL import EGL

    return ctypes.cast(EGL.eglGetCurrentContext(), ctypes.c_void_p).value


def run_fresh(code, timeout=600):
    """Run `code` in a new interpreter on this test run's import path; its stdout."""
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    out = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True,
                         text=True, env=env, timeout=timeout)
    assert out.returncode == 0, out.stderr
    return out.stdout


def buffer_bytes(gl, name):
    """The data store of GL buffer `name`, read through GL_COPY_READ_BUFFER
    (the array and element bindings stay untouched)."""
    gl.glBindBuffer(gl.GL_COPY_READ_BUFFER, name)
    try:
        size = int(gl.glGetBufferParameteriv(gl.GL_COPY_READ_BUFFER, gl.GL_BUFFER_SIZE))
        return bytes(gl.glGetBufferSubData(gl.GL_COPY_READ_BUFFER, 0, size)) if size else b""
    finally:
        gl.glBindBuffer(gl.GL_COPY_READ_BUFFER, 0)


def buffer_contents(gl, name, dtype):
    """The data store of GL buffer `name` as a numpy array of `dtype`."""
    return np.frombuffer(buffer_bytes(gl, name), dtype)


def vertex_attrib(gl, location):
    """Attribute state at `location` in the bound vertex array object."""
    out = np.zeros(4, np.int32)

    def get(pname):
        gl.glGetVertexAttribiv(location, pname, out)
        return int(out[0])

    return {
        "enabled": get(gl.GL_VERTEX_ATTRIB_ARRAY_ENABLED),
        "size": get(gl.GL_VERTEX_ATTRIB_ARRAY_SIZE),
        "type": get(gl.GL_VERTEX_ATTRIB_ARRAY_TYPE),
        "normalized": get(gl.GL_VERTEX_ATTRIB_ARRAY_NORMALIZED),
        "stride": get(gl.GL_VERTEX_ATTRIB_ARRAY_STRIDE),
        "buffer": get(gl.GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING),
        "offset": int(gl.glGetVertexAttribPointerv(location, gl.GL_VERTEX_ATTRIB_ARRAY_POINTER) or 0),
    }
