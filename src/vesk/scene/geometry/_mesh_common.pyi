"""Typing-only shapes that the mesh modules share.

No module of this name exists at run time: the vertex buffers
(ConeVertexBuffer, FrustumVertexBuffer, CappedSphereVertexBuffer) derive
from VertexBuffer and the meshes from object directly; the bases here only
spell out what they have in common."""
from typing import Any, Generic, TypedDict, TypeVar

from linvec.vector3 import Vector3
from vesk.opengl.buffers.attrib_binding import AttribBinding, VertexDescription
from vesk.opengl.buffers.index_buffer import IntIndexBuffer
from vesk.opengl.buffers.vertex_buffer import VertexBuffer

_V = TypeVar("_V")
_B = TypeVar("_B", bound=VertexBuffer)

class _Float2(TypedDict):
    x: float
    y: float

class _Float3(TypedDict):
    x: float
    y: float
    z: float

class _DoubleSingle3(TypedDict):
    hi: _Float3
    lo: _Float3

class _PositionRecord(TypedDict):
    _position: _DoubleSingle3

class _DsVertexBuffer(VertexBuffer, Generic[_V]):
    """Records (one dict each in `vertices`) kept on the CPU in the uploaded
    layout and uploaded by buffer_data() in one call."""

    def __init__(self, *args: object, **kwargs: object) -> None: ...
    def buffer_data(self) -> None:
        """Upload every record (GL_STATIC_DRAW) between bind() and unbind()."""
    def get_stride_size(self) -> int:
        """The record size in bytes."""
    @property
    def vertices(self) -> list[_V]: ...
    @property
    def raw(self) -> memoryview:
        """32-bit floats over the records in place, get_stride_size() // 4
        per record. The buffer cannot grow while a view is alive
        (BufferError). ValueError when empty."""
    @property
    def _capacity(self) -> int: ...
    def __reduce__(self) -> tuple[Any, ...]: ...
    def __setstate__(self, state: tuple[int, list[_V]]) -> None: ...

class _PositionVertexBuffer(_DsVertexBuffer[_PositionRecord]):
    """24-byte records: a position's high and low single-precision triples."""

    def add(self, position: Vector3) -> None:
        """Append one vertex: the position split into high and low parts."""

# ---------------------------------------------------------------- meshes

class _Mesh(Generic[_B]):
    @property
    def vertex_buffer(self) -> _B: ...
    @property
    def indexbuffer(self) -> IntIndexBuffer: ...

class _BoundMesh(_Mesh[_B]):
    """A mesh that shows the layout it records."""

    @property
    def binding(self) -> AttribBinding:
        """The AttribBinding over the description and the index buffer."""
    @property
    def description(self) -> VertexDescription: ...

class _QuadEmission:
    """add_vertices/add_single never raise on a failure inside (the override's
    too): it is reported through sys.unraisablehook."""

    def add_vertices(self, v0: Vector3, v1: Vector3, v2: Vector3, v3: Vector3) -> None:
        """Append one quad: triangles (v0, v1, v2) and (v1, v3, v2)."""
    def add_single(self, v0: Vector3, v1: Vector3, v2: Vector3) -> None:
        """Append one triangle."""
