"""SideRefOps: six signed 32-bit stencil settings."""
import copy
import pickle
import traceback

import pytest

from vesk.opengl.render_state.side_ref_ops import SideRefOps

NAMES = (
    "stencil_fail_operation",
    "depth_fail_stencil_pass_operation",
    "depth_pass_stencil_pass_operation",
    "stencil_test_function",
    "reference_value",
    "mask",
)


def values(s):
    return tuple(getattr(s, n) for n in NAMES)


def test_defaults():
    assert values(SideRefOps()) == (7680, 7680, 7680, 519, 0, -1)


@pytest.mark.parametrize(
    "name, value, stored",
    [
        ("mask", -1, -1),
        ("stencil_test_function", 0x0202, 0x0202),
        ("stencil_fail_operation", 12345, 12345),
        ("reference_value", 2.7, 2),
        ("reference_value", -(2**31), -(2**31)),
        ("depth_pass_stencil_pass_operation", True, 1),
    ],
)
def test_set(name, value, stored):
    s = SideRefOps()
    setattr(s, name, value)
    assert getattr(s, name) == stored
    assert type(getattr(s, name)) is int


@pytest.mark.parametrize(
    "name, value, exc, message",
    [
        ("mask", 0xFFFFFFFF, OverflowError, "value too large to convert to int"),
        ("reference_value", "2", TypeError, "an integer is required"),
        ("stencil_test_function", None, TypeError, "an integer is required"),
    ],
)
def test_set_errors_keep_old_value(name, value, exc, message):
    s = SideRefOps()
    before = values(s)
    with pytest.raises(exc) as e:
        setattr(s, name, value)
    assert str(e.value) == message
    assert values(s) == before
    entry = traceback.extract_tb(e.value.__traceback__)[-1]
    assert entry.name == f"vesk.opengl.render_state.side_ref_ops.SideRefOps.{name}.__set__"
    assert entry.filename == "vesk\\opengl\\render_state\\side_ref_ops.cpp"


@pytest.mark.parametrize("name", NAMES)
def test_delete_raises(name):
    s = SideRefOps()
    setattr(s, name, 3)
    with pytest.raises(NotImplementedError) as e:
        delattr(s, name)
    assert str(e.value) == "__del__"
    assert getattr(s, name) == 3


def test_pickling_refused_and_subclassable():
    class Sub(SideRefOps):
        pass

    s = Sub("ignored", 1)
    assert s.mask == -1
    for how in (pickle.dumps, copy.copy):
        with pytest.raises(TypeError, match="no default __reduce__ due to non-trivial __cinit__"):
            how(s)
