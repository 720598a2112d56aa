"""Vertex layouts and the GL vertex array objects that record them."""
from typing import SupportsIndex

from vesk.opengl.buffers.index_buffer import IndexBuffer
from vesk.opengl.buffers.vertex_buffer import VertexBuffer

class VertexAttribute:
    """One attribute of a vertex layout; the stride is vertex_buffer.get_stride_size()."""

    def __init__(
        self,
        vertex_buffer: VertexBuffer,
        location: SupportsIndex,
        element_count: SupportsIndex,
        element_type: SupportsIndex,
        is_normalized: SupportsIndex,
        offset: SupportsIndex,
    ) -> None: ...
    def attach(self) -> None:
        """Set the attribute up in the bound vertex array object. Never raises:
        errors go to sys.unraisablehook."""

class VertexDescription:
    def __init__(self, *args: object, **kwargs: object) -> None: ...
    @property
    def attributes(self) -> tuple[VertexAttribute, ...]: ...
    def add(self, vertex_attribute: VertexAttribute) -> None:
        """Append an attribute (TypeError for anything else, None included)."""
    def attach(self) -> None:
        """attach() every attribute in order. Never raises."""

class AttribBinding:
    """A vertex array object recording a description and, when truthy, an
    index buffer. Needs a current GL context; left unbound after creation."""

    def __init__(
        self, vertex_description: VertexDescription, index_buffer: IndexBuffer | None
    ) -> None: ...
    @property
    def gl_id(self) -> int: ...
    def bind(self) -> None: ...
    def unbind(self) -> None: ...
    def initialize(self) -> None: ...
