"""Shared fixtures: one hidden GL context for the session.

Set VESK_BUILD_DIR to a CMake build tree to test it without installing.
"""
import os
import sys

os.environ.setdefault("PYOPENGL_PLATFORM", "egl")
_build = os.environ.get("VESK_BUILD_DIR")
if _build:
    sys.path.insert(0, _build)

import pytest  # noqa: E402

from glhelpers import current_egl_context  # noqa: E402


@pytest.fixture(scope="session")
def gl_session():
    """The hidden context, created once for every test that asks for GL."""
    from vesk.opengl import headless_gl

    headless_gl.create_test_gl_context()
    yield headless_gl
    headless_gl.close_test_gl_context()


@pytest.fixture
def gl(gl_session):
    """A current GL context; fails the test early when none could be made."""
    if not current_egl_context():
        gl_session.create_test_gl_context()
    assert current_egl_context(), "no hidden GL context could be created"
    from OpenGL import GL

    yield GL
    err = GL.glGetError()
    assert err == GL.GL_NO_ERROR, f"test left GL error 0x{err:x}"


@pytest.fixture
def unraisable(monkeypatch):
    """Collect sys.unraisablehook reports."""
    seen = []
    monkeypatch.setattr(sys, "unraisablehook", lambda u: seen.append(u))
    return seen
