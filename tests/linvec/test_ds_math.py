"""Double-single numbers: the split, its precision, and the classes and
functions built on it."""
import pickle
import struct

import numpy as np
import pytest

from linvec import ds_math
from linvec.ds_math import DoubleSingle, Matrix4ds, Vector3ds, Vector4ds, double_single3
from linvec.math_structs import float3
from linvec.matrix4 import Matrix4
from linvec.matrix4f import Matrix4f
from linvec.vector3 import Vector3
from linvec.vector3f import Vector3f
from linvec.vector4 import Vector4
from linvec.vector4f import Vector4f


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def expected_split(v):
    hi = float(np.float32(v))
    lo = float(np.float32(v - hi)) if np.isfinite(hi) else 0.0
    return hi, lo


VALUES = [0.0, -0.0, 1.0, 0.1, -0.1, 1e7 + 0.1, 6378137.5, 6378137.25, -6378137.123456, 1e-40, 1.5e38, 3.4e38]


@pytest.mark.parametrize("v", VALUES)
def test_split_is_hi_rounded_then_remainder_rounded(v):
    d = DoubleSingle(v)
    assert (d.hi, d.lo) == expected_split(v)
    assert d.value == d.hi + d.lo == float(d)


def test_must_show_1e7_plus_a_tenth():
    v = 1e7 + 0.1
    d = DoubleSingle(v)
    err = abs((d.hi + d.lo) - v)
    # The low part is the single-precision float nearest to the remainder
    # 0.0999999996..., so the error is at most half its spacing (3.7e-9);
    # here it is 1.86e-9, where single precision alone loses the whole 0.1.
    assert err <= np.spacing(np.float32(0.1)) / 2
    assert err < 2e-9
    assert abs(d.hi - v) == pytest.approx(0.1, rel=1e-6)
    # No pair of floats with this hi does better: neighbours of lo are worse.
    lo = np.float32(d.lo)
    for other in (np.nextafter(lo, np.float32(1)), np.nextafter(lo, np.float32(0))):
        assert abs(d.hi + float(other) - v) > err


def test_must_show_matrix4ds_keeps_the_half_metre():
    m = ds_math.to_matrix4ds(Matrix4.create_translation(6378137.5, 0, 0))
    assert type(m) is Matrix4ds and type(m.hi) is Matrix4f and type(m.lo) is Matrix4f
    assert m.hi[3, 0] + m.lo[3, 0] == 6378137.5
    assert m.to_matrix4()[3, 0] == 6378137.5
    # Below single precision's 0.5 m spacing at this distance the low part carries it.
    q = ds_math.to_matrix4ds(Matrix4.create_translation(6378137.25, -6378137.75, 1e7 + 0.1))
    assert (q.hi[3, 0], q.lo[3, 0]) == (6378137.0, 0.25)
    assert q.hi[3, 1] + q.lo[3, 1] == -6378137.75
    assert abs(q.hi[3, 2] + q.lo[3, 2] - (1e7 + 0.1)) < 2e-9


@pytest.mark.parametrize("v", [float("inf"), float("-inf"), 1e300, -1e300])
def test_out_of_float_range_keeps_lo_zero(v):
    d = DoubleSingle(v)
    assert d.hi == float("inf") * (1 if v > 0 else -1) and d.lo == 0.0


def test_nan():
    d = DoubleSingle(float("nan"))
    assert np.isnan(d.hi) and d.lo == 0.0


def test_to_double_single3():
    v = Vector3(1e7 + 0.1, -6378137.25, 0.1)
    d = ds_math.to_double_single3(v)
    assert type(d) is double_single3
    assert type(d.hi) is float3
    parts = [expected_split(c) for c in v]
    assert list(d.hi) == [p[0] for p in parts] and list(d.lo) == [p[1] for p in parts]
    a = np.asarray(d)
    assert a.shape == (2, 3) and a.dtype == np.float32
    assert memoryview(d).nbytes == 24  # the vertex record: hi at 0, lo at 12
    assert list(d.to_vector3()) == [p[0] + p[1] for p in parts]


@pytest.mark.parametrize(
    "fn, arg, message",
    [
        (ds_math.to_double_single3, None, "Argument 'v' has incorrect type (expected linvec.vector3.Vector3, got NoneType)"),
        (ds_math.to_double_single3, Vector3f(), "Argument 'v' has incorrect type (expected linvec.vector3.Vector3, got linvec.vector3f.Vector3f)"),
        (ds_math.to_matrix4ds, Matrix4f(), "Argument 'm' has incorrect type (expected linvec.matrix4.Matrix4, got linvec.matrix4f.Matrix4f)"),
        (ds_math.to_matrix4ds, None, "Argument 'm' has incorrect type (expected linvec.matrix4.Matrix4, got NoneType)"),
    ],
)
def test_function_argument_errors(fn, arg, message):
    with pytest.raises(TypeError) as info:
        fn(arg)
    assert str(info.value) == message
    assert info.traceback[-1].name == "linvec.ds_math." + fn.__name__


def test_double_single3_record():
    d = double_single3(float3(1, 2, 3), float3(0.5, 0, 0))
    assert list(d.hi) == [1, 2, 3] and list(d.lo) == [0.5, 0, 0]
    assert d == double_single3(hi=float3(1, 2, 3), lo=float3(0.5, 0, 0))
    assert list(double_single3().hi) == [0, 0, 0]
    h = d.hi
    h.x = 9  # a copy: the record holds values
    assert d.hi.x == 1
    d.lo = float3(7, 7, 7)
    assert list(d.lo) == [7, 7, 7]
    with pytest.raises(TypeError, match="Cannot convert NoneType to linvec.math_structs.float3"):
        d.hi = None
    with pytest.raises(TypeError, match="Argument 'hi' has incorrect type"):
        double_single3(Vector3f())
    assert eval(repr(d), {"double_single3": double_single3, "float3": float3}) == d


@pytest.mark.parametrize(
    "cls, source, part, join",
    [
        (Vector3ds, Vector3(1e7 + 0.1, -2.25, 6378137.25), Vector3f, "to_vector3"),
        (Vector4ds, Vector4(1e7 + 0.1, -2.25, 6378137.25, 1), Vector4f, "to_vector4"),
        (Matrix4ds, Matrix4([1e7 + 0.1 * i for i in range(16)]), Matrix4f, "to_matrix4"),
    ],
)
def test_pair_classes(cls, source, part, join):
    d = cls(source)
    assert type(d.hi) is part and type(d.lo) is part
    flat = np.asarray(source).ravel()
    assert np.asarray(d.hi).ravel().tolist() == [expected_split(v)[0] for v in flat]
    assert np.asarray(d.lo).ravel().tolist() == [expected_split(v)[1] for v in flat]
    joined = getattr(d, join)()
    assert type(joined) is type(source)
    # hi + lo is within half a low-part ulp of the 64-bit value.
    lo = np.asarray(d.lo).ravel()
    err = np.abs(np.asarray(joined).ravel() - flat)
    assert np.all(err <= np.spacing(np.abs(lo)) / 2)
    assert cls(source) == d and cls() != d
    r = pickle.loads(pickle.dumps(d))
    assert r == d and r.hi is not d.hi
    with pytest.raises(TypeError, match="Argument '(v|m)' has incorrect type"):
        cls(part())
    with pytest.raises(AttributeError):
        d.hi = part()


def test_pair_defaults():
    assert np.asarray(Matrix4ds().hi).tolist() == np.eye(4).tolist()
    assert np.asarray(Matrix4ds().lo).tolist() == np.zeros((4, 4)).tolist()
    assert list(Vector3ds(None).hi) == [0, 0, 0]


def test_double_single_pickle_and_repr():
    d = DoubleSingle(1e7 + 0.1)
    assert pickle.loads(pickle.dumps(d)) == d
    assert eval(repr(d), {"DoubleSingle": DoubleSingle}) == d
    with pytest.raises(AttributeError):
        d.hi = 1.0
