"""Stencil settings of one polygon face."""
from typing import Any

class SideRefOps:
    """Stencil operations, comparison function, reference value and mask of one face.

    Every field is a signed 32-bit int; GL enumerants are stored unchecked."""

    def __init__(self, *args: Any, **kwargs: Any) -> None: ...
    stencil_fail_operation: int
    depth_fail_stencil_pass_operation: int
    depth_pass_stencil_pass_operation: int
    stencil_test_function: int
    reference_value: int
    mask: int
