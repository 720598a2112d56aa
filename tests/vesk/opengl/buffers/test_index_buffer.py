"""IndexBuffer and IntIndexBuffer: unsigned 32-bit indices, upload, views."""
import gc
import pickle

import numpy as np
import pytest

from vesk.opengl.buffers.index_buffer import IndexBuffer, IntIndexBuffer


def filled(values):
    ib = IntIndexBuffer()
    for v in values:
        ib.add(v)
    return ib


def test_interface():
    assert repr(IntIndexBuffer) == "<class 'vesk.opengl.buffers.index_buffer.IntIndexBuffer'>"
    assert issubclass(IntIndexBuffer, IndexBuffer)
    docs = {
        IndexBuffer.bind: "IndexBuffer.bind(self)",
        IndexBuffer.unbind: "IndexBuffer.unbind(self)",
        IndexBuffer.buffer_data: "IndexBuffer.buffer_data(self)",
        IndexBuffer.add: "IndexBuffer.add(self, GLuint index)",
        IntIndexBuffer.add: "IntIndexBuffer.add(self, GLuint index)",
    }
    for method, doc in docs.items():
        assert method.__doc__ == doc
    assert "__vtable__" in IndexBuffer.__dict__ and "__vtable__" in IntIndexBuffer.__dict__


def test_new_buffer_is_empty_and_false(gl):
    ib = IntIndexBuffer()
    assert len(ib) == 0 and not ib and ib.indices == []
    with pytest.raises(ValueError, match="^the index buffer holds no indices$"):
        ib.raw


def test_add_keeps_order_and_full_range(gl):
    values = [0, 1, 2, 1, 3, 2, 2**32 - 1]
    ib = filled(values)
    assert len(ib) == 7 and ib
    assert ib.indices == values
    raw = ib.raw
    assert (raw.format, raw.itemsize, raw.ndim, raw.readonly) == ("I", 4, 1, False)
    assert raw.tolist() == values


@pytest.mark.parametrize("value, error, message", [
    (-1, OverflowError, "can't convert negative value to GLuint"),
    (2**32, OverflowError, "value too large to convert to GLuint"),
    (2**70, OverflowError, "value too large to convert to GLuint"),
    ("1", TypeError, "an integer is required"),
    (None, TypeError, "an integer is required"),
])
def test_bad_index_appends_nothing(gl, value, error, message):
    ib = filled([5])
    with pytest.raises(error) as exc:
        ib.add(value)
    assert str(exc.value) == message
    assert ib.indices == [5]


@pytest.mark.parametrize("args", [(), (1, 2)])
def test_add_takes_exactly_one_argument(gl, args):
    with pytest.raises(TypeError) as exc:
        IntIndexBuffer().add(*args)
    assert str(exc.value) == f"add() takes exactly 1 positional argument ({len(args)} given)"


def test_raw_is_a_view_in_place(gl):
    ib = filled([1, 2, 3])
    ib.raw[1] = 40
    assert ib.indices == [1, 40, 3]
    assert np.frombuffer(ib, np.uint32).tolist() == [1, 40, 3]


def test_cannot_grow_while_a_view_is_alive(gl):
    ib = filled([1])
    view = ib.raw
    with pytest.raises(BufferError):
        ib.add(2)
    assert len(ib) == 1
    view.release()
    ib.add(2)
    assert ib.indices == [1, 2]


def test_view_keeps_storage_alive(gl):
    view = filled(range(1000)).raw
    gc.collect()
    assert view.tolist() == list(range(1000))


def test_buffer_data_uploads_every_index(gl, glread):
    values = list(range(0, 3000, 3))
    ib = filled(values)
    assert ib.buffer_data() is None
    assert glread.contents(ib.gl_id, np.uint32).tolist() == values
    assert glread.binding(gl.GL_COPY_WRITE_BUFFER_BINDING) == 0


def test_buffer_data_of_empty_buffer_makes_empty_store(gl, glread):
    ib = IntIndexBuffer()
    ib.buffer_data()
    assert gl.glIsBuffer(ib.gl_id)
    assert glread.contents(ib.gl_id, np.uint32).size == 0


def test_buffer_data_leaves_the_bound_array_object_alone(gl, glread):
    # Uploading must not rebind the element array of whatever is bound.
    vao = gl.glGenVertexArrays(1)
    other = filled([9])
    gl.glBindVertexArray(vao)
    try:
        other.bind()
        filled([1, 2, 3]).buffer_data()
        assert glread.binding(gl.GL_ELEMENT_ARRAY_BUFFER_BINDING) == other.gl_id
    finally:
        gl.glBindVertexArray(0)
        gl.glDeleteVertexArrays(1, [vao])


def test_bind_and_unbind_element_array(gl, glread):
    vao = gl.glGenVertexArrays(1)
    ib = filled([0])
    gl.glBindVertexArray(vao)
    try:
        assert ib.bind() is None
        assert glread.binding(gl.GL_ELEMENT_ARRAY_BUFFER_BINDING) == ib.gl_id
        assert ib.unbind() is None
        assert glread.binding(gl.GL_ELEMENT_ARRAY_BUFFER_BINDING) == 0
    finally:
        gl.glBindVertexArray(0)
        gl.glDeleteVertexArrays(1, [vao])


def test_base_class_stores_no_index_type(gl):
    ib = IndexBuffer()
    with pytest.raises(NotImplementedError):
        ib.add(1)
    assert len(ib) == 0 and not ib and ib.indices == []


def test_release_deletes_the_name(gl):
    ib = filled([1])
    ib.buffer_data()
    name = ib.gl_id
    assert gl.glIsBuffer(name)
    del ib
    assert not gl.glIsBuffer(name)


@pytest.mark.parametrize("cls", [IndexBuffer, IntIndexBuffer])
def test_pickling_refused(gl, cls):
    with pytest.raises(TypeError, match=r"^no default __reduce__ due to non-trivial __cinit__$"):
        pickle.dumps(cls())
