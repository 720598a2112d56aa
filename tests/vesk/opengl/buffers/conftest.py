"""Fixtures for the buffer tests: no-context runs and GL state read-back."""
import types

import pytest

from glhelpers import buffer_contents, current_egl_context, vertex_attrib


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
    def attrib(location):
        """The attribute state at `location` in the bound vertex array object."""
        return vertex_attrib(gl, location)

    def binding(pname):
        return int(gl.glGetIntegerv(pname))

    def contents(name, dtype):
        """The data store of buffer `name`, read through GL_COPY_READ_BUFFER."""
        return buffer_contents(gl, name, dtype)

    return types.SimpleNamespace(attrib=attrib, binding=binding, contents=contents)
