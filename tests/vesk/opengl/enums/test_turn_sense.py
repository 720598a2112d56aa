"""TurnSense: an IntEnum of the two GL winding orders."""
import enum

import pytest

from vesk.opengl.enums import turn_sense
from vesk.opengl.enums.turn_sense import TurnSense


def test_members_and_order():
    assert issubclass(TurnSense, enum.IntEnum)
    assert list(TurnSense) == [TurnSense.clockwise, TurnSense.counter_clockwise]
    assert list(TurnSense.__members__) == ["clockwise", "counter_clockwise"]
    assert int(TurnSense.counter_clockwise) == 2305
    assert TurnSense.clockwise == 2304


def test_module_names_are_the_members():
    assert turn_sense.clockwise is TurnSense.clockwise
    assert turn_sense.counter_clockwise is TurnSense.counter_clockwise
    assert TurnSense.__module__ == "vesk.opengl.enums.turn_sense"


def test_lookup():
    assert TurnSense(0x900) is TurnSense.clockwise
    assert TurnSense(2305) is TurnSense.counter_clockwise
    assert TurnSense["clockwise"] is TurnSense.clockwise


@pytest.mark.parametrize("value", [0, 2306])
def test_bad_value(value):
    with pytest.raises(ValueError):
        TurnSense(value)


def test_bad_name():
    with pytest.raises(KeyError):
        TurnSense["widdershins"]


def test_printable_forms():
    assert str(TurnSense.clockwise) == "TurnSense.clockwise"
    assert f"{TurnSense.counter_clockwise}" == "TurnSense.counter_clockwise"
    assert repr(TurnSense.counter_clockwise) == "<TurnSense.counter_clockwise: 2305>"


def test_interchangeable_with_int_keys():
    assert hash(TurnSense.clockwise) == hash(2304)
    d = {2304: "cw"}
    assert d[TurnSense.clockwise] == "cw"
