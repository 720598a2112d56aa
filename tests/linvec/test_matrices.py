"""Matrix4 and Matrix4f: column-major storage, construction, indexing, the
buffer protocol, products, factories, inverse and pickling."""
import math
import pickle

import numpy as np
import pytest

from linvec.matrix4 import Matrix4
from linvec.matrix4f import Matrix4f
from linvec.quaternion import Quaternion
from linvec.vector3 import Vector3
from linvec.vector4 import Vector4

MATRICES = [(Matrix4, np.float64), (Matrix4f, np.float32)]


@pytest.fixture(params=MATRICES, ids=["Matrix4", "Matrix4f"])
def kind(request):
    return request.param


def math_of(m):
    """The matrix in row-by-column order."""
    return np.asarray(m).T


def random_math(seed):
    return np.random.default_rng(seed).uniform(-2, 2, (4, 4))


def from_math(cls, a):
    return cls(np.asarray(a).T.ravel().tolist())


def test_default_is_identity(kind):
    cls, _ = kind
    assert np.array_equal(math_of(cls()), np.eye(4))
    assert cls.identity() == cls() and cls(None) == cls()


@pytest.mark.parametrize(
    "values",
    [list(range(16)), [list(range(4 * c, 4 * c + 4)) for c in range(4)], np.arange(16.0), np.arange(16.0).reshape(4, 4)],
    ids=["flat", "columns", "numpy-flat", "numpy-columns"],
)
def test_values_are_column_major(kind, values):
    cls, _ = kind
    m = cls(values)
    assert m[1] == (4.0, 5.0, 6.0, 7.0)  # column 1
    assert m[3, 0] == 12.0  # column 3, row 0: the x translation slot
    assert np.asarray(m).ravel().tolist() == [float(i) for i in range(16)]


@pytest.mark.parametrize(
    "values, exc, message",
    [
        (list(range(15)), ValueError, "{n}() needs 16 numbers or 4 columns of 4 numbers, column-major, got 15 items"),
        ([[1, 2, 3, 4]] * 3 + [[1, 2, 3]], ValueError, "{n}() needs 16 numbers or 4 columns of 4 numbers, column-major: column 3 has 3 values"),
        (5, TypeError, "{n}() needs 16 numbers or 4 columns of 4 numbers, column-major"),
        (["a"] * 16, TypeError, "must be real number, not str"),
    ],
    ids=["short", "short-column", "not-a-sequence", "not-numbers"],
)
def test_construction_errors(kind, values, exc, message):
    cls, _ = kind
    with pytest.raises(exc) as info:
        cls(values)
    assert str(info.value) == message.format(n=cls.__name__)
    assert info.traceback[-1].name == f"linvec.{cls.__name__.lower()}.{cls.__name__}.__cinit__"


def test_too_many_arguments(kind):
    cls, _ = kind
    with pytest.raises(TypeError) as info:
        cls(None, None)
    assert str(info.value) == "__cinit__() takes at most 1 positional argument (2 given)"


def test_indexing_and_assignment(kind):
    cls, _ = kind
    m = cls()
    m[3] = (1, 2, 3, 1)
    m[0, 1] = 5
    assert m[3] == (1.0, 2.0, 3.0, 1.0) and m[0, 1] == 5.0 and m[-1, -1] == 1.0
    assert len(m) == 4 and list(m) == [m[c] for c in range(4)]
    for key, exc in [(4, IndexError), ((0, 4), IndexError), ((0,), IndexError), ("a", TypeError), (1.5, TypeError)]:
        with pytest.raises(exc):
            m[key]
    with pytest.raises(ValueError, match="a column is 4 numbers, got 3"):
        m[0] = (1, 2, 3)
    with pytest.raises(TypeError, match="doesn't support item deletion"):
        del m[0]


def test_buffer_is_a_4x4_view_indexed_column_row(kind):
    cls, dtype = kind
    m = cls.identity()
    a = np.asarray(m)
    assert a.shape == (4, 4) and a.dtype == dtype and a.flags["C_CONTIGUOUS"]
    a[3, 0] = 7.0  # column 3, row 0
    assert m[3, 0] == 7.0
    assert memoryview(m).tobytes() == np.asarray(m).tobytes()


def test_repr_round_trips(kind):
    cls, dtype = kind
    m = from_math(cls, random_math(1).astype(dtype))
    assert repr(m).startswith(cls.__name__ + "([[")
    assert eval(repr(m), {cls.__name__: cls}) == m


@pytest.mark.parametrize("seed", [1, 2, 3])
def test_product_is_self_times_other(kind, seed):
    cls, dtype = kind
    a, b = random_math(seed).astype(dtype), random_math(seed + 10).astype(dtype)
    ma, mb = from_math(cls, a), from_math(cls, b)
    for r in (ma @ mb, ma.multiply(mb)):
        assert type(r) is cls
        np.testing.assert_allclose(math_of(r), a @ b, rtol=1e-5 if dtype is np.float32 else 1e-12)
    assert not np.allclose(math_of(ma @ mb), math_of(mb @ ma))


def test_multiply_argument_check(kind):
    cls, _ = kind
    with pytest.raises(TypeError) as info:
        cls().multiply(None)
    assert str(info.value) == (
        f"Argument 'other' has incorrect type (expected linvec.{cls.__name__.lower()}.{cls.__name__}, got NoneType)"
    )


def test_elementwise_operators(kind):
    cls, _ = kind
    a = cls(range(16))
    assert (a + a) == a * 2 == 2 * a
    assert (a - a) == cls([0] * 16)
    assert -a == a * -1 and +a == a
    with pytest.raises(TypeError):
        a * a


@pytest.mark.parametrize("seed", [4, 5])
def test_inverse_and_determinant(kind, seed):
    cls, dtype = kind
    a = random_math(seed)
    m = from_math(cls, a.astype(dtype))
    tol = 1e-4 if dtype is np.float32 else 1e-10
    np.testing.assert_allclose(math_of(m.inverse()), np.linalg.inv(a.astype(dtype)), rtol=tol, atol=tol)
    assert m.determinant() == pytest.approx(np.linalg.det(a.astype(dtype)), rel=tol)
    np.testing.assert_allclose(math_of(m @ m.inverse()), np.eye(4), atol=tol)


def test_singular_inverse(kind):
    cls, _ = kind
    with pytest.raises(ZeroDivisionError, match="^float division$"):
        cls([0] * 16).inverse()


def test_transposed(kind):
    cls, _ = kind
    m = cls(range(16))
    np.testing.assert_array_equal(math_of(m.transposed()), math_of(m).T)


@pytest.mark.parametrize("protocol", [0, pickle.HIGHEST_PROTOCOL])
def test_pickle(kind, protocol):
    cls, dtype = kind
    m = from_math(cls, random_math(7).astype(dtype))
    r = pickle.loads(pickle.dumps(m, protocol))
    assert type(r) is cls and r == m
    assert m != cls()
    with pytest.raises(TypeError, match="unhashable"):
        hash(m)


# ---------------------------------------------------------------- Matrix4 only


def test_to_float():
    m = Matrix4([0.1 * i for i in range(16)])
    f = m.to_float()
    assert type(f) is Matrix4f
    assert np.asarray(f).tolist() == np.asarray(m).astype(np.float32).tolist()


@pytest.mark.parametrize(
    "args, diagonal, translation",
    [
        (("translation", 1, 2, 3), (1, 1, 1), (1, 2, 3)),
        (("translation", Vector3(-1, 0.5, 6378137.5)), (1, 1, 1), (-1, 0.5, 6378137.5)),
        (("scale", 2, 3, 4), (2, 3, 4), (0, 0, 0)),
        (("scale", Vector3(2, 3, 4)), (2, 3, 4), (0, 0, 0)),
        (("scale", 5), (5, 5, 5), (0, 0, 0)),
    ],
)
def test_translation_and_scale(args, diagonal, translation):
    name, *rest = args
    m = getattr(Matrix4, "create_" + name)(*rest)
    want = np.diag(list(diagonal) + [1.0])
    want[:3, 3] = translation
    np.testing.assert_array_equal(math_of(m), want)
    assert m[3][:3] == tuple(float(t) for t in translation)


@pytest.mark.parametrize(
    "call, exc, message",
    [
        (lambda: Matrix4.create_translation(1, 2), TypeError, "create_translation() takes exactly 3 positional arguments (2 given)"),
        (lambda: Matrix4.create_translation(1), TypeError,
         "Argument 'v' has incorrect type (expected linvec.vector3.Vector3, got int)"),
        (lambda: Matrix4.create_translation(None), TypeError,
         "Argument 'v' has incorrect type (expected linvec.vector3.Vector3, got NoneType)"),
        (lambda: Matrix4.create_scale(1, "a", 3), TypeError, "must be real number, not str"),
        (lambda: Matrix4.create_scale(x=1), TypeError, "create_scale() takes no keyword arguments"),
        (lambda: Matrix4.create_rotation(None, 1), TypeError,
         "Argument 'axis' has incorrect type (expected linvec.vector3.Vector3, got NoneType)"),
        (lambda: Matrix4.create_rotation(Vector3(), 1), ZeroDivisionError, "float division"),
        (lambda: Matrix4.create_from_quaternion(Quaternion(0, 0, 0, 0)), ZeroDivisionError, "float division"),
        (lambda: Matrix4.create_from_quaternion(Vector4()), TypeError,
         "Argument 'q' has incorrect type (expected linvec.quaternion.Quaternion, got linvec.vector4.Vector4)"),
        (lambda: Matrix4.create_perspective(1, 0, 1, 10), ZeroDivisionError, "float division"),
        (lambda: Matrix4.create_perspective(1, 1, 1, 1), ZeroDivisionError, "float division"),
        (lambda: Matrix4.create_perspective(1, 1, 1), TypeError, "create_perspective() takes exactly 4 positional arguments (3 given)"),
        (lambda: Matrix4.create_look_at(Vector3(), Vector3(), Vector3(0, 1, 0)), ZeroDivisionError, "float division"),
        (lambda: Matrix4.create_look_at(Vector3(), Vector3(0, 1, 0), Vector3(0, 1, 0)), ZeroDivisionError, "float division"),
        (lambda: Matrix4().transform_point(None), TypeError,
         "Argument 'v' has incorrect type (expected linvec.vector3.Vector3, got NoneType)"),
        (lambda: Matrix4([0] * 16).transform_point(Vector3()), ZeroDivisionError, "float division"),
    ],
)
def test_factory_errors(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    assert str(info.value) == message


@pytest.mark.parametrize(
    "axis, angle, v, want",
    [
        (Vector3(0, 0, 1), math.pi / 2, Vector3(1, 0, 0), (0, 1, 0)),
        (Vector3(0, 0, 5), math.pi / 2, Vector3(1, 0, 0), (0, 1, 0)),  # any axis length
        (Vector3(1, 0, 0), math.pi / 2, Vector3(0, 1, 0), (0, 0, 1)),
        (Vector3(0, 1, 0), math.pi / 2, Vector3(0, 0, 1), (1, 0, 0)),
        (Vector3(1, 1, 1), 2 * math.pi / 3, Vector3(1, 0, 0), (0, 1, 0)),
    ],
)
def test_rotation_is_right_handed(axis, angle, v, want):
    m = Matrix4.create_rotation(axis, angle)
    assert list(m.transform_direction(v)) == pytest.approx(want, abs=1e-12)
    q = Quaternion.from_axis_angle(axis, angle)
    np.testing.assert_allclose(np.asarray(Matrix4.create_from_quaternion(q)), np.asarray(m), atol=1e-15)
    assert np.linalg.det(math_of(m)) == pytest.approx(1.0)


def test_from_quaternion_normalises():
    q = Quaternion(0, 0, math.sin(0.3), math.cos(0.3))
    a = Matrix4.create_from_quaternion(q)
    b = Matrix4.create_from_quaternion(q * 3.0)
    np.testing.assert_allclose(np.asarray(a), np.asarray(b), atol=1e-15)


def test_perspective_matches_the_gl_formula():
    fov, aspect, near, far = 1.0, 1.5, 0.1, 100.0
    f = 1 / math.tan(fov / 2)
    want = np.array(
        [
            [f / aspect, 0, 0, 0],
            [0, f, 0, 0],
            [0, 0, (far + near) / (near - far), 2 * far * near / (near - far)],
            [0, 0, -1, 0],
        ]
    )
    m = Matrix4.create_perspective(fov, aspect, near, far)
    np.testing.assert_allclose(math_of(m), want)
    # near maps to z = -1, far to z = +1
    assert m.transform_point(Vector3(0, 0, -near)).z == pytest.approx(-1)
    assert m.transform_point(Vector3(0, 0, -far)).z == pytest.approx(1)
    assert Matrix4.create_perspective(fov_y=fov, aspect=aspect, near=near, far=far) == m


def test_look_at():
    eye, target, up = Vector3(1, 2, 10), Vector3(1, 2, 0), Vector3(0, 1, 0)
    v = Matrix4.create_look_at(eye, target, up)
    assert list(v.transform_point(eye)) == pytest.approx([0, 0, 0])
    assert list(v.transform_point(target)) == pytest.approx([0, 0, -10])
    assert list(v.transform_direction(up)) == pytest.approx([0, 1, 0])


def test_products_with_vectors():
    m = Matrix4.create_translation(1, 2, 3) @ Matrix4.create_scale(2)
    p = m @ Vector4(1, 1, 1, 1)
    assert type(p) is Vector4 and list(p) == [3, 4, 5, 1]
    assert list(m @ Vector4(1, 1, 1, 0)) == [2, 2, 2, 0]
    assert list(m.transform_point(Vector3(1, 1, 1))) == [3, 4, 5]
    assert list(m.transform_direction(Vector3(1, 1, 1))) == [2, 2, 2]
    with pytest.raises(TypeError):
        m @ Vector3(1, 1, 1)
    with pytest.raises(TypeError):
        Vector4() @ m


def test_docstrings():
    assert Matrix4.multiply.__doc__.startswith("Matrix4.multiply(self, Matrix4 other) -> Matrix4")
    assert Matrix4.to_float.__doc__.startswith("Matrix4.to_float(self) -> Matrix4f")
    assert Matrix4f.identity.__doc__.startswith("Matrix4f.identity() -> Matrix4f")
