"""GLSL diagnostics placed at the unit and line where their text was written."""
from typing import Any, List, Optional, Sequence, Tuple

IncludeSite = Tuple[str, int]
SourceMapEntry = Tuple[str, str, int, List[IncludeSite]]

class GlslMessage:
    """One diagnostic. ``str()`` gives "unit:line: kind: text" (1-based line)
    followed by one "  included from unit:line" line per include site,
    innermost first. A message without a place has ``unit`` None and
    ``line_index`` -1."""

    def __init__(
        self,
        parent_refs: List[IncludeSite],
        source_file: Optional[str],
        output_line: int,
        unit: Optional[str],
        line_index: int,
        kind: str,
        origin: str,
        text: str,
        raw_line: str,
    ) -> None: ...
    @property
    def parent_refs(self) -> List[IncludeSite]: ...
    @property
    def source_file(self) -> Optional[str]: ...
    @property
    def output_line(self) -> int: ...
    @property
    def unit(self) -> Optional[str]: ...
    @property
    def line_index(self) -> int: ...
    @property
    def kind(self) -> str: ...
    @property
    def origin(self) -> str: ...
    @property
    def text(self) -> str: ...
    @property
    def raw_line(self) -> str: ...

class GlslException(Exception):
    """A GLSL failure; ``str()`` is the message's text form."""

    def __init__(self, message: Any) -> None: ...
    @property
    def message(self) -> Any: ...

def create_glsl_message_from_string(
    line: str, source_file: Optional[str], source_map: Sequence[SourceMapEntry]
) -> GlslMessage:
    """Parse one driver info-log line (Mesa, NVIDIA or "ERROR: 0:12:" form) and
    place it through the source map; a line naming no source line gives a
    message without a place."""
