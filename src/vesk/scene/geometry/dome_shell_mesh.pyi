"""The closed triangle mesh of an ellipsoid of revolution, with normals and
texture coordinates."""
from typing import Any, SupportsFloat, SupportsIndex, TypedDict

from linvec.vector3 import Vector3
from vesk.scene.geometry._mesh_common import _BoundMesh, _DoubleSingle3, _DsVertexBuffer, _Float2, _Float3

class _CappedSphereVertex(TypedDict):
    _position: _DoubleSingle3
    _normal: _Float3
    _texture_coord: _Float2

class CappedSphereVertexBuffer(_DsVertexBuffer[_CappedSphereVertex]):
    """Vertices of the dome shell: 44-byte records (position high and low
    triples, normal, texture coordinate; 32-bit floats) collected on the CPU
    and uploaded by buffer_data(). The mesh appends records through the
    C-level method table; Python has no add()."""

    def get_last_index(self) -> int:
        """The index of the record appended last; -1 when empty."""

def unpickle_CappedSphereVertexBuffer(
    cls: type[CappedSphereVertexBuffer], checksum: int, state: tuple[Any, ...] | None
) -> CappedSphereVertexBuffer: ...

_Key = tuple[float, float, float, float, float]

class DomeShellMesh(_BoundMesh[CappedSphereVertexBuffer]):
    """Closed triangle mesh of the ellipsoid of revolution about the z axis
    with equatorial radius `radius` and eccentricity `ecc`: eight patches
    (four longitude quadrants per hemisphere), each a polar cap grown by
    `depth` two-row subdivision steps and a band of 2**depth quads across
    down to the equator; vertices shared by (x, y, z, u, v). Built, uploaded
    and bound on construction; seen from outside every triangle turns
    clockwise.

    depth must be at least 1 (0: ValueError; negative: ZeroDivisionError);
    a depth whose indices would not fit an index buffer raises OverflowError.
    create_geometry() and split() never raise on a failure inside: it is
    reported through sys.unraisablehook."""

    def __init__(self, ecc: SupportsFloat, radius: SupportsFloat, depth: SupportsIndex) -> None: ...
    def create_geometry(self) -> None:
        """Append all eight patches with a new vertex dictionary."""
    def split(self, v1: Vector3, v2: Vector3, depth: SupportsIndex, vertex_data: dict[_Key, int]) -> None:
        """Append one two-row subdivision step below the cap edge v1-v2 and,
        while depth > 0, the steps below both halves of its new edge."""
    @property
    def radius(self) -> float: ...
    @property
    def ecc(self) -> float: ...
    @property
    def ecc_squared(self) -> float: ...
    @property
    def depth(self) -> int: ...
    @property
    def rows(self) -> float: ...
    @property
    def band_start(self) -> int: ...
    @property
    def cap_fraction(self) -> float: ...
    @property
    def segments(self) -> int: ...
