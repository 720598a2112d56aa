"""The mesh of a sensor volume bounded by azimuth, elevation and range limits."""
from typing import Any, SupportsFloat, SupportsIndex, TypedDict

from linvec.vector3 import Vector3
from vesk.opengl.buffers.index_buffer import IntIndexBuffer
from vesk.opengl.buffers.vertex_buffer import VertexBuffer

class _Float3(TypedDict):
    x: float
    y: float
    z: float

class _DoubleSingle3(TypedDict):
    hi: _Float3
    lo: _Float3

class _ConeVertex(TypedDict):
    _position: _DoubleSingle3

class ConeVertexBuffer(VertexBuffer):
    """Vertices of a sensor-sector mesh: positions in double-single form (a
    high and a low single-precision triple, 24 bytes per vertex), collected
    on the CPU and uploaded by buffer_data()."""

    def __init__(self, *args: object, **kwargs: object) -> None: ...
    def buffer_data(self) -> None:
        """Upload every vertex (GL_STATIC_DRAW) between bind() and unbind()."""
    def add(self, position: Vector3) -> None:
        """Append one vertex: the position split into high and low parts."""
    def get_stride_size(self) -> int:
        """24, the vertex size in bytes."""
    @property
    def vertices(self) -> list[_ConeVertex]: ...
    @property
    def raw(self) -> memoryview:
        """32-bit floats over the vertices in place, six per vertex. The
        buffer cannot grow while a view is alive (BufferError). ValueError
        when empty."""
    @property
    def _capacity(self) -> int: ...
    def __reduce__(self) -> tuple[Any, ...]: ...
    def __setstate__(self, state: tuple[int, list[_ConeVertex]]) -> None: ...

def unpickle_ConeVertexBuffer(
    cls: type[ConeVertexBuffer], checksum: int, state: tuple[Any, ...] | None
) -> ConeVertexBuffer: ...

class SensorSectorMesh:
    """Geometry for a cone defined by azimuth, elevation, and range limits.
    Cone can be capped or rounded.

    The constructor builds every face, uploads both buffers and records the
    layout (location 0: high triple, location 1: low triple, stride 24) in
    an AttribBinding. The builders and add_vertices/add_single never raise:
    their errors are reported through sys.unraisablehook."""

    def __init__(
        self,
        az_min: SupportsFloat,
        az_max: SupportsFloat,
        el_min: SupportsFloat,
        el_max: SupportsFloat,
        near_range: SupportsFloat,
        far_range: SupportsFloat,
        az_precision: SupportsIndex,
        el_precision: SupportsIndex,
        is_rounded: object,
    ) -> None: ...
    def build_x_faces(self) -> None: ...
    def build_y_faces(self) -> None: ...
    def build_z_faces(self) -> None: ...
    def build_x_flat_faces(self) -> None: ...
    def build_y_flat_faces(self) -> None: ...
    def build_z_flat_faces(self) -> None: ...
    def add_vertices(self, v0: Vector3, v1: Vector3, v2: Vector3, v3: Vector3) -> None:
        """Append one quad: triangles (v0, v1, v2) and (v1, v3, v2)."""
    def add_single(self, v0: Vector3, v1: Vector3, v2: Vector3) -> None:
        """Append one triangle."""
    @property
    def vertex_buffer(self) -> ConeVertexBuffer: ...
    @property
    def indexbuffer(self) -> IntIndexBuffer: ...

