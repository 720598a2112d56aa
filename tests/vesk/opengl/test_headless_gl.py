"""The hidden GL context: its state machine, its surface format and its cleanup."""


from glhelpers import current_egl_context, run_fresh
from vesk.opengl import headless_gl


def test_docstrings():
    assert headless_gl.create_test_gl_context.__doc__ == "create_test_gl_context()"
    assert headless_gl.close_test_gl_context.__doc__ == "close_test_gl_context()"
    assert not hasattr(headless_gl, "__capi__")


def test_surface_format_and_version(gl):
    bits = {
        name: gl.glGetIntegerv(getattr(gl, name))
        for name in ("GL_RED_BITS", "GL_GREEN_BITS", "GL_BLUE_BITS", "GL_ALPHA_BITS",
                     "GL_DEPTH_BITS", "GL_STENCIL_BITS")
    }
    assert bits == {"GL_RED_BITS": 8, "GL_GREEN_BITS": 8, "GL_BLUE_BITS": 8, "GL_ALPHA_BITS": 8,
                    "GL_DEPTH_BITS": 24, "GL_STENCIL_BITS": 8}
    assert gl.glGetIntegerv(gl.GL_MAJOR_VERSION) == 4
    # A compatibility profile: the legacy matrix stack is there.
    assert gl.glGetIntegerv(gl.GL_CONTEXT_PROFILE_MASK) & gl.GL_CONTEXT_COMPATIBILITY_PROFILE_BIT


def test_create_twice_keeps_first_context(gl):
    first = current_egl_context()
    gl.glClearColor(0.25, 0.5, 0.75, 1.0)
    assert headless_gl.create_test_gl_context() is None
    assert current_egl_context() == first
    assert list(gl.glGetFloatv(gl.GL_COLOR_CLEAR_VALUE)) == [0.25, 0.5, 0.75, 1.0]
    gl.glClearColor(0, 0, 0, 0)


def test_close_then_create_gives_fresh_context(gl):
    gl.glClearColor(0.25, 0.5, 0.75, 1.0)
    assert headless_gl.close_test_gl_context() is None
    assert current_egl_context() is None
    assert headless_gl.create_test_gl_context() is None
    assert current_egl_context() is not None
    # Fresh state, whatever address the driver hands out.
    assert list(gl.glGetFloatv(gl.GL_COLOR_CLEAR_VALUE)) == [0.0, 0.0, 0.0, 0.0]


def test_close_twice_does_not_raise(gl_session):
    gl_session.close_test_gl_context()
    try:
        assert gl_session.close_test_gl_context() is None
        assert current_egl_context() is None
    finally:
        gl_session.create_test_gl_context()


def test_close_before_any_create():
    out = run_fresh("""
        from vesk.opengl import headless_gl
        print(headless_gl.close_test_gl_context())
    """)
    assert out.strip() == "None"


def test_renders_into_its_surface(gl):
    gl.glClearColor(1.0, 0.0, 0.0, 1.0)
    gl.glClear(gl.GL_COLOR_BUFFER_BIT)
    pixel = gl.glReadPixels(0, 0, 1, 1, gl.GL_RGBA, gl.GL_UNSIGNED_BYTE)
    assert bytes(pixel) == b"\xff\x00\x00\xff"
    gl.glClearColor(0, 0, 0, 0)


def test_create_close_cycles_do_not_leak():
    # 200 cycles in a fresh process: file descriptors and resident memory stay flat.
    out = run_fresh("""
        import os, psutil
        from vesk.opengl import headless_gl as h
        proc = psutil.Process()
        def snap():
            return len(os.listdir('/proc/self/fd')), proc.memory_info().rss
        for _ in range(20):
            h.create_test_gl_context(); h.close_test_gl_context()
        fds0, rss0 = snap()
        for _ in range(200):
            h.create_test_gl_context(); h.close_test_gl_context()
        fds1, rss1 = snap()
        print(fds0, fds1, rss1 - rss0)
    """)
    fds0, fds1, grown = map(int, out.split())
    assert fds1 == fds0
    assert grown < 4 * 1024 * 1024
