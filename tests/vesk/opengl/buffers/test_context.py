"""No GL call without a current context; GL names owned by the context that made them."""
import pytest

from linvec.vector3f import Vector3f
from vesk.opengl.buffers.attrib_binding import AttribBinding, VertexAttribute, VertexDescription
from vesk.opengl.buffers.index_buffer import IndexBuffer, IntIndexBuffer
from vesk.opengl.buffers.vertex_buffer import VertexBuffer
from vesk.opengl.buffers.vertex_types import PosVertexBuffer

NO_CONTEXT = "^no current OpenGL context$"


def binding_with_indices():
    ib = IntIndexBuffer()
    ib.add(0)
    vb = PosVertexBuffer()
    description = VertexDescription()
    description.add(VertexAttribute(vb, 0, 3, 5126, False, 0))
    return AttribBinding(description, ib)


@pytest.mark.parametrize("make", [
    VertexBuffer, IndexBuffer, IntIndexBuffer, PosVertexBuffer,
    lambda: AttribBinding(VertexDescription(), None),
], ids=["VertexBuffer", "IndexBuffer", "IntIndexBuffer", "PosVertexBuffer", "AttribBinding"])
def test_construction_needs_a_context(no_context, make):
    with pytest.raises(RuntimeError, match=NO_CONTEXT):
        make()


def test_layouts_are_described_without_gl(gl, gl_session):
    vb = PosVertexBuffer()
    gl_session.close_test_gl_context()
    try:
        description = VertexDescription()
        description.add(VertexAttribute(vb, 0, 3, 5126, False, 0))
        assert len(description.attributes) == 1
    finally:
        gl_session.create_test_gl_context()


@pytest.mark.parametrize("operation", [
    lambda objs: objs["vb"].bind(),
    lambda objs: objs["vb"].unbind(),
    lambda objs: objs["pos"].buffer_data(),
    lambda objs: objs["ib"].bind(),
    lambda objs: objs["ib"].unbind(),
    lambda objs: objs["ib"].buffer_data(),
    lambda objs: objs["binding"].bind(),
    lambda objs: objs["binding"].unbind(),
    lambda objs: objs["binding"].initialize(),
], ids=["vb.bind", "vb.unbind", "pos.buffer_data", "ib.bind", "ib.unbind", "ib.buffer_data",
        "binding.bind", "binding.unbind", "binding.initialize"])
def test_operations_need_a_context(gl, gl_session, operation):
    pos = PosVertexBuffer()
    pos.add(Vector3f(1, 2, 3))
    objs = {"vb": VertexBuffer(), "pos": pos, "ib": IntIndexBuffer(),
            "binding": binding_with_indices()}
    gl_session.close_test_gl_context()
    try:
        with pytest.raises(RuntimeError, match=NO_CONTEXT):
            operation(objs)
        objs.clear()  # released without a context: nothing to delete, nothing called
    finally:
        gl_session.create_test_gl_context()


def test_attach_without_context_is_reported(gl, gl_session, unraisable):
    class Stride(VertexBuffer):
        def get_stride_size(self):
            return 12

    attribute = VertexAttribute(Stride(), 0, 3, 5126, False, 0)
    gl_session.close_test_gl_context()
    try:
        assert attribute.attach() is None
    finally:
        gl_session.create_test_gl_context()
    assert [(u.exc_type, str(u.exc_value), u.object) for u in unraisable] == [
        (RuntimeError, "no current OpenGL context",
         "vesk.opengl.buffers.attrib_binding.VertexAttribute.attach")]


def make_vertex_buffer():
    vb = PosVertexBuffer()
    vb.buffer_data()
    return vb, vb.gl_id


def make_index_buffer():
    ib = IntIndexBuffer()
    ib.buffer_data()
    return ib, ib.gl_id


def make_binding():
    binding = AttribBinding(VertexDescription(), None)
    return binding, binding.gl_id


@pytest.mark.parametrize("make, kind", [
    (make_vertex_buffer, "buffer"), (make_index_buffer, "buffer"), (make_binding, "vertex array"),
], ids=["PosVertexBuffer", "IntIndexBuffer", "AttribBinding"])
def test_release_under_a_new_context_keeps_its_names(gl, gl_session, make, kind):
    obj, name = make()
    # A new context hands out the same numbers to new owners.
    gl_session.close_test_gl_context()
    gl_session.create_test_gl_context()
    if kind == "buffer":
        names = list(gl.glGenBuffers(name + 2))
        for n in names:
            gl.glBindBuffer(gl.GL_ARRAY_BUFFER, n)
        gl.glBindBuffer(gl.GL_ARRAY_BUFFER, 0)
        is_live, delete = gl.glIsBuffer, gl.glDeleteBuffers
    else:
        names = list(gl.glGenVertexArrays(name + 2))
        for n in names:
            gl.glBindVertexArray(n)
        gl.glBindVertexArray(0)
        is_live, delete = gl.glIsVertexArray, gl.glDeleteVertexArrays
    assert name in names
    del obj
    try:
        assert all(is_live(n) for n in names)
    finally:
        delete(len(names), names)
