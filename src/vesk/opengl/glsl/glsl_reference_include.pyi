"""The process-wide registry of named GLSL texts expanded by "#include_reference"."""
from typing import List, Optional

class GlslReferenceInclude:
    """Registry of named GLSL texts; every method is static."""

    def __init__(self, *args: object, **kwargs: object) -> None: ...
    @staticmethod
    def set_include_text(name: str, text: Optional[str]) -> None:
        """Register ``text`` under ``name``; None removes the name."""
    @staticmethod
    def get_include_text(name: str) -> Optional[str]:
        """The text registered under ``name``, or None."""
    @staticmethod
    def get_include_names() -> List[str]:
        """The registered names, sorted."""
