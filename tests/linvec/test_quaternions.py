"""Quaternion and Quaternionf: the algebra, rotation of vectors and
conversions."""
import math
import pickle

import numpy as np
import pytest

from linvec.quaternion import Quaternion
from linvec.quaternionf import Quaternionf
from linvec.vector3 import Vector3
from linvec.vector3f import Vector3f

KINDS = [(Quaternion, Vector3, 1e-12), (Quaternionf, Vector3f, 1e-6)]


@pytest.fixture(params=KINDS, ids=["Quaternion", "Quaternionf"])
def kind(request):
    return request.param


def test_default_is_identity(kind):
    q, v, _ = kind
    assert list(q()) == [0, 0, 0, 1]
    assert q().rotate(v(1, 2, 3)) == v(1, 2, 3)
    assert q(w=2).w == 2.0


def test_hamilton_product(kind):
    q, _, _ = kind
    i, j, k, one = q(1, 0, 0, 0), q(0, 1, 0, 0), q(0, 0, 1, 0), q()
    assert i * j == k and j * k == i and k * i == j
    assert j * i == -k
    assert i * i == -one
    assert i * 2 == 2 * i == q(2, 0, 0, 0)
    assert (i + j) - j == i and i / 2 == q(0.5, 0, 0, 0)


def test_composition_rotates_right_factor_first(kind):
    q, v, tol = kind
    a = q.from_axis_angle(v(0, 0, 1), math.pi / 2)
    b = q.from_axis_angle(v(1, 0, 0), math.pi / 2)
    x = v(0, 1, 0)
    assert list((a * b).rotate(x)) == pytest.approx(list(a.rotate(b.rotate(x))), abs=tol)


@pytest.mark.parametrize(
    "axis, angle, vec, want",
    [((0, 0, 1), math.pi / 2, (1, 0, 0), (0, 1, 0)), ((1, 0, 0), math.pi, (0, 1, 0), (0, -1, 0)), ((0, 3, 0), math.pi / 2, (0, 0, 1), (1, 0, 0))],
)
def test_from_axis_angle_and_rotate(kind, axis, angle, vec, want):
    q, v, tol = kind
    r = q.from_axis_angle(v(*axis), angle)
    assert r.magnitude() == pytest.approx(1, abs=tol)
    out = r.rotate(v(*vec))
    assert type(out) is v and list(out) == pytest.approx(want, abs=tol)
    assert list((r * 4).rotate(v(*vec))) == pytest.approx(want, abs=tol)  # normalised first


def test_conjugate_inverse_normalized_dot(kind):
    q, _, tol = kind
    a = q(1, 2, 3, 4)
    assert a.conjugate() == q(-1, -2, -3, 4)
    assert list(a * a.inverse()) == pytest.approx([0, 0, 0, 1], abs=tol)
    assert a.normalized().magnitude() == pytest.approx(1, abs=tol)
    assert a.dot(a) == pytest.approx(30)
    assert a.magnitude() == pytest.approx(math.sqrt(30))


@pytest.mark.parametrize("method", ["normalized", "inverse"])
def test_zero_quaternion(kind, method):
    q, _, _ = kind
    with pytest.raises(ZeroDivisionError, match="^float division$"):
        getattr(q(0, 0, 0, 0), method)()


def test_argument_errors(kind):
    q, v, _ = kind
    with pytest.raises(ZeroDivisionError, match="^float division$"):
        q.from_axis_angle(v(), 1.0)
    with pytest.raises(TypeError) as info:
        q.from_axis_angle(None, 1.0)
    assert str(info.value) == (
        f"Argument 'axis' has incorrect type (expected linvec.{v.__name__.lower()}.{v.__name__}, got NoneType)"
    )
    with pytest.raises(TypeError) as info:
        q.from_axis_angle(v(1, 0, 0))
    assert str(info.value) == "from_axis_angle() takes exactly 2 positional arguments (1 given)"
    with pytest.raises(TypeError, match="Argument 'v' has incorrect type"):
        q().rotate((1, 2, 3))
    with pytest.raises(ZeroDivisionError, match="^float division$"):
        q(0, 0, 0, 0).rotate(v(1, 0, 0))
    with pytest.raises(ZeroDivisionError, match="^float division$"):
        q() / 0


def test_buffer_pickle_repr(kind):
    q, _, _ = kind
    a = q(1, 2, 3, 4)
    assert np.asarray(a).tolist() == [1, 2, 3, 4]
    assert pickle.loads(pickle.dumps(a)) == a
    assert eval(repr(a), {q.__name__: q}) == a


def test_to_float():
    f = Quaternion(0.1, 0.2, 0.3, 0.4).to_float()
    assert type(f) is Quaternionf and list(f) == [float(np.float32(x)) for x in (0.1, 0.2, 0.3, 0.4)]
