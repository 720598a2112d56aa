"""Transform: an owned world position and world matrix."""
import pickle

import pytest

from linvec.matrix4 import Matrix4
from linvec.transform import Transform
from linvec.vector3 import Vector3
from linvec.vector3f import Vector3f


def test_defaults():
    t = Transform()
    assert t.position == Vector3() and t.matrix == Matrix4.identity()


@pytest.mark.parametrize(
    "args, position, matrix",
    [
        ((Vector3(1, 2, 3),), Vector3(1, 2, 3), Matrix4.create_translation(1, 2, 3)),
        ((Vector3(1, 2, 3), None), Vector3(1, 2, 3), Matrix4.create_translation(1, 2, 3)),
        ((None, Matrix4.create_scale(2)), Vector3(), Matrix4.create_scale(2)),
        ((Vector3(1, 2, 3), Matrix4.create_scale(2)), Vector3(1, 2, 3), Matrix4.create_scale(2)),
    ],
)
def test_construction(args, position, matrix):
    t = Transform(*args)
    assert t.position == position and t.matrix == matrix
    assert Transform(**dict(zip(["position", "matrix"], args))) == t


def test_holds_exact_copies():
    Sub = type("Sub", (Vector3,), {})
    p, m = Sub(1, 2, 3), Matrix4.create_scale(3)
    t = Transform(p, m)
    assert type(t.position) is Vector3 and t.position is not p
    assert t.matrix is not m
    p.x = 9
    m[0, 0] = 9
    assert t.position.x == 1 and t.matrix[0, 0] == 3
    # The held objects are the fields: mutating them mutates the transform.
    t.position.y = 5
    assert t.position.y == 5
    assert t.position is t.position


def test_setters_copy_and_check():
    t = Transform()
    v = Vector3(4, 5, 6)
    t.position = v
    assert t.position == v and t.position is not v
    t.matrix = Matrix4.create_scale(2)
    assert t.matrix == Matrix4.create_scale(2)
    for attr, value, message in [
        ("position", None, "Cannot convert NoneType to linvec.vector3.Vector3"),
        ("position", Vector3f(), "Cannot convert linvec.vector3f.Vector3f to linvec.vector3.Vector3"),
        ("matrix", (1, 2), "Cannot convert tuple to linvec.matrix4.Matrix4"),
    ]:
        with pytest.raises(TypeError) as info:
            setattr(t, attr, value)
        assert str(info.value) == message
        assert info.traceback[-1].name == f"linvec.transform.Transform.{attr}.__set__"
    with pytest.raises(NotImplementedError):
        del t.position


@pytest.mark.parametrize(
    "kwargs, message",
    [
        ({"position": Vector3f()}, "Argument 'position' has incorrect type (expected linvec.vector3.Vector3, got linvec.vector3f.Vector3f)"),
        ({"matrix": Vector3()}, "Argument 'matrix' has incorrect type (expected linvec.matrix4.Matrix4, got linvec.vector3.Vector3)"),
        ({"world": 1}, "__cinit__() got an unexpected keyword argument 'world'"),
    ],
)
def test_argument_errors(kwargs, message):
    with pytest.raises(TypeError) as info:
        Transform(**kwargs)
    assert str(info.value) == message
    assert info.traceback[-1].name == "linvec.transform.Transform.__cinit__"


def test_repr_eq_pickle():
    t = Transform(Vector3(1, 2, 3), Matrix4.create_scale(2))
    ns = {"Transform": Transform, "Vector3": Vector3, "Matrix4": Matrix4}
    assert eval(repr(t), ns) == t
    r = pickle.loads(pickle.dumps(t))
    assert r == t and r.position is not t.position
    assert t != Transform(Vector3(1, 2, 3))
    with pytest.raises(TypeError, match="unhashable"):
        hash(t)
