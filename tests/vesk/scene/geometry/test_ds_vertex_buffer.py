"""The shared double-single vertex buffer, through ConeVertexBuffer."""
import copy
import gc
import pickle

import numpy as np
import pytest

import traceback

import meshcheck
from linvec.vector3 import Vector3 as Vector3_
from vesk.scene.geometry.sensor_sector_mesh import ConeVertexBuffer


@pytest.fixture
def cvb(gl):
    from vesk.scene.geometry import sensor_sector_mesh

    return sensor_sector_mesh


def filled(cvb, Vector3, points):
    b = cvb.ConeVertexBuffer()
    for p in points:
        b.add(Vector3(*p))
    return b


POINTS = [(1.0, 2.0, 3.0), (1e8 + 0.3, -2.5e-9, 6378137.123456), (-0.1, 0.2, -0.3)]


def test_interface(cvb):
    from vesk.opengl.buffers.vertex_buffer import VertexBuffer

    C = cvb.ConeVertexBuffer
    assert repr(C) == "<class 'vesk.scene.geometry.sensor_sector_mesh.ConeVertexBuffer'>"
    assert issubclass(C, VertexBuffer)
    assert C.buffer_data.__doc__ == "ConeVertexBuffer.buffer_data(self)"
    assert C.add.__doc__ == "ConeVertexBuffer.add(self, Vector3 position)"
    assert C.get_stride_size.__doc__ == "ConeVertexBuffer.get_stride_size(self)"
    assert "__vtable__" in C.__dict__
    assert not gc.is_tracked(C())  # holds no Python references


def test_new_buffer_is_empty(cvb):
    b = cvb.ConeVertexBuffer(1, 2, key=3)  # arguments are ignored
    assert b.vertices == []
    assert b.get_stride_size() == 24
    assert b._capacity == 0
    with pytest.raises(ValueError, match="the buffer holds no vertices"):
        b.raw


def test_add_splits_positions_in_order(cvb, Vector3):
    b = filled(cvb, Vector3, POINTS)
    raw = b.raw
    assert raw.format == "f" and raw.ndim == 1 and not raw.readonly and raw.c_contiguous
    assert len(raw) == 18
    expected = meshcheck.records(POINTS)
    assert np.array_equal(np.frombuffer(raw, np.float32).reshape(-1, 6).view(np.uint32),
                          expected.view(np.uint32))
    v = b.vertices
    assert len(v) == 3 and list(v[0]) == ["_position"]
    assert list(v[0]["_position"]) == ["hi", "lo"]
    assert list(v[0]["_position"]["hi"]) == ["x", "y", "z"]
    for rec, exp in zip(v, expected):
        got = [rec["_position"][p][c] for p in ("hi", "lo") for c in "xyz"]
        assert all(type(x) is float for x in got)
        assert got == [float(x) for x in exp]
    # hi + lo carries the position to about twice single precision
    assert abs(v[1]["_position"]["hi"]["x"] + v[1]["_position"]["lo"]["x"] - (1e8 + 0.3)) < 1e-6


@pytest.mark.parametrize("value, got", [(None, "NoneType"), ((1.0, 2.0, 3.0), "tuple"), (3, "int")])
def test_add_refuses_anything_but_a_vector3(cvb, Vector3, value, got):
    b = filled(cvb, Vector3, POINTS[:1])
    with pytest.raises(TypeError) as e:
        b.add(value)
    assert str(e.value) == ("Argument 'position' has incorrect type (expected linvec.vector3.Vector3, "
                            f"got {got})")
    assert len(b.vertices) == 1


def test_add_takes_exactly_one_positional_argument(cvb, Vector3):
    b = cvb.ConeVertexBuffer()
    with pytest.raises(TypeError):
        b.add()
    with pytest.raises(TypeError):
        b.add(Vector3(0, 0, 0), Vector3(0, 0, 0))


def test_buffer_data_uploads_every_record(cvb, Vector3, gl):
    b = filled(cvb, Vector3, POINTS)
    gl.glBindBuffer(gl.GL_ARRAY_BUFFER, 0)
    b.buffer_data()
    assert int(gl.glGetIntegerv(gl.GL_ARRAY_BUFFER_BINDING)) == 0  # unbound afterwards
    stored = meshcheck.buffer_contents(gl, b.gl_id, np.uint8)
    assert stored.tobytes() == bytes(b.raw)
    assert len(stored) == 72
    # the whole array each time; the CPU side stays as it was
    b.add(Vector3(4, 5, 6))
    b.buffer_data()
    assert meshcheck.buffer_bytes(gl, b.gl_id) == bytes(b.raw)
    assert len(b.vertices) == 4


def test_buffer_data_of_an_empty_buffer_makes_a_zero_size_store(cvb, gl):
    b = cvb.ConeVertexBuffer()
    b.buffer_data()
    gl.glBindBuffer(gl.GL_COPY_READ_BUFFER, b.gl_id)
    assert int(gl.glGetBufferParameteriv(gl.GL_COPY_READ_BUFFER, gl.GL_BUFFER_SIZE)) == 0
    usage = np.asarray(gl.glGetBufferParameteriv(gl.GL_COPY_READ_BUFFER, gl.GL_BUFFER_USAGE)).reshape(-1)[0]
    assert usage == gl.GL_STATIC_DRAW
    gl.glBindBuffer(gl.GL_COPY_READ_BUFFER, 0)


def test_raw_writes_through_to_the_records(cvb, Vector3):
    b = filled(cvb, Vector3, POINTS)
    raw = b.raw
    raw[0] = 5.5
    raw[17] = -1.25
    assert b.vertices[0]["_position"]["hi"]["x"] == 5.5
    assert b.vertices[2]["_position"]["lo"]["z"] == -1.25


def test_a_live_view_refuses_growth_and_outlives_the_buffer(cvb, Vector3):
    b = filled(cvb, Vector3, POINTS)
    view = b.raw
    before = view.tobytes()
    for _ in range(64):  # enough to move the storage, were it allowed
        with pytest.raises(BufferError):
            b.add(Vector3(9, 9, 9))
    assert len(b.vertices) == 3 and view.tobytes() == before
    del b
    gc.collect()
    # the view keeps the buffer and its storage alive
    assert view.tobytes() == before
    view.release()


def test_growth_resumes_once_the_view_is_released(cvb, Vector3):
    b = filled(cvb, Vector3, POINTS)
    with b.raw as view:
        assert len(view) == 18
    for k in range(100):
        b.add(Vector3(k, 0, 0))
    assert len(b.raw) == 6 * 103


def test_bind_override_is_reached_from_buffer_data(cvb, Vector3, gl):
    calls = []

    class Recorded(cvb.ConeVertexBuffer):
        def bind(self):
            calls.append("bind")
            super().bind()

        def unbind(self):
            calls.append("unbind")
            super().unbind()

    b = Recorded()
    b.add(Vector3(1, 2, 3))
    b.buffer_data()
    assert calls == ["bind", "unbind"]
    assert len(meshcheck.buffer_contents(gl, b.gl_id, np.uint8)) == 24


def test_failing_bind_raises_from_buffer_data(cvb, gl):
    class Broken(cvb.ConeVertexBuffer):
        def bind(self):
            raise RuntimeError("no bind")

    b = Broken()
    b.add(Vector3_(1, 2, 3))
    with pytest.raises(RuntimeError, match="no bind") as e:
        b.buffer_data()
    assert "vesk.scene.geometry.sensor_sector_mesh.ConeVertexBuffer.buffer_data" in [
        entry.name for entry in traceback.extract_tb(e.tb)]


def test_pickling_keeps_gl_id_and_vertices(cvb, Vector3):
    b = filled(cvb, Vector3, POINTS)
    fn, args = b.__reduce__()
    assert fn is cvb.unpickle_ConeVertexBuffer
    assert args == (cvb.ConeVertexBuffer, 0xD66F295, (b.gl_id, b.vertices))
    c = pickle.loads(pickle.dumps(b))
    assert type(c) is cvb.ConeVertexBuffer
    assert c.gl_id == b.gl_id
    assert bytes(c.raw) == bytes(b.raw)
    d = copy.copy(b)
    assert d.vertices == b.vertices


class Tagged(ConeVertexBuffer):
    """A module-level subclass: pickle finds classes by name."""


def test_pickling_a_subclass_keeps_its_dict(cvb, Vector3):
    b = filled(cvb, Vector3, POINTS[:2])
    t = Tagged()
    t.__setstate__((b.gl_id, b.vertices))
    t.tag = "t"
    c = pickle.loads(pickle.dumps(t))
    assert type(c) is Tagged and c.tag == "t" and c.vertices == b.vertices


def test_unpickle_checks_the_checksum(cvb):
    with pytest.raises(pickle.PickleError) as e:
        cvb.unpickle_ConeVertexBuffer(cvb.ConeVertexBuffer, 123, None)
    assert str(e.value) == "Incompatible checksums (123 vs 0xd66f295 = (_gl_id, _vertices))"
    b = cvb.unpickle_ConeVertexBuffer(cvb.ConeVertexBuffer, 0xD66F295, None)
    assert b.vertices == []


def good_vertex():
    return {"_position": {"hi": {"x": 1.0, "y": 2.0, "z": 3.0}, "lo": {"x": 0.5, "y": 0.25, "z": 0.125}}}


def without(path):
    v = good_vertex()
    d = v
    for k in path[:-1]:
        d = d[k]
    del d[path[-1]]
    return v


def replaced(path, value):
    v = good_vertex()
    d = v
    for k in path[:-1]:
        d = d[k]
    d[path[-1]] = value
    return v


@pytest.mark.parametrize(
    "item, error, message",
    [
        ([1, 2], TypeError, "Expected a mapping, got list"),
        ("_position", TypeError, "Expected a mapping, got str"),
        ({}, ValueError, "No value specified for struct attribute '_position'"),
        (without(["_position", "hi"]), ValueError, "No value specified for struct attribute 'hi'"),
        (without(["_position", "lo"]), ValueError, "No value specified for struct attribute 'lo'"),
        (without(["_position", "hi", "x"]), ValueError, "No value specified for struct attribute 'x'"),
        (without(["_position", "lo", "y"]), ValueError, "No value specified for struct attribute 'y'"),
        (without(["_position", "hi", "z"]), ValueError, "No value specified for struct attribute 'z'"),
        (replaced(["_position"], [1.0]), TypeError, "Expected a mapping, got list"),
        (replaced(["_position", "hi"], 5), TypeError, "Expected a mapping, got int"),
        (replaced(["_position", "lo"], None), TypeError, "Expected a mapping, got NoneType"),
        (replaced(["_position", "lo", "x"], "a"), TypeError, "must be real number, not str"),
    ],
)
def test_restore_checks_every_item(cvb, Vector3, item, error, message):
    b = filled(cvb, Vector3, POINTS)
    before = bytes(b.raw)
    with pytest.raises(error) as e:
        b.__setstate__((7, [good_vertex(), item]))
    assert str(e.value) == message
    assert bytes(b.raw) == before  # a bad item leaves the records as they were


def test_restore_accepts_any_mapping(cvb):
    import types

    b = cvb.ConeVertexBuffer()
    v = good_vertex()
    proxy = types.MappingProxyType({"_position": types.MappingProxyType(v["_position"])})
    b.__setstate__((5, [proxy, v]))
    assert b.gl_id == 5
    assert b.vertices == [good_vertex(), good_vertex()]


def test_restore_converts_gl_id_to_gluint(cvb):
    b = cvb.ConeVertexBuffer()
    with pytest.raises(OverflowError, match="can't convert negative value to GLuint"):
        b.__setstate__((-1, []))
    with pytest.raises(TypeError, match="Expected tuple, got list"):
        b.__setstate__([1, []])


def test_restore_refuses_while_a_view_is_alive(cvb, Vector3):
    b = filled(cvb, Vector3, POINTS)
    view = b.raw
    with pytest.raises(BufferError):
        b.__setstate__((b.gl_id, [good_vertex()]))
    assert len(view) == 18
    view.release()
    b.__setstate__((b.gl_id, [good_vertex()]))
    assert len(b.raw) == 6


def test_unpickled_buffer_deletes_only_its_own_name(cvb, Vector3, gl):
    original = filled(cvb, Vector3, POINTS)
    original.buffer_data()
    restored = cvb.ConeVertexBuffer.__new__(cvb.ConeVertexBuffer)
    generated = restored.gl_id
    # make the generated name a buffer object so glIsBuffer can see it
    gl.glBindBuffer(gl.GL_ARRAY_BUFFER, generated)
    gl.glBindBuffer(gl.GL_ARRAY_BUFFER, 0)
    restored.__setstate__((original.gl_id, original.vertices))
    assert restored.gl_id == original.gl_id and generated != original.gl_id
    restored.buffer_data()
    del restored
    gc.collect()
    assert gl.glIsBuffer(original.gl_id)  # not the restored buffer's to delete
    assert not gl.glIsBuffer(generated)  # still owned, so deleted with it
    assert meshcheck.buffer_bytes(gl, original.gl_id) == bytes(original.raw)


def test_unpickle_needs_a_context(cvb, Vector3, gl_session):
    data = pickle.dumps(filled(cvb, Vector3, POINTS))
    gl_session.close_test_gl_context()
    try:
        with pytest.raises(RuntimeError, match="no current OpenGL context"):
            pickle.loads(data)
    finally:
        gl_session.create_test_gl_context()
