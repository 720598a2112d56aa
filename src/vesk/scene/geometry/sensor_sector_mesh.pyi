"""The mesh of a sensor volume bounded by azimuth, elevation and range limits."""
from typing import Any, SupportsFloat, SupportsIndex

from vesk.scene.geometry._mesh_common import _Mesh, _PositionVertexBuffer, _QuadEmission

class ConeVertexBuffer(_PositionVertexBuffer):
    """Vertices of a sensor-sector mesh: positions in double-single form (a
    high and a low single-precision triple, 24 bytes per vertex), collected
    on the CPU and uploaded by buffer_data()."""

def unpickle_ConeVertexBuffer(
    cls: type[ConeVertexBuffer], checksum: int, state: tuple[Any, ...] | None
) -> ConeVertexBuffer: ...

class SensorSectorMesh(_QuadEmission, _Mesh[ConeVertexBuffer]):
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

