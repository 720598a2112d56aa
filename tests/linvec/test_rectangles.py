"""Rectanglef and Rectanglei: fields, containment and the record protocol."""
import pickle

import numpy as np
import pytest

from linvec.rectanglef import Rectanglef
from linvec.rectanglei import Rectanglei


@pytest.mark.parametrize("cls, dtype", [(Rectanglef, np.float32), (Rectanglei, np.int32)])
def test_fields_and_record_protocol(cls, dtype):
    r = cls(1, 2, 3, 4)
    assert (r.x, r.y, r.width, r.height) == (1, 2, 3, 4)
    assert list(cls()) == [0, 0, 0, 0]
    assert cls(height=5).height == 5
    assert np.asarray(r).dtype == dtype and np.asarray(r).tolist() == [1, 2, 3, 4]
    assert pickle.loads(pickle.dumps(r)) == r
    assert eval(repr(r), {cls.__name__: cls}) == r
    r.width = 10
    assert r[2] == 10


def test_float_rectangle_is_single_precision():
    r = Rectanglef(0.1, 0, 1, 1)
    assert r.x == float(np.float32(0.1))
    assert repr(Rectanglef(0, 0, 1, 1)) == "Rectanglef(0.0, 0.0, 1.0, 1.0)"


@pytest.mark.parametrize(
    "value, exc, message",
    [
        ("1", TypeError, "an integer is required"),
        (2**31, OverflowError, "value too large to convert to int"),
    ],
)
def test_int_rectangle_conversion_errors(value, exc, message):
    with pytest.raises(exc) as info:
        Rectanglei(value)
    assert str(info.value) == message


@pytest.mark.parametrize(
    "point, inside",
    [((0, 0), True), ((0.5, 0.5), True), ((1, 0.5), False), ((0.5, 1), False), ((-0.1, 0.5), False)],
)
@pytest.mark.parametrize("cls", [Rectanglef, Rectanglei])
def test_contains_includes_lower_left_edges(cls, point, inside):
    r = cls(0, 0, 1, 1)
    assert r.contains(*point) is inside
    assert r.contains(x=point[0], y=point[1]) is inside


def test_contains_argument_count():
    with pytest.raises(TypeError) as info:
        Rectanglef().contains(1)
    assert str(info.value) == "contains() takes exactly 2 positional arguments (1 given)"
