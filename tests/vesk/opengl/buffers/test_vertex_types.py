"""PosVertexBuffer: 12-byte position records, upload, views, overridable entries."""
import pickle

import numpy as np
import pytest

from linvec.vector3 import Vector3
from linvec.vector3f import Vector3f
from vesk.opengl.buffers.attrib_binding import AttribBinding, VertexAttribute, VertexDescription
from vesk.opengl.buffers.vertex_buffer import VertexBuffer
from vesk.opengl.buffers.vertex_types import PosVertexBuffer

POINTS = [(1.0, 2.0, 3.0), (-0.5, 0.25, 1e30), (0.0, -0.0, 7.5)]


def filled(points=POINTS, cls=PosVertexBuffer):
    vb = cls()
    for p in points:
        vb.add(Vector3f(*p))
    return vb


def test_interface():
    assert repr(PosVertexBuffer) == "<class 'vesk.opengl.buffers.vertex_types.PosVertexBuffer'>"
    assert issubclass(PosVertexBuffer, VertexBuffer)
    assert PosVertexBuffer.add.__doc__ == "PosVertexBuffer.add(self, Vector3f position)"
    assert PosVertexBuffer.buffer_data.__doc__ == "PosVertexBuffer.buffer_data(self)"
    assert PosVertexBuffer.get_stride_size.__doc__ == "PosVertexBuffer.get_stride_size(self)"
    assert "__vtable__" in PosVertexBuffer.__dict__


def test_new_buffer(gl):
    vb = PosVertexBuffer()
    assert vb.gl_id != 0
    assert (len(vb), vb.vertices, vb.get_stride_size()) == (0, [], 12)
    with pytest.raises(ValueError, match="^the buffer holds no vertices$"):
        vb.raw


def test_add_stores_positions_in_order(gl):
    vb = filled()
    assert len(vb) == 3
    assert vb.vertices == [{"x": x, "y": y, "z": z} for x, y, z in
                           np.float32(POINTS).astype(float).tolist()]
    raw = vb.raw
    assert (raw.format, raw.itemsize, len(raw), raw.readonly) == ("f", 4, 9, False)
    assert raw.tolist() == np.float32(POINTS).ravel().tolist()
    raw[0] = 42.0
    assert vb.vertices[0]["x"] == 42.0


@pytest.mark.parametrize("value, type_name", [
    (None, "NoneType"),
    ((1.0, 2.0, 3.0), "tuple"),
    (Vector3(1.0, 2.0, 3.0), "linvec.vector3.Vector3"),
])
def test_add_refuses_anything_but_vector3f(gl, value, type_name):
    vb = filled(POINTS[:1])
    with pytest.raises(TypeError) as exc:
        vb.add(value)
    assert str(exc.value) == ("Argument 'position' has incorrect type (expected "
                              f"linvec.vector3f.Vector3f, got {type_name})")
    assert len(vb) == 1


def test_cannot_grow_while_a_view_is_alive(gl):
    vb = filled(POINTS[:1])
    view = memoryview(vb)
    with pytest.raises(BufferError):
        vb.add(Vector3f(0, 0, 0))
    del view
    vb.add(Vector3f(0, 0, 0))
    assert len(vb) == 2


@pytest.mark.parametrize("points", [POINTS, []], ids=["three", "empty"])
def test_buffer_data_uploads_all_records(gl, glread, points):
    vb = filled(points)
    assert vb.buffer_data() is None
    assert glread.binding(gl.GL_ARRAY_BUFFER_BINDING) == 0
    stored = glread.contents(vb.gl_id, np.float32)
    assert stored.tolist() == np.float32(points).ravel().tolist()


def test_failing_bind_uploads_nothing(gl):
    class NoBind(PosVertexBuffer):
        def bind(self):
            raise RuntimeError("bind refused")

    vb = filled(cls=NoBind)
    with pytest.raises(RuntimeError, match="^bind refused$") as exc:
        vb.buffer_data()
    assert "vesk.opengl.buffers.vertex_types.PosVertexBuffer.buffer_data" in [
        entry.name for entry in exc.traceback]
    assert not gl.glIsBuffer(vb.gl_id)  # never bound, so never created


def test_overridden_stride_and_draw_layout(gl, glread):
    class Padded(PosVertexBuffer):
        def get_stride_size(self):
            return 16

    vb = filled(cls=Padded)
    description = VertexDescription()
    description.add(VertexAttribute(vb, 0, 3, 5126, False, 0))
    binding = AttribBinding(description, None)
    binding.bind()
    try:
        state = glread.attrib(0)
        assert (state["stride"], state["size"], state["buffer"]) == (16, 3, vb.gl_id)
    finally:
        binding.unbind()


def test_release_deletes_the_name(gl):
    vb = filled()
    vb.buffer_data()
    name = vb.gl_id
    del vb
    assert not gl.glIsBuffer(name)


def test_pickling_refused(gl):
    with pytest.raises(TypeError, match=r"^no default __reduce__ due to non-trivial __cinit__$"):
        pickle.dumps(filled())
