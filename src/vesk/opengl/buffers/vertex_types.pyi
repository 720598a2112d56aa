"""Vertex buffers with fixed record types."""
from linvec.vector3f import Vector3f
from vesk.opengl.buffers.vertex_buffer import VertexBuffer

class PosVertexBuffer(VertexBuffer):
    """Positions only: three 32-bit floats (12 bytes) per vertex. len() is the
    number of vertices. Exports its floats through the buffer protocol; while a
    view is alive add() raises BufferError."""

    @property
    def raw(self) -> memoryview:
        """Writable view of the floats in place, three per vertex; ValueError when empty."""
    @property
    def vertices(self) -> list[dict[str, float]]: ...
    def add(self, position: Vector3f) -> None: ...
    def buffer_data(self) -> None:
        """bind(); upload every record (GL_STATIC_DRAW); unbind()."""
    def get_stride_size(self) -> int:
        """12, the record size in bytes."""
    def __len__(self) -> int: ...
    def __buffer__(self, flags: int) -> memoryview: ...
