"""VertexAttribute, VertexDescription and AttribBinding against the real context."""
import gc
import pickle
import weakref

import pytest

from vesk.opengl.buffers.attrib_binding import AttribBinding, VertexAttribute, VertexDescription
from vesk.opengl.buffers.index_buffer import IntIndexBuffer
from vesk.opengl.buffers.vertex_buffer import VertexBuffer

GL_FLOAT = 5126
GL_UNSIGNED_BYTE = 5121
MOD = "vesk.opengl.buffers.attrib_binding"


class Stride24(VertexBuffer):
    """A vertex buffer whose records are 24 bytes."""

    def get_stride_size(self):
        return 24


class FailingBind(Stride24):
    def bind(self):
        raise RuntimeError("cannot bind this buffer")


def indices(*values):
    ib = IntIndexBuffer()
    for v in values:
        ib.add(v)
    return ib


def describe(*attributes):
    d = VertexDescription()
    for a in attributes:
        d.add(a)
    return d


def test_interface():
    docs = {
        VertexAttribute.attach: "VertexAttribute.attach(self) -> void",
        VertexDescription.add: "VertexDescription.add(self, VertexAttribute vertex_attribute)",
        VertexDescription.attach: "VertexDescription.attach(self) -> void",
        AttribBinding.bind: "AttribBinding.bind(self)",
        AttribBinding.unbind: "AttribBinding.unbind(self)",
        AttribBinding.initialize: "AttribBinding.initialize(self)",
    }
    for method, doc in docs.items():
        assert method.__doc__ == doc
    for cls in (VertexAttribute, VertexDescription, AttribBinding):
        assert repr(cls) == f"<class '{MOD}.{cls.__qualname__}'>"
        assert "__vtable__" in cls.__dict__


def test_binding_records_attributes_and_index_buffer(gl, glread):
    a, b = Stride24(), Stride24()
    description = describe(
        VertexAttribute(a, 0, 3, GL_FLOAT, False, 0),
        VertexAttribute(a, 1, 3, GL_FLOAT, False, 12),
        VertexAttribute(b, 5, 4, GL_UNSIGNED_BYTE, True, -4),
    )
    ib = indices(0, 1, 2)
    binding = AttribBinding(description, ib)
    assert glread.binding(gl.GL_VERTEX_ARRAY_BINDING) == 0
    assert gl.glIsVertexArray(binding.gl_id)
    binding.bind()
    try:
        assert glread.binding(gl.GL_VERTEX_ARRAY_BINDING) == binding.gl_id
        common = {"enabled": 1, "stride": 24}
        assert glread.attrib(0) == dict(common, size=3, type=GL_FLOAT, normalized=0,
                                        buffer=a.gl_id, offset=0)
        assert glread.attrib(1) == dict(common, size=3, type=GL_FLOAT, normalized=0,
                                        buffer=a.gl_id, offset=12)
        # The offset is stored sign-widened: -4 as a 64-bit pointer value.
        assert glread.attrib(5) == dict(common, size=4, type=GL_UNSIGNED_BYTE, normalized=1,
                                        buffer=b.gl_id, offset=2**64 - 4)
        assert glread.attrib(2)["enabled"] == 0
        assert glread.binding(gl.GL_ELEMENT_ARRAY_BUFFER_BINDING) == ib.gl_id
    finally:
        binding.unbind()
    assert glread.binding(gl.GL_VERTEX_ARRAY_BINDING) == 0
    assert glread.binding(gl.GL_ARRAY_BUFFER_BINDING) == 0


@pytest.mark.parametrize("index_buffer", [None, 0, IntIndexBuffer], ids=["none", "zero", "empty"])
def test_falsy_index_buffer_is_not_recorded(gl, glread, index_buffer):
    if index_buffer is IntIndexBuffer:
        index_buffer = IntIndexBuffer()
    binding = AttribBinding(describe(VertexAttribute(Stride24(), 0, 3, GL_FLOAT, False, 0)),
                            index_buffer)
    binding.bind()
    try:
        assert glread.binding(gl.GL_ELEMENT_ARRAY_BUFFER_BINDING) == 0
        assert glread.attrib(0)["enabled"] == 1
    finally:
        binding.unbind()


def test_failing_bind_skips_only_that_attribute(gl, glread, unraisable, capfd):
    good, bad = Stride24(), FailingBind()
    description = describe(
        VertexAttribute(good, 0, 3, GL_FLOAT, False, 0),
        VertexAttribute(bad, 1, 3, GL_FLOAT, False, 0),
        VertexAttribute(good, 2, 2, GL_FLOAT, False, 12),
    )
    binding = AttribBinding(description, None)
    assert len(unraisable) == 1
    report = unraisable[0]
    assert report.object == f"{MOD}.VertexAttribute.attach"
    assert report.exc_type is RuntimeError and str(report.exc_value) == "cannot bind this buffer"
    err = capfd.readouterr().err
    assert "RuntimeError: cannot bind this buffer" in err
    assert f"{MOD}.VertexAttribute.attach" in err
    binding.bind()
    try:
        assert [glread.attrib(loc)["enabled"] for loc in (0, 1, 2)] == [1, 0, 1]
        assert glread.attrib(2)["size"] == 2 and glread.attrib(2)["offset"] == 12
    finally:
        binding.unbind()


def test_python_initialize_replaces_the_builtin(gl, glread):
    calls = []

    class Custom(AttribBinding):
        def initialize(self):
            calls.append(self.gl_id)

    binding = Custom(describe(VertexAttribute(Stride24(), 0, 3, GL_FLOAT, False, 0)), None)
    assert calls == [binding.gl_id]
    binding.bind()
    try:
        assert glread.attrib(0)["enabled"] == 0  # the built-in set-up did not run
    finally:
        binding.unbind()


def test_overrides_are_reached_through_the_method_tables(gl, glread):
    calls = []

    class Attribute(VertexAttribute):
        def attach(self):
            calls.append("attribute.attach")
            super().attach()

    class Description(VertexDescription):
        def attach(self):
            calls.append("description.attach")
            super().attach()

    class Index(IntIndexBuffer):
        def bind(self):
            calls.append("index.bind")
            return super().bind()

    class Binding(AttribBinding):
        def bind(self):
            calls.append("binding.bind")
            return super().bind()

        def unbind(self):
            calls.append("binding.unbind")
            return super().unbind()

    description = Description()
    description.add(Attribute(Stride24(), 3, 3, GL_FLOAT, False, 0))
    ib = Index()
    ib.add(0)
    binding = Binding(description, ib)
    assert calls == ["binding.bind", "description.attach", "attribute.attach", "index.bind",
                     "binding.unbind"]
    AttribBinding.bind(binding)
    try:
        assert glread.attrib(3)["enabled"] == 1
        assert glread.binding(gl.GL_ELEMENT_ARRAY_BUFFER_BINDING) == ib.gl_id
    finally:
        AttribBinding.unbind(binding)


def test_failing_index_bind_raises_and_leaves_nothing_bound(gl, glread):
    class Index(IntIndexBuffer):
        def bind(self):
            raise ValueError("no element array today")

    ib = Index()
    ib.add(0)
    with pytest.raises(ValueError, match="no element array today") as exc:
        AttribBinding(VertexDescription(), ib)
    names = [entry.name for entry in exc.traceback]
    assert f"{MOD}.AttribBinding.initialize" in names
    assert f"{MOD}.AttribBinding.__cinit__" in names
    assert glread.binding(gl.GL_VERTEX_ARRAY_BINDING) == 0


def test_later_attributes_need_a_new_initialize(gl, glread):
    vb = Stride24()
    description = describe(VertexAttribute(vb, 0, 3, GL_FLOAT, False, 0))
    binding = AttribBinding(description, None)
    description.add(VertexAttribute(vb, 1, 3, GL_FLOAT, False, 12))
    binding.bind()
    assert glread.attrib(1)["enabled"] == 0
    binding.unbind()
    assert binding.initialize() is None
    binding.bind()
    try:
        assert glread.attrib(1)["enabled"] == 1
    finally:
        binding.unbind()


def test_description_keeps_attributes_in_order(gl):
    vb = Stride24()
    first = VertexAttribute(vb, 0, 3, GL_FLOAT, False, 0)
    second = VertexAttribute(vertex_buffer=vb, location=1, element_count=3,
                             element_type=GL_FLOAT, is_normalized=0, offset=12)
    description = VertexDescription("ignored", extra=1)
    assert description.attributes == ()
    assert description.add(first) is None
    description.add(second)
    assert description.attributes == (first, second)


@pytest.mark.parametrize("value", [None, 5, "attribute"])
def test_add_refuses_anything_but_an_attribute(value):
    description = VertexDescription()
    with pytest.raises(TypeError) as exc:
        description.add(value)
    assert str(exc.value) == (
        "Argument 'vertex_attribute' has incorrect type (expected "
        f"{MOD}.VertexAttribute, got {type(value).__name__})")
    assert description.attributes == ()


@pytest.mark.parametrize("args, error, message", [
    ((Stride24, -1, 3, GL_FLOAT, False, 0), OverflowError, "can't convert negative value to GLuint"),
    ((Stride24, 0, 2**31, GL_FLOAT, False, 0), OverflowError, "value too large to convert to int"),
    ((Stride24, 0, 3, -5, False, 0), OverflowError, "can't convert negative value to GLenum"),
    ((Stride24, 0, 3, GL_FLOAT, 256, 0), OverflowError, "value too large to convert to GLboolean"),
    ((Stride24, 0, 3, GL_FLOAT, False, 2**31), OverflowError, "value too large to convert to int"),
    ((Stride24, 0, "3", GL_FLOAT, False, 0), TypeError, "an integer is required"),
    ((7, 0, 3, GL_FLOAT, False, 0), TypeError,
     "Argument 'vertex_buffer' has incorrect type (expected "
     "vesk.opengl.buffers.vertex_buffer.VertexBuffer, got int)"),
    ((None, 0, 3, GL_FLOAT, False, 0), AttributeError,
     "'NoneType' object has no attribute 'get_stride_size'"),
    ((VertexBuffer, 0, 3, GL_FLOAT, False, 0), AttributeError,
     "'vesk.opengl.buffers.vertex_buffer.VertexBuffer' object has no attribute 'get_stride_size'"),
])
def test_attribute_argument_errors(gl, args, error, message):
    args = tuple(a() if isinstance(a, type) else a for a in args)
    with pytest.raises(error) as exc:
        VertexAttribute(*args)
    assert str(exc.value) == message


def test_attribute_stride_must_be_an_int(gl):
    class BadStride(VertexBuffer):
        def get_stride_size(self):
            return "24"

    with pytest.raises(TypeError, match="^an integer is required$"):
        VertexAttribute(BadStride(), 0, 3, GL_FLOAT, False, 0)


def test_attribute_argument_count(gl):
    with pytest.raises(TypeError) as exc:
        VertexAttribute(Stride24(), 0, 3)
    assert str(exc.value) == "__cinit__() takes exactly 6 positional arguments (3 given)"


@pytest.mark.parametrize("description, index_buffer, message", [
    (None, None, "Argument 'vertex_description' has incorrect type (expected "
                 f"{MOD}.VertexDescription, got NoneType)"),
    ([], None, "Argument 'vertex_description' has incorrect type (expected "
               f"{MOD}.VertexDescription, got list)"),
    (VertexDescription, [1], "Cannot convert list to vesk.opengl.buffers.index_buffer.IndexBuffer"),
])
def test_binding_argument_errors(gl, description, index_buffer, message):
    if description is VertexDescription:
        description = VertexDescription()
    with pytest.raises(TypeError) as exc:
        AttribBinding(description, index_buffer)
    assert str(exc.value) == message


def test_binding_takes_keywords_and_exactly_two_arguments(gl):
    binding = AttribBinding(index_buffer=None, vertex_description=VertexDescription())
    assert binding.gl_id > 0
    with pytest.raises(TypeError) as exc:
        AttribBinding(VertexDescription())
    assert str(exc.value) == "__cinit__() takes exactly 2 positional arguments (1 given)"


def test_release_deletes_the_array_object(gl):
    binding = AttribBinding(VertexDescription(), None)
    name = binding.gl_id
    assert gl.glIsVertexArray(name)
    del binding
    assert not gl.glIsVertexArray(name)


def test_reference_cycles_are_collected(gl):
    vb = Stride24()
    vb.attribute = VertexAttribute(vb, 0, 3, GL_FLOAT, False, 0)
    vb.description = describe(vb.attribute)
    vb.binding = AttribBinding(vb.description, None)
    alive = weakref.ref(vb)
    del vb
    gc.collect()
    assert alive() is None


@pytest.mark.parametrize("make", [
    lambda: VertexAttribute(Stride24(), 0, 3, GL_FLOAT, False, 0),
    VertexDescription,
    lambda: AttribBinding(VertexDescription(), None),
], ids=["VertexAttribute", "VertexDescription", "AttribBinding"])
def test_pickling_refused(gl, make):
    with pytest.raises(TypeError, match=r"^no default __reduce__ due to non-trivial __cinit__$"):
        pickle.dumps(make())
