"""linvec.transform: Transform, the world position and world matrix of a scene object."""
from linvec.matrix4 import Matrix4
from linvec.vector3 import Vector3


class Transform:
    """A world position and a world matrix, both copied in; the matrix
    defaults to the translation to the position."""

    position: Vector3
    matrix: Matrix4
    def __init__(self, position: Vector3 | None = None, matrix: Matrix4 | None = None) -> None: ...
    def __repr__(self) -> str: ...
    def __eq__(self, other: object) -> bool: ...
    def __ne__(self, other: object) -> bool: ...
    __hash__: None  # type: ignore[assignment]

def unpickle_Transform(cls: type, checksum: int, state: tuple | None) -> Transform: ...
