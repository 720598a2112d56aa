"""The closed triangle mesh of a view frustum, in double-single positions."""
from typing import Any, SupportsFloat, TypedDict

from linvec.vector3 import Vector3
from vesk.opengl.buffers.attrib_binding import AttribBinding, VertexDescription
from vesk.opengl.buffers.index_buffer import IntIndexBuffer
from vesk.opengl.buffers.vertex_buffer import VertexBuffer

class _Float3(TypedDict):
    x: float
    y: float
    z: float

class _DoubleSingle3(TypedDict):
    hi: _Float3
    lo: _Float3

class _FrustumVertex(TypedDict):
    _position: _DoubleSingle3

class FrustumVertexBuffer(VertexBuffer):
    """Positions in double-single form (a high and a low single-precision
    triple, 24 bytes per vertex), collected on the CPU and uploaded by
    buffer_data()."""

    def __init__(self, *args: object, **kwargs: object) -> None: ...
    def buffer_data(self) -> None:
        """Upload every vertex (GL_STATIC_DRAW) between bind() and unbind()."""
    def add(self, position: Vector3) -> None:
        """Append one vertex: the position split into high and low parts."""
    def get_stride_size(self) -> int:
        """24, the vertex size in bytes."""
    @property
    def vertices(self) -> list[_FrustumVertex]: ...
    @property
    def raw(self) -> memoryview:
        """32-bit floats over the vertices in place, six per vertex. The
        buffer cannot grow while a view is alive (BufferError). ValueError
        when empty."""
    @property
    def _capacity(self) -> int: ...
    def __reduce__(self) -> tuple[Any, ...]: ...
    def __setstate__(self, state: tuple[int, list[_FrustumVertex]]) -> None: ...

def unpickle_FrustumVertexBuffer(
    cls: type[FrustumVertexBuffer], checksum: int, state: tuple[Any, ...] | None
) -> FrustumVertexBuffer: ...

class ViewPyramidMesh:
    """Closed triangle mesh of a view frustum in its own frame: apex at the
    origin, looking along +z, the near rectangle [left, right] x [bottom, top]
    in z = near and its image scaled by far / near in z = far. Six quads (24
    vertices, 36 indices), uploaded and bound on construction; seen from
    outside every triangle turns clockwise. near = 0 raises ZeroDivisionError.

    add_vertices/add_single never raise on a failure inside: it is reported
    through sys.unraisablehook."""

    def __init__(
        self,
        left: SupportsFloat,
        right: SupportsFloat,
        bottom: SupportsFloat,
        top: SupportsFloat,
        near: SupportsFloat,
        far: SupportsFloat,
    ) -> None: ...
    @staticmethod
    def create_from_fov_aspect(
        vertical_fov_rad: SupportsFloat,
        aspect_ratio: SupportsFloat,
        near: SupportsFloat,
        far: SupportsFloat,
    ) -> ViewPyramidMesh:
        """The frustum (-w, w, -h, h, near, far) with h = tan(fov / 2) * near
        and w = h * aspect_ratio."""
    def add_vertices(self, v0: Vector3, v1: Vector3, v2: Vector3, v3: Vector3) -> None:
        """Append one quad: triangles (v0, v1, v2) and (v1, v3, v2)."""
    def add_single(self, v0: Vector3, v1: Vector3, v2: Vector3) -> None:
        """Append one triangle."""
    @property
    def vertex_buffer(self) -> FrustumVertexBuffer: ...
    @property
    def indexbuffer(self) -> IntIndexBuffer: ...
    @property
    def binding(self) -> AttribBinding: ...
    @property
    def description(self) -> VertexDescription: ...
    @property
    def left(self) -> float: ...
    @property
    def right(self) -> float: ...
    @property
    def bottom(self) -> float: ...
    @property
    def top(self) -> float: ...
    @property
    def near(self) -> float: ...
    @property
    def far(self) -> float: ...
    @property
    def next_index(self) -> int: ...
    @property
    def index_count(self) -> int: ...
