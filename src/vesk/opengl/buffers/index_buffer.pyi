"""Element-array buffers."""
from typing import SupportsIndex

class IndexBuffer:
    """Owns one GL buffer name (a GL context must be current at creation) and
    keeps its indices on the CPU until buffer_data() uploads them. len() is the
    number of indices; true when it holds any. Exports its indices through the
    buffer protocol; while a view is alive add() raises BufferError."""

    def __init__(self, *args: object, **kwargs: object) -> None: ...
    @property
    def gl_id(self) -> int: ...
    @property
    def raw(self) -> memoryview:
        """Writable view of the indices in place; ValueError when empty."""
    @property
    def indices(self) -> list[int]: ...
    def bind(self) -> None:
        """Bind as GL_ELEMENT_ARRAY_BUFFER (recorded in the bound vertex array object)."""
    def unbind(self) -> None: ...
    def buffer_data(self) -> None:
        """Upload every index (GL_STATIC_DRAW); the element-array binding is untouched."""
    def add(self, index: SupportsIndex) -> None:
        """Append one index; the base class raises NotImplementedError."""
    def __len__(self) -> int: ...
    def __bool__(self) -> bool: ...
    def __buffer__(self, flags: int) -> memoryview: ...

class IntIndexBuffer(IndexBuffer):
    """Unsigned 32-bit indices (GL_UNSIGNED_INT): add() raises OverflowError
    outside 0 .. 2**32 - 1."""
