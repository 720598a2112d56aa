"""VertexBuffer: the GL buffer name it owns, bind/unbind, overridable entries."""
import pickle

import pytest

from vesk.opengl.buffers.vertex_buffer import VertexBuffer


def test_interface():
    assert repr(VertexBuffer) == "<class 'vesk.opengl.buffers.vertex_buffer.VertexBuffer'>"
    assert VertexBuffer.bind.__doc__ == "VertexBuffer.bind(self)"
    assert VertexBuffer.unbind.__doc__ == "VertexBuffer.unbind(self)"
    assert "__vtable__" in VertexBuffer.__dict__


def test_each_buffer_generates_its_own_name(gl):
    a, b = VertexBuffer(), VertexBuffer()
    assert a.gl_id != 0 and b.gl_id != 0 and a.gl_id != b.gl_id


@pytest.mark.parametrize("args, kwargs", [((), {}), ((1, "x"), {"size": 3})])
def test_constructor_ignores_arguments(gl, args, kwargs):
    assert VertexBuffer(*args, **kwargs).gl_id != 0


def test_bind_and_unbind_array_buffer(gl):
    vb = VertexBuffer()
    assert vb.bind() is None
    assert gl.glGetIntegerv(gl.GL_ARRAY_BUFFER_BINDING) == vb.gl_id
    assert gl.glIsBuffer(vb.gl_id)
    assert vb.unbind() is None
    assert gl.glGetIntegerv(gl.GL_ARRAY_BUFFER_BINDING) == 0


def test_release_deletes_the_name(gl):
    vb = VertexBuffer()
    vb.bind()
    vb.unbind()
    name = vb.gl_id
    del vb
    assert not gl.glIsBuffer(name)


def test_python_subclass_overrides_and_calls_base(gl):
    calls = []

    class Logged(VertexBuffer):
        def bind(self):
            calls.append("bind")
            return super().bind()

    vb = Logged()
    vb.bind()
    assert calls == ["bind"]
    assert gl.glGetIntegerv(gl.GL_ARRAY_BUFFER_BINDING) == vb.gl_id
    vb.unbind()


def test_pickling_refused(gl):
    with pytest.raises(TypeError, match=r"^no default __reduce__ due to non-trivial __cinit__$"):
        pickle.dumps(VertexBuffer())
