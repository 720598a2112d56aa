"""The mouse state record handed to the UI window manager."""
from typing import Any, SupportsFloat, SupportsInt

class PointerStatus:
    """Immutable snapshot of the mouse at one input event."""

    def __init__(
        self,
        left_pressed: Any,
        middle_pressed: Any,
        right_pressed: Any,
        x: SupportsInt,
        y: SupportsInt,
        dx: SupportsInt,
        dy: SupportsInt,
        wheel: SupportsFloat,
    ) -> None: ...
    @property
    def left_pressed(self) -> bool: ...
    @property
    def middle_pressed(self) -> bool: ...
    @property
    def right_pressed(self) -> bool: ...
    @property
    def x(self) -> int: ...
    @property
    def y(self) -> int: ...
    @property
    def dx(self) -> int: ...
    @property
    def dy(self) -> int: ...
    @property
    def wheel(self) -> float: ...
