"""Fixtures for the buffer tests: no-context runs and GL state read-back."""
import types

import numpy as np
import pytest

from glhelpers import current_egl_context


@pytest.fixture
def no_context(gl_session):
    """No GL context current during the test; the hidden one is back afterwards.

    GL names made before the test are invalid after it (a new context)."""
    gl_session.close_test_gl_context()
    assert current_egl_context() is None
    yield
    gl_session.create_test_gl_context()


@pytest.fixture
def glread(gl):
    """Read-back helpers over the current context."""
    out = np.zeros(4, np.int32)

    def attrib(location):
        """The attribute state at `location` in the bound vertex array object."""

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
            "offset": int(gl.glGetVertexAttribPointerv(location, gl.GL_VERTEX_ATTRIB_ARRAY_POINTER)),
        }

    def binding(pname):
        return int(gl.glGetIntegerv(pname))

    def contents(name, dtype):
        """The data store of buffer `name`, read through GL_COPY_READ_BUFFER."""
        gl.glBindBuffer(gl.GL_COPY_READ_BUFFER, name)
        try:
            size = int(gl.glGetBufferParameteriv(gl.GL_COPY_READ_BUFFER, gl.GL_BUFFER_SIZE))
            if size == 0:
                return np.zeros(0, dtype)
            data = gl.glGetBufferSubData(gl.GL_COPY_READ_BUFFER, 0, size)
            return np.frombuffer(bytes(data), dtype)
        finally:
            gl.glBindBuffer(gl.GL_COPY_READ_BUFFER, 0)

    return types.SimpleNamespace(attrib=attrib, binding=binding, contents=contents)
