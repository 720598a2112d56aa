"""Vector2/2f/3/3f/4/4f: construction, components, operators, methods,
indexing, the buffer protocol and pickling."""
import copy
import math
import pickle

import numpy as np
import pytest

from linvec.vector2 import Vector2
from linvec.vector2f import Vector2f
from linvec.vector3 import Vector3
from linvec.vector3f import Vector3f
from linvec.vector4 import Vector4
from linvec.vector4f import Vector4f

# class, component names, numpy dtype, conversion target of to_float
VECTORS = [
    (Vector2, "xy", np.float64, Vector2f),
    (Vector2f, "xy", np.float32, None),
    (Vector3, "xyz", np.float64, Vector3f),
    (Vector3f, "xyz", np.float32, None),
    (Vector4, "xyzw", np.float64, Vector4f),
    (Vector4f, "xyzw", np.float32, None),
]
IDS = [v[0].__name__ for v in VECTORS]


def values(n, start=1.0):
    return [start + i for i in range(n)]


def rounded(dtype, xs):
    """What the class stores for xs: the values in its element type."""
    return [float(dtype(x)) for x in xs]


@pytest.fixture(params=VECTORS, ids=IDS)
def kind(request):
    return request.param


def test_class_names_and_modules(kind):
    cls, *_ = kind
    assert cls.__module__ == "linvec." + cls.__name__.lower()
    assert repr(cls) == f"<class 'linvec.{cls.__name__.lower()}.{cls.__name__}'>"


def test_defaults_positional_and_keywords(kind):
    cls, names, dtype, _ = kind
    n = len(names)
    assert list(cls()) == [0.0] * n
    v = cls(*values(n))
    assert [getattr(v, c) for c in names] == values(n)
    kw = cls(**{names[-1]: 7})
    assert getattr(kw, names[-1]) == 7.0 and getattr(kw, names[0]) == 0.0


@pytest.mark.parametrize(
    "args, kwargs, exc, message",
    [
        ((1, 2, 3, 4, 5), {}, TypeError, "__cinit__() takes at most {n} positional arguments (5 given)"),
        ((), {"q": 1}, TypeError, "__cinit__() got an unexpected keyword argument 'q'"),
        ((1,), {"x": 1}, TypeError, "__cinit__() got multiple values for keyword argument 'x'"),
        (("a",), {}, TypeError, "must be real number, not str"),
        ((None,), {}, TypeError, "must be real number, not NoneType"),
    ],
)
def test_constructor_errors(kind, args, kwargs, exc, message):
    cls, names, *_ = kind
    with pytest.raises(exc) as info:
        cls(*args, **kwargs)
    assert str(info.value) == message.format(n=len(names))


def test_constructor_error_traceback_names_the_constructor(kind):
    cls, *_ = kind
    with pytest.raises(TypeError) as info:
        cls("a")
    entry = info.traceback[-1]
    assert entry.name == f"linvec.{cls.__name__.lower()}.{cls.__name__}.__cinit__"
    assert str(entry.path) == f"linvec\\{cls.__name__.lower()}.cpp"


def test_properties_set_and_refuse_delete(kind):
    cls, names, dtype, _ = kind
    v = cls()
    setattr(v, names[0], 0.1)
    assert getattr(v, names[0]) == float(dtype(0.1))
    with pytest.raises(TypeError, match="must be real number"):
        setattr(v, names[0], "x")
    with pytest.raises(NotImplementedError, match="__del__"):
        delattr(v, names[0])


def test_repr_round_trips(kind):
    cls, names, dtype, _ = kind
    v = cls(*rounded(dtype, [0.1, -2.5, 1e20, 3.0][: len(names)]))
    assert repr(v).startswith(cls.__name__ + "(")
    assert eval(repr(v), {cls.__name__: cls}) == v


def test_single_precision_repr_is_shortest():
    assert repr(Vector3f(0.1, 0.2, 1.0)) == "Vector3f(0.1, 0.2, 1.0)"
    assert repr(Vector3(0.1, 0.2, 1.0)) == "Vector3(0.1, 0.2, 1.0)"
    assert repr(Vector2f(float("inf"), float("nan"))) == "Vector2f(inf, nan)"


def test_equality_and_hash(kind):
    cls, names, *_ = kind
    n = len(names)
    a, b = cls(*values(n)), cls(*values(n))
    assert a == b and not (a != b)
    assert a != cls(*values(n, 2.0))
    assert a != tuple(values(n))
    with pytest.raises(TypeError, match="unhashable"):
        hash(a)
    with pytest.raises(TypeError):
        a < b  # noqa: B015


@pytest.mark.parametrize(
    "op, expected",
    [
        (lambda a, b: a + b, lambda x, y: x + y),
        (lambda a, b: a - b, lambda x, y: x - y),
        (lambda a, b: a * b, lambda x, y: x * y),
        (lambda a, b: a / b, lambda x, y: x / y),
    ],
    ids=["add", "sub", "mul", "div"],
)
def test_componentwise_operators(kind, op, expected):
    cls, names, dtype, _ = kind
    n = len(names)
    xs, ys = values(n), values(n, 0.5)
    r = op(cls(*xs), cls(*ys))
    assert type(r) is cls
    assert list(r) == [float(dtype(expected(dtype(x), dtype(y)))) for x, y in zip(xs, ys)]


@pytest.mark.parametrize("scalar", [2, 2.5, np.float64(2.5), np.float32(0.5), True])
def test_scalar_operators(kind, scalar):
    cls, names, dtype, _ = kind
    xs = values(len(names))
    v = cls(*xs)
    s = dtype(float(scalar))
    for r, want in [
        (v * scalar, [x * s for x in map(dtype, xs)]),
        (scalar * v, [x * s for x in map(dtype, xs)]),
        (v / scalar, [x / s for x in map(dtype, xs)]),
    ]:
        assert type(r) is cls
        assert list(r) == [float(w) for w in want]


def test_unary_and_dot_operator(kind):
    cls, names, *_ = kind
    xs = values(len(names))
    v = cls(*xs)
    assert list(-v) == [-x for x in xs]
    assert +v == v and +v is not v
    assert v @ v == pytest.approx(sum(x * x for x in xs))


@pytest.mark.parametrize(
    "op",
    [lambda a: a + 1, lambda a: 1 - a, lambda a: a * "s", lambda a: a + (1, 2), lambda a: a @ 2],
    ids=["add-number", "rsub-number", "mul-str", "add-tuple", "matmul-number"],
)
def test_unsupported_operands(kind, op):
    cls, names, *_ = kind
    with pytest.raises(TypeError, match="unsupported operand|can't multiply"):
        op(cls(*values(len(names))))


def test_mixed_classes_do_not_combine():
    with pytest.raises(TypeError, match="unsupported operand"):
        Vector3(1, 2, 3) + Vector3f(1, 2, 3)
    assert Vector3(1, 2, 3) != Vector3f(1, 2, 3)


@pytest.mark.parametrize("divisor", [0, 0.0, "zero-component"])
def test_division_by_zero(kind, divisor):
    cls, names, *_ = kind
    v = cls(*values(len(names)))
    d = cls(*([1.0] * (len(names) - 1) + [0.0])) if divisor == "zero-component" else divisor
    with pytest.raises(ZeroDivisionError) as info:
        v / d
    assert str(info.value) == "float division"
    assert info.traceback[-1].name.endswith(f"{cls.__name__}.__truediv__")


def test_magnitude_dot_normalized(kind):
    cls, names, dtype, _ = kind
    n = len(names)
    xs = values(n)
    v = cls(*xs)
    mag = math.sqrt(sum(x * x for x in xs))
    tol = 1e-6 if dtype is np.float32 else 1e-15
    assert v.magnitude() == pytest.approx(mag, rel=tol)
    assert v.dot(cls(*values(n, 0.0))) == pytest.approx(sum(x * (x - 1) for x in xs))
    u = v.normalized()
    assert type(u) is cls
    assert u.magnitude() == pytest.approx(1.0, rel=tol)
    assert list(u) == pytest.approx([x / mag for x in xs], rel=tol)
    with pytest.raises(ZeroDivisionError, match="^float division$"):
        cls().normalized()


def test_dot_argument_check(kind):
    cls, names, *_ = kind
    v = cls()
    for bad, got in [(None, "NoneType"), ((1, 2), "tuple")]:
        with pytest.raises(TypeError) as info:
            v.dot(bad)
        assert str(info.value) == (
            f"Argument 'other' has incorrect type (expected {cls.__module__}.{cls.__name__}, got {got})"
        )


@pytest.mark.parametrize("cls", [Vector3, Vector3f])
def test_cross(cls):
    x, y, z = cls(1, 0, 0), cls(0, 1, 0), cls(0, 0, 1)
    assert x.cross(y) == z and y.cross(z) == x and z.cross(x) == y
    assert list(cls(1, 2, 3).cross(cls(4, 5, 6))) == list(np.cross([1, 2, 3], [4, 5, 6]).astype(float))


def test_to_float_rounds_each_component(kind):
    cls, names, dtype, target = kind
    if target is None:
        assert not hasattr(cls, "to_float")
        return
    xs = [0.1, 1e7 + 0.1, -1e-30, 3.0][: len(names)]
    f = cls(*xs).to_float()
    assert type(f) is target
    assert list(f) == [float(np.float32(x)) for x in xs]


def test_indexing_and_iteration(kind):
    cls, names, *_ = kind
    n = len(names)
    v = cls(*values(n))
    assert len(v) == n
    assert [v[i] for i in range(n)] == values(n)
    assert v[-1] == values(n)[-1]
    assert tuple(v) == tuple(values(n))
    v[0] = 9
    assert getattr(v, names[0]) == 9.0
    with pytest.raises(IndexError, match=f"{cls.__name__} index out of range"):
        v[n]
    with pytest.raises(IndexError):
        v[n] = 1
    with pytest.raises(TypeError, match="doesn't support item deletion"):
        del v[0]


def test_buffer_shares_the_components(kind):
    cls, names, dtype, _ = kind
    n = len(names)
    v = cls(*values(n))
    a = np.asarray(v)
    assert a.shape == (n,) and a.dtype == dtype
    assert a.tolist() == values(n)
    a[0] = 42  # writable, shares memory
    assert v[0] == 42.0
    m = memoryview(v)
    assert m.format == np.dtype(dtype).char and m.itemsize == np.dtype(dtype).itemsize
    assert m.contiguous and not m.readonly


def test_numpy_scalars_defer_to_the_vector(kind):
    cls, names, dtype, _ = kind
    v = cls(*values(len(names)))
    r = np.float64(2) * v
    assert type(r) is cls and list(r) == [2 * x for x in values(len(names))]


@pytest.mark.parametrize("protocol", [0, 2, pickle.HIGHEST_PROTOCOL])
def test_pickle_round_trip(kind, protocol):
    cls, names, *_ = kind
    v = cls(*values(len(names)))
    w = pickle.loads(pickle.dumps(v, protocol))
    assert type(w) is cls and w == v
    assert copy.copy(v) == v and copy.copy(v) is not v


def test_pickle_keeps_subclass_and_dict(kind):
    cls, names, *_ = kind
    Sub = type("Sub", (cls,), {"__module__": __name__})
    globals()["Sub"] = Sub
    try:
        s = Sub(*values(len(names)))
        s.tag = "t"
        r = pickle.loads(pickle.dumps(s))
        assert type(r) is Sub and r == s and r.tag == "t"
    finally:
        del globals()["Sub"]


def test_unpickle_checksum_mismatch(kind):
    cls, names, *_ = kind
    mod = __import__(cls.__module__, fromlist=["_"])
    fn = getattr(mod, "unpickle_" + cls.__name__)
    fields = ", ".join(names)
    import zlib

    want = f"Incompatible checksums (5 vs 0x{zlib.crc32(fields.encode()):x} = ({fields}))"
    with pytest.raises(pickle.PickleError) as info:
        fn(cls, 5, None)
    assert str(info.value) == want


def test_single_precision_arithmetic():
    a = Vector3f(0.1, 0.2, 0.3)
    s = a + a
    assert list(s) == [float(np.float32(0.1) * 2), float(np.float32(0.2) * 2), float(np.float32(0.3) * 2)]
    assert Vector3f(1e-45, 0, 0) * 0.5 == Vector3f(0, 0, 0)  # flushed in single precision


def test_docstrings():
    assert Vector3.magnitude.__doc__.startswith("Vector3.magnitude(self) -> double")
    assert Vector3f.dot.__doc__.startswith("Vector3f.dot(self, Vector3f other) -> float")
    assert Vector3.to_float.__doc__.startswith("Vector3.to_float(self) -> Vector3f")
    assert Vector3.__doc__.startswith("Vector3(x=0.0, y=0.0, z=0.0)")
