"""The closed triangle mesh of a view frustum, in double-single positions."""
from typing import Any, SupportsFloat

from vesk.scene.geometry._mesh_common import _BoundMesh, _PositionVertexBuffer, _QuadEmission

class FrustumVertexBuffer(_PositionVertexBuffer):
    """Positions in double-single form (a high and a low single-precision
    triple, 24 bytes per vertex), collected on the CPU and uploaded by
    buffer_data()."""

def unpickle_FrustumVertexBuffer(
    cls: type[FrustumVertexBuffer], checksum: int, state: tuple[Any, ...] | None
) -> FrustumVertexBuffer: ...

class ViewPyramidMesh(_QuadEmission, _BoundMesh[FrustumVertexBuffer]):
    """Closed triangle mesh of a view frustum in its own frame: apex at the
    origin, looking along +z, the near rectangle [left, right] x [bottom, top]
    in z = near and its image scaled by far / near in z = far. Six quads (24
    vertices, 36 indices), uploaded and bound on construction; seen from
    outside every triangle turns clockwise. near = 0 raises ZeroDivisionError."""

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
