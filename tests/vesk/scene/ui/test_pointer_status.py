"""PointerStatus: conversions, read-only fields, argument rules."""
import copy
import pickle

import pytest

from vesk.scene.ui.pointer_status import PointerStatus

NAMES = ("left_pressed", "middle_pressed", "right_pressed", "x", "y", "dx", "dy", "wheel")


def fields(p):
    return tuple(getattr(p, n) for n in NAMES)


def test_positional_values_and_types():
    p = PointerStatus(1, 0, "non-empty", 10, -20, 3, -4, 0.1)
    assert fields(p) == (True, False, True, 10, -20, 3, -4, 0.10000000149011612)
    assert [type(v) for v in fields(p)] == [bool] * 3 + [int] * 4 + [float]


def test_keywords_in_any_order_match_positional():
    values = dict(zip(NAMES, (0, 1, 0, -5, 6, 7, -8, 2.5)))
    kw = PointerStatus(**dict(reversed(list(values.items()))))
    assert fields(kw) == fields(PointerStatus(*values.values()))


@pytest.mark.parametrize(
    "x, expected",
    [(-(2**31), -(2**31)), (2**31 - 1, 2**31 - 1), (10.7, 10), (-10.7, -10), (True, 1)],
)
def test_x_conversion(x, expected):
    assert PointerStatus(0, 0, 0, x, 0, 0, 0, 0).x == expected


def test_wheel_int_reads_float():
    w = PointerStatus(0, 0, 0, 0, 0, 0, 0, -1).wheel
    assert w == -1.0 and type(w) is float


@pytest.mark.parametrize(
    "args, exc, message",
    [
        ((0, 0, 0, 2**31, 0, 0, 0, 0), OverflowError, "value too large to convert to int"),
        ((0, 0, 0, 0, "y", 0, 0, 0), TypeError, "an integer is required"),
        ((0, 0, 0, 0, 0, 0, 0, "w"), TypeError, "must be real number, not str"),
        # the first bad argument in order decides the error
        ((0, 0, 0, "x", 2**40, 0, 0, "w"), TypeError, "an integer is required"),
        ((0,) * 7, TypeError, "__cinit__() takes exactly 8 positional arguments (7 given)"),
        ((0,) * 9, TypeError, "__cinit__() takes exactly 8 positional arguments (9 given)"),
    ],
)
def test_construction_errors(args, exc, message):
    with pytest.raises(exc) as e:
        PointerStatus(*args)
    assert str(e.value) == message


def test_button_truth_value_error_propagates():
    class NoBool:
        def __bool__(self):
            raise ValueError("no truth")

    with pytest.raises(ValueError, match="no truth"):
        PointerStatus(NoBool(), 0, 0, 0, 0, 0, 0, 0)


@pytest.mark.parametrize(
    "kwargs, message",
    [
        (dict(left_pressed=0, middle_pressed=0, right_pressed=0, x=0),
         "__cinit__() takes exactly 8 positional arguments (4 given)"),
        (dict(left_pressed=0, middle_pressed=0, right_pressed=0, x=0, y=0, dx=0, dy=0, wheel=0, z=1),
         "__cinit__() got an unexpected keyword argument 'z'"),
    ],
)
def test_keyword_errors(kwargs, message):
    with pytest.raises(TypeError) as e:
        PointerStatus(**kwargs)
    assert str(e.value) == message


def test_given_twice():
    with pytest.raises(TypeError) as e:
        PointerStatus(0, 0, 0, 0, 0, 0, 0, 0, x=1)
    assert str(e.value) == "__cinit__() got multiple values for keyword argument 'x'"


@pytest.mark.parametrize("name", NAMES)
def test_fields_are_read_only(name):
    p = PointerStatus(1, 1, 1, 5, 6, 7, 8, 1.5)
    before = fields(p)
    with pytest.raises(AttributeError):
        setattr(p, name, 0)
    with pytest.raises(AttributeError):
        delattr(p, name)
    assert fields(p) == before


def test_subclass_and_pickling_refused():
    class Sub(PointerStatus):
        pass

    s = Sub(0, 0, 1, 1, 2, 3, 4, 0.5)
    assert s.right_pressed is True and s.y == 2
    assert type(PointerStatus).__name__ == "type"
    assert PointerStatus.__module__ == "vesk.scene.ui.pointer_status"
    for how in (pickle.dumps, copy.copy):
        with pytest.raises(TypeError, match="no default __reduce__ due to non-trivial __cinit__"):
            how(s)


def test_not_garbage_collected_type():
    import gc

    assert not gc.is_tracked(PointerStatus(0, 0, 0, 0, 0, 0, 0, 0))


def test_subclass_init_runs_after_construction():
    class Tagged(PointerStatus):
        def __init__(self, *args, tag=None, **kwargs):
            self.tag = tag

    with pytest.raises(TypeError):
        Tagged(0, 0, 0, 1, 2, 3, 4, 0.5, tag="t")  # construction sees the extra keyword
    t = Tagged(0, 0, 0, 1, 2, 3, 4, 0.5)
    assert (type(t), t.tag, t.x) == (Tagged, None, 1)
