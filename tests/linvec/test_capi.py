"""The C-level contract other modules bind to: layouts and sizes, method
tables, exported functions and their signature texts, read through a
test-only module that includes the linvec headers."""
import importlib

import numpy as np
import pytest

from linvec import ds_math
from linvec.matrix4 import Matrix4
from linvec.matrix4f import Matrix4f
from linvec.transform import Transform
from linvec.vector3 import Vector3
from linvec.vector3f import Vector3f
from vesk._testing import frame_probe
from vesk._testing import linvec_probe as probe

CLASSES = {
    "Vector2": "linvec.vector2",
    "Vector2f": "linvec.vector2f",
    "Vector3": "linvec.vector3",
    "Vector3f": "linvec.vector3f",
    "Vector4": "linvec.vector4",
    "Vector4f": "linvec.vector4f",
    "Matrix4": "linvec.matrix4",
    "Matrix4f": "linvec.matrix4f",
    "Quaternion": "linvec.quaternion",
    "Quaternionf": "linvec.quaternionf",
    "Transform": "linvec.transform",
    "Rectanglef": "linvec.rectanglef",
    "Rectanglei": "linvec.rectanglei",
    "float2": "linvec.math_structs",
    "float3": "linvec.math_structs",
    "double_single3": "linvec.ds_math",
    "DoubleSingle": "linvec.ds_math",
    "Vector3ds": "linvec.ds_math",
    "Vector4ds": "linvec.ds_math",
    "Matrix4ds": "linvec.ds_math",
}
WITH_VTABLE = {"Vector3", "Vector3f", "Matrix4"}

EXPORTS = {
    "linvec.vector2": {"make": "PyObject *(double, double)"},
    "linvec.vector2f": {"make": "PyObject *(float, float)"},
    "linvec.vector3": {"make": "PyObject *(double, double, double)"},
    "linvec.vector3f": {"make": "PyObject *(float, float, float)"},
    "linvec.vector4": {"make": "PyObject *(double, double, double, double)"},
    "linvec.vector4f": {"make": "PyObject *(float, float, float, float)"},
    "linvec.matrix4": {
        "make": "PyObject *(double const *)",
        "_create_translation": "PyObject *(double, double, double)",
        "_create_scale": "PyObject *(double, double, double)",
        "_create_from_quaternion": "PyObject *(double, double, double, double)",
    },
    "linvec.matrix4f": {"make": "PyObject *(float const *)"},
    "linvec.quaternion": {"make": "PyObject *(double, double, double, double)"},
    "linvec.quaternionf": {"make": "PyObject *(float, float, float, float)"},
    "linvec.transform": {"make": "PyObject *(PyObject *, PyObject *)"},
    "linvec.rectanglef": {"make": "PyObject *(float, float, float, float)"},
    "linvec.rectanglei": {"make": "PyObject *(int32_t, int32_t, int32_t, int32_t)"},
    "linvec.math_structs": {"make_float2": "PyObject *(struct float2)", "make_float3": "PyObject *(struct float3)"},
    "linvec.ds_math": {
        "to_double_single3": "struct double_single3 (struct Vector3 *)",
        "to_matrix4ds": "PyObject *(struct Matrix4 *)",
        "make_double_single3": "PyObject *(struct double_single3)",
    },
}


def cls_of(name):
    return getattr(importlib.import_module(CLASSES[name]), name)


@pytest.mark.parametrize("name", sorted(CLASSES))
def test_instance_sizes_match_the_headers(name):
    assert cls_of(name).__basicsize__ == probe.sizes()[name]


@pytest.mark.parametrize("name", sorted(CLASSES))
def test_method_tables_only_where_declared(name):
    cls = cls_of(name)
    has = "__vtable__" in cls.__dict__
    assert has == (name in WITH_VTABLE)
    if has:
        assert frame_probe.import_vtable(cls) != 0


@pytest.mark.parametrize("module", sorted(EXPORTS))
def test_exported_functions_and_signatures(module):
    mod = importlib.import_module(module)
    capi = mod.__capi__
    assert set(capi) == set(EXPORTS[module])
    for name, sig in EXPORTS[module].items():
        assert frame_probe.import_function(module, name, sig) != 0


def test_import_checks_size_and_signature():
    with pytest.raises(ValueError) as info:
        frame_probe.import_class("linvec.vector3", "Vector3", 40)
    assert str(info.value) == "linvec.vector3.Vector3 has the wrong size, try recompiling. Expected 48, got 40"
    with pytest.raises(TypeError) as info:
        frame_probe.import_function("linvec.ds_math", "to_matrix4ds", "PyObject *(PyObject *)")
    assert str(info.value) == (
        "C function linvec.ds_math.to_matrix4ds has wrong signature "
        "(expected PyObject *(PyObject *), got PyObject *(struct Matrix4 *))"
    )
    probe.import_again()  # binding twice is harmless


@pytest.mark.parametrize(
    "name, args, want",
    [
        ("add", (Vector3(1, 2, 3), Vector3(10, 20, 30)), Vector3(11, 22, 33)),
        ("sub", (Vector3(1, 2, 3), Vector3(10, 20, 30)), Vector3(-9, -18, -27)),
        ("mul", (Vector3(1, 2, 3), 0.5), Vector3(0.5, 1, 1.5)),
        ("dot", (Vector3(1, 2, 3), Vector3(4, 5, 6)), 32.0),
        ("magnitude", (Vector3(3, 4, 12),), 13.0),
        ("to_float", (Vector3(0.1, 0.2, 0.3),), Vector3f(0.1, 0.2, 0.3)),
    ],
)
def test_vector3_table(name, args, want):
    r = probe.vector3_call(name, *args)
    assert r == want and type(r) is type(want)


@pytest.mark.parametrize(
    "name, args, want",
    [
        ("mul", (Vector3f(1, 2, 3), 0.1), Vector3f(*(np.float32(x) * np.float32(0.1) for x in (1, 2, 3)))),
        ("normalized", (Vector3f(-1, 1, 0),), Vector3f(*(np.float32(x) / np.sqrt(np.float32(2)) for x in (-1, 1, 0)))),
        ("add", (Vector3f(1, 2, 3), Vector3f(1, 1, 1)), Vector3f(2, 3, 4)),
        ("sub", (Vector3f(1, 2, 3), Vector3f(1, 1, 1)), Vector3f(0, 1, 2)),
        ("dot", (Vector3f(1, 2, 3), Vector3f(4, 5, 6)), 32.0),
        ("magnitude", (Vector3f(3, 4, 12),), 13.0),
    ],
)
def test_vector3f_table(name, args, want):
    r = probe.vector3f_call(name, *args)
    assert r == want and type(r) is type(want)


def test_vector3f_table_normalized_zero():
    with pytest.raises(ZeroDivisionError, match="^float division$"):
        probe.vector3f_call("normalized", Vector3f())


def test_matrix4_table():
    a, b = Matrix4.create_translation(1, 2, 3), Matrix4.create_scale(2)
    ab = probe.matrix4_multiply(a, b)
    assert ab == a @ b and ab != b @ a
    assert ab.transform_point(Vector3(1, 1, 1)) == Vector3(3, 4, 5)  # scale first, then translate
    f = probe.matrix4_to_float(Matrix4([0.1] * 16))
    assert type(f) is Matrix4f and f == Matrix4f([0.1] * 16)


@pytest.mark.parametrize(
    "args, want",
    [
        (("translation", 1, 2, 3), Matrix4.create_translation(1, 2, 3)),
        (("scale", 1, 2, 3), Matrix4.create_scale(1, 2, 3)),
        (("quaternion", 0, 0, 1, 1), Matrix4.create_rotation(Vector3(0, 0, 1), np.pi / 2)),
    ],
)
def test_exported_factories(args, want):
    r = probe.create(*args)
    assert type(r) is Matrix4
    np.testing.assert_allclose(np.asarray(r), np.asarray(want), atol=1e-15)


def test_exported_quaternion_factory_zero():
    with pytest.raises(ZeroDivisionError, match="^float division$"):
        probe.create("quaternion", 0, 0, 0, 0)


@pytest.mark.parametrize(
    "kind, args, fields",
    [
        ("Vector2", (1, 2), (1, 2)),
        ("Vector2f", (1, 2), (1, 2)),
        ("Vector3", (1, 2, 3), (1, 2, 3)),
        ("Vector3f", (1, 2, 3), (1, 2, 3)),
        ("Vector4", (1, 2, 3, 4), (1, 2, 3, 4)),
        ("Vector4f", (1, 2, 3, 4), (1, 2, 3, 4)),
        ("Quaternion", (1, 2, 3, 4), (1, 2, 3, 4)),
        ("Quaternionf", (1, 2, 3, 4), (1, 2, 3, 4)),
        ("Rectanglef", (1, 2, 3, 4), (1, 2, 3, 4)),
        ("Rectanglei", (1, 2, 3, 4), (1, 2, 3, 4)),
        ("float2", (1, 2), (1, 2)),
        ("float3", (1, 2, 3), (1, 2, 3)),
        ("double_single3", (1, 2, 3, 4), (1, 2, 3, 4, 0, 0)),
        ("Matrix4", (1,), tuple(range(16))),
        ("Matrix4", (), tuple(np.eye(4).ravel())),
        ("Matrix4f", (1,), tuple(range(16))),
        ("Matrix4f", (), tuple(np.eye(4).ravel())),
    ],
)
def test_exported_constructors_and_layouts(kind, args, fields):
    o = probe.make(kind, *args)
    assert type(o) is cls_of(kind)
    assert probe.fields(o) == tuple(float(f) for f in fields)


def test_matrix_layout_is_column_major():
    m = Matrix4.create_translation(5, 6, 7)
    assert probe.fields(m)[12:15] == (5.0, 6.0, 7.0)
    assert probe.fields(m) == tuple(np.asarray(m).ravel())


def test_subclass_instances_share_the_layout():
    Sub = type("Sub", (Vector3,), {})
    s = Sub(1, 2, 3)
    s.extra = 1
    assert probe.fields(s) == (1, 2, 3)
    assert probe.vector3_call("add", s, s) == Vector3(2, 4, 6)


def test_to_double_single3_by_value():
    v = Vector3(1e7 + 0.1, 6378137.25, -0.1)
    d = ds_math.to_double_single3(v)
    assert probe.to_double_single3(v) == tuple(d.hi) + tuple(d.lo)


def test_to_matrix4ds_fields():
    m = Matrix4.create_translation(6378137.5, 1e7 + 0.1, 0)
    ds = probe.to_matrix4ds(m)
    hi, lo = probe.fields(ds)
    assert hi is ds.hi and lo is ds.lo
    assert type(hi) is Matrix4f and type(lo) is Matrix4f
    assert probe.fields(hi)[12] + probe.fields(lo)[12] == 6378137.5
    assert ds == ds_math.to_matrix4ds(m)


def test_pair_fields_read_directly():
    v = ds_math.Vector3ds(Vector3(1e7 + 0.1, 0, 0))
    hi, lo = probe.fields(v)
    assert (hi, lo) == (v.hi, v.lo) and hi is v.hi


def test_transform_fields_are_the_held_objects():
    t = Transform(Vector3(1, 2, 3))
    p, m = probe.fields(t)
    assert p is t.position and m is t.matrix
    assert type(p) is Vector3 and type(m) is Matrix4


@pytest.mark.parametrize(
    "args, position, matrix",
    [
        ((), Vector3(), Matrix4()),
        ((Vector3(1, 2, 3),), Vector3(1, 2, 3), Matrix4.create_translation(1, 2, 3)),
        ((None, Matrix4.create_scale(2)), Vector3(), Matrix4.create_scale(2)),
    ],
)
def test_exported_transform_constructor(args, position, matrix):
    t = probe.make_transform(*args)
    assert type(t) is Transform and t.position == position and t.matrix == matrix


def test_exported_transform_constructor_checks_types():
    with pytest.raises(TypeError) as info:
        probe.make_transform(Vector3f())
    assert str(info.value) == (
        "Argument 'position' has incorrect type (expected linvec.vector3.Vector3, got linvec.vector3f.Vector3f)"
    )
