"""The module frame, exercised through the test-only module vesk._testing.frame_probe."""
import copy
import ctypes
import gc
import pathlib
import pickle
import sys
import traceback
import warnings
import weakref

import pytest

from vesk._testing import frame_probe as fp
from vesk._testing.frame_probe import DerivedProbe, Probe, Record

PROBE_SOURCE = pathlib.Path(__file__).parents[1] / "ext" / "frame_probe.cpp"


def call_raw(callable_, args, kwargs):
    """PyObject_Call without the interpreter's own keyword checks."""
    f = ctypes.pythonapi.PyObject_Call
    f.restype = ctypes.py_object
    f.argtypes = [ctypes.py_object, ctypes.py_object, ctypes.py_object]
    return f(callable_, args, kwargs)


# ------------------------------------------------------------------ module and classes


def test_module_identity():
    assert fp.__name__ == "vesk._testing.frame_probe"
    assert fp.__builtins__ is __import__("builtins")
    assert sys.modules["vesk._testing.frame_probe"] is fp
    assert Probe.__name__ == "Probe"
    assert Probe.__module__ == "vesk._testing.frame_probe"
    assert repr(Probe) == "<class 'vesk._testing.frame_probe.Probe'>"
    assert DerivedProbe.__mro__[1] is Probe


def test_vtable_capsule_published_for_classes_with_a_method_table():
    assert type(Probe.__dict__["__vtable__"]).__name__ == "PyCapsule"
    assert fp.import_vtable(Probe) != fp.import_vtable(DerivedProbe)
    assert "__vtable__" not in Record.__dict__


def test_docstrings_are_signatures():
    assert Probe.touch.__doc__ == "Probe.touch(self) -> void"
    assert Probe.value.__doc__ == "Probe.value(self)"
    assert fp.takes_probe.__doc__ == "takes_probe(Probe probe)"


# ------------------------------------------------------------------ argument parsing


@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((), {}, "__cinit__() takes exactly 2 positional arguments (0 given)"),
        (("a", 1, 2), {}, "__cinit__() takes exactly 2 positional arguments (3 given)"),
        (("a",), {}, "__cinit__() takes exactly 2 positional arguments (1 given)"),
        ((), {"count": 1}, "__cinit__() takes exactly 2 positional arguments (0 given)"),
        (("a",), {"cnt": 1}, "__cinit__() takes exactly 2 positional arguments (1 given)"),
        (("a", 1), {"bogus": 2}, "__cinit__() got an unexpected keyword argument 'bogus'"),
        (("a",), {"count": 1, "bogus": 2}, "__cinit__() got an unexpected keyword argument 'bogus'"),
        (("a", 1), {"name": "b"}, "__cinit__() got multiple values for keyword argument 'name'"),
    ],
)
def test_argument_messages(args, kwargs, message):
    with pytest.raises(TypeError) as e:
        Probe(*args, **kwargs)
    assert str(e.value) == message


def test_non_string_keyword():
    with pytest.raises(TypeError) as e:
        call_raw(Probe, ("a", 1), {1: 2})
    assert str(e.value) == "__cinit__() keywords must be strings"


def test_keywords_in_any_order_equal_positional():
    a = Probe("n", 3)
    b = Probe(count=3, name="n")
    assert (a.name, a.value()) == (b.name, b.value())


def test_class_checked_argument():
    p = Probe("a", 1)
    assert fp.takes_probe(p) is p
    assert fp.takes_probe(None) is None  # None passes a class check
    assert fp.takes_probe(probe=DerivedProbe("d", 1)).name == "d"
    with pytest.raises(TypeError) as e:
        fp.takes_probe(3)
    assert str(e.value) == (
        "Argument 'probe' has incorrect type (expected vesk._testing.frame_probe.Probe, got int)"
    )


def test_cannot_convert():
    assert fp.store_probe(None) is None
    with pytest.raises(TypeError) as e:
        fp.store_probe("x")
    assert str(e.value) == "Cannot convert str to vesk._testing.frame_probe.Probe"


@pytest.mark.parametrize(
    "args, kwargs, expected",
    [
        ((1,), {}, (1, None, None)),
        ((1, 2, 3), {}, (1, 2, 3)),
        ((), {"first": 1, "third": 3}, (1, None, 3)),
        ((1,), {"second": 2}, (1, 2, None)),
    ],
)
def test_optional_arguments(args, kwargs, expected):
    assert fp.optional_args(*args, **kwargs) == expected


@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((1, 2, 3, 4), {}, "optional_args() takes at most 3 positional arguments (4 given)"),
        ((), {}, "optional_args() takes at least 1 positional argument (0 given)"),
        ((), {"second": 2}, "optional_args() takes at least 1 positional argument (0 given)"),
        ((1,), {"fourth": 4}, "optional_args() got an unexpected keyword argument 'fourth'"),
        ((1,), {"first": 4}, "optional_args() got multiple values for keyword argument 'first'"),
    ],
)
def test_optional_argument_errors(args, kwargs, message):
    with pytest.raises(TypeError) as e:
        fp.optional_args(*args, **kwargs)
    assert str(e.value) == message


def test_required_instance_refuses_none():
    p = Probe("a", 1)
    assert fp.require_probe(p) is p
    with pytest.raises(TypeError) as e:
        fp.require_probe(None)
    assert str(e.value) == (
        "Argument 'probe' has incorrect type (expected vesk._testing.frame_probe.Probe, got NoneType)"
    )


def test_constructor_without_arguments_ignores_them():
    from vesk.opengl.render_state.side_ref_ops import SideRefOps

    assert SideRefOps(1, 2, extra=3).mask == -1


# ------------------------------------------------------------------ conversions


class IntLike:
    def __init__(self, v):
        self.v = v

    def __int__(self):
        return self.v


class MyInt(int):
    pass


class FloatLike:
    def __float__(self):
        return 2.5


@pytest.mark.parametrize(
    "kind, value, expected",
    [
        ("double", 1, 1.0),
        ("double", FloatLike(), 2.5),
        ("float", 0.1, 0.10000000149011612),
        ("int", 10.7, 10),
        ("int", -10.7, -10),
        ("int", True, 1),
        ("int", -(2**31), -(2**31)),
        ("int", IntLike(7), 7),
        ("GLuint", 2**32 - 1, 2**32 - 1),
        ("GLenum", 5126, 5126),
        ("GLboolean", 255, 255),
        ("bool", "x", True),
        ("bool", [], False),
    ],
)
def test_conversions(kind, value, expected):
    assert fp.convert(kind, value) == expected


@pytest.mark.parametrize(
    "kind, value, exc, message",
    [
        ("double", "x", TypeError, "must be real number, not str"),
        ("int", "x", TypeError, "an integer is required"),
        ("int", 2**31, OverflowError, "value too large to convert to int"),
        ("int", IntLike("x"), TypeError, "__int__ returned non-int (type str)"),
        ("GLuint", -1, OverflowError, "can't convert negative value to GLuint"),
        ("GLenum", -1, OverflowError, "can't convert negative value to GLenum"),
        ("GLboolean", -1, OverflowError, "can't convert negative value to GLboolean"),
        ("GLboolean", 256, OverflowError, "value too large to convert to GLboolean"),
        ("GLuint", 2**32, OverflowError, "value too large to convert to GLuint"),
        ("GLuint", 2**80, OverflowError, "value too large to convert to GLuint"),
        ("GLuint", None, TypeError, "an integer is required"),
    ],
)
def test_conversion_errors(kind, value, exc, message):
    with pytest.raises(exc) as e:
        fp.convert(kind, value)
    assert str(e.value) == message


def test_int_subclass_from_int_warns():
    with pytest.warns(DeprecationWarning) as w:
        assert fp.convert("int", IntLike(MyInt(5))) == 5
    assert str(w[0].message) == (
        "__int__ returned non-int (type MyInt).  The ability to return an instance of a strict "
        "subclass of int is deprecated, and may be removed in a future version of Python."
    )


def test_int_subclass_warning_as_error_raises():
    with warnings.catch_warnings():
        warnings.simplefilter("error", DeprecationWarning)
        with pytest.raises(DeprecationWarning):
            fp.convert("int", IntLike(MyInt(5)))


# ------------------------------------------------------------------ overridable methods


def test_method_table_call_runs_compiled_body():
    p = Probe("a", 1)
    assert p.call_touch() == 2
    assert p.call_value() == 2


def test_python_override_reached_through_method_table():
    calls = []

    class Sub(Probe):
        def touch(self):
            calls.append("override")
            super().touch()  # the wrapper skips the override: no recursion

        def value(self):
            return "overridden"

    s = Sub("a", 0)
    assert s.call_touch() == 1
    assert calls == ["override"]
    assert s.call_value() == "overridden"
    assert s.value() == "overridden"


def test_subclass_without_override_uses_builtin():
    class Plain(Probe):
        pass

    assert Plain("a", 4).call_value() == 4


def test_void_method_error_is_unraisable_and_caller_carries_on(unraisable, capfd):
    p = Probe(None, 5)
    assert p.call_touch() == 5  # the caller carried on, count unchanged
    assert len(unraisable) == 1
    u = unraisable[0]
    assert u.exc_type is ValueError
    assert str(u.exc_value) == "touch needs a name"
    assert u.object == "vesk._testing.frame_probe.Probe.touch"
    err = capfd.readouterr().err
    assert "ValueError: touch needs a name" in err
    assert "vesk._testing.frame_probe.Probe.touch" in err
    assert sys.last_type is ValueError  # recorded as the last error


def test_void_override_raising_is_reported(unraisable):
    class Bad(Probe):
        def touch(self):
            raise KeyError("from override")

    assert Bad("a", 1).call_touch() == 1
    assert [u.exc_type for u in unraisable] == [KeyError]
    assert unraisable[0].object == "vesk._testing.frame_probe.Probe.touch"


def test_system_exit_inside_void_method_does_not_end_the_process(unraisable, capfd):
    class Quitter(Probe):
        def touch(self):
            raise SystemExit(3)

    assert Quitter("a", 1).call_touch() == 1
    assert [u.exc_type for u in unraisable] == [SystemExit]
    assert "SystemExit: 3" in capfd.readouterr().err
    assert sys.last_type is SystemExit


def test_python_wrapper_of_void_method_returns_none(unraisable):
    assert Probe(None, 0).touch() is None
    assert len(unraisable) == 1


# ------------------------------------------------------------------ derived classes


def test_derived_construction_runs_base_first():
    del fp.construction_log[:]
    d = DerivedProbe("d", 2)
    assert fp.construction_log == ["Probe", "DerivedProbe"]
    assert d.extra_value() == "DerivedProbe"
    assert d.name == "d"


def test_derived_table_replaces_entry_in_place_and_keeps_inherited():
    d = DerivedProbe("d", 2)
    assert d.call_value() == 20  # redefined entry
    assert d.call_touch() == 3  # inherited entry


def test_derived_failing_base_construction_creates_nothing():
    del fp.construction_log[:]
    with pytest.raises(TypeError):
        DerivedProbe("d", "not a number")
    assert fp.construction_log == []


# ------------------------------------------------------------------ garbage collection


def test_reference_cycle_through_fields_is_collected():
    class Marker:
        pass

    m = Marker()
    p = Probe(m, 0)
    m.back = p
    w = weakref.ref(m)
    del m, p
    gc.collect()
    assert w() is None


# ------------------------------------------------------------------ tracebacks


def test_traceback_entry_names_dotted_function_file_and_line():
    with pytest.raises(RuntimeError) as e:
        fp.raise_here()
    last = traceback.extract_tb(e.value.__traceback__)[-1]
    assert last.name == "vesk._testing.frame_probe.raise_here"
    assert last.filename == "vesk\\_testing\\frame_probe.cpp"
    lines = PROBE_SOURCE.read_text().splitlines()
    assert "traceback line marker" in lines[last.lineno - 1]


def test_constructor_entry_ends_in_cinit():
    with pytest.raises(TypeError) as e:
        Probe()
    names = [f.name for f in traceback.extract_tb(e.value.__traceback__)]
    assert names[-1] == "vesk._testing.frame_probe.Probe.__cinit__"


def test_traceback_entries_are_reused():
    tbs = []
    for _ in range(2):
        try:
            fp.raise_here()
        except RuntimeError as e:
            tbs.append(e.__traceback__)
    codes = [traceback.walk_tb(t) for t in tbs]
    last = [list(c)[-1][0].f_code for c in codes]
    assert last[0] is last[1]


# ------------------------------------------------------------------ module init


def test_builtin_lookup():
    assert fp.get_builtin("len") is len
    with pytest.raises(NameError) as e:
        fp.get_builtin("no_such_builtin")
    assert str(e.value) == "name 'no_such_builtin' is not defined"


def test_version_check_warns_and_continues():
    running = "%d.%d" % sys.version_info[:2]
    with pytest.warns(RuntimeWarning) as w:
        fp.check_version("3.5", "vesk.some.module")
    assert str(w[0].message) == (
        f"compiletime version 3.5 of module 'vesk.some.module' does not match runtime version {running}"
    )
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        fp.check_version(running, "vesk.some.module")  # a match is silent
        with pytest.raises(RuntimeWarning):
            fp.check_version("3.5", "vesk.some.module")


def test_failed_init_adds_init_entry_and_raises():
    with pytest.raises(ValueError) as e:
        import vesk._testing.frame_probe_bad  # noqa: F401
    expected = Probe.__basicsize__
    stale = expected - ctypes.sizeof(ctypes.c_void_p)
    assert str(e.value) == (
        "vesk._testing.frame_probe.Probe has the wrong size, try recompiling. "
        f"Expected {expected}, got {stale}"
    )
    entries = traceback.extract_tb(e.value.__traceback__)
    names = [(f.name, f.filename) for f in entries]
    assert ("init vesk._testing.frame_probe_bad", "vesk\\_testing\\frame_probe_bad.cpp") in names
    assert ("vesk._testing.frame_probe", "vesk\\_testing\\frame_probe.hpp") in names
    assert "vesk._testing.frame_probe_bad" not in sys.modules


# ------------------------------------------------------------------ class and function import


def test_import_class_checks_size_both_ways():
    size = Probe.__basicsize__
    assert fp.import_class("vesk._testing.frame_probe", "Probe", size) is Probe
    for wrong in (size - 8, size + 8):
        with pytest.raises(ValueError) as e:
            fp.import_class("vesk._testing.frame_probe", "Probe", wrong)
        assert str(e.value) == (
            "vesk._testing.frame_probe.Probe has the wrong size, try recompiling. "
            f"Expected {size}, got {wrong}"
        )


def test_import_class_not_a_type():
    with pytest.raises(TypeError) as e:
        fp.import_class("vesk._testing.frame_probe", "construction_log", 8)
    assert str(e.value) == "vesk._testing.frame_probe.construction_log is not a type object"


def test_import_class_missing_module_or_name():
    with pytest.raises(ImportError):
        fp.import_class("vesk._testing.no_such_module", "X", 8)
    with pytest.raises(AttributeError):
        fp.import_class("vesk._testing.frame_probe", "NoSuchClass", 8)


def test_import_vtable_errors():
    with pytest.raises(KeyError):
        fp.import_vtable(Record)

    class Fake:
        __vtable__ = 5

    with pytest.raises(RuntimeError) as e:
        fp.import_vtable(Fake)
    assert str(e.value) == "invalid vtable found for imported type"


def test_c_function_export_and_import():
    assert type(fp.__capi__["probe_add"]).__name__ == "PyCapsule"
    assert fp.call_imported_add(2, 3) == 5
    assert fp.import_function("vesk._testing.frame_probe", "probe_add", "int (int, int)")


def test_c_function_import_errors():
    with pytest.raises(ImportError) as e:
        fp.import_function("vesk._testing.frame_probe", "probe_sub", "int (int, int)")
    assert str(e.value) == "vesk._testing.frame_probe does not export expected C function probe_sub"
    with pytest.raises(TypeError) as e:
        fp.import_function("vesk._testing.frame_probe", "probe_add", "double (double)")
    assert str(e.value) == (
        "C function vesk._testing.frame_probe.probe_add has wrong signature "
        "(expected double (double), got int (int, int))"
    )


# ------------------------------------------------------------------ pickling


@pytest.mark.parametrize("how", [pickle.dumps, copy.copy, copy.deepcopy])
def test_pickling_refused(how):
    with pytest.raises(TypeError) as e:
        how(Probe("a", 1))
    assert str(e.value) == "no default __reduce__ due to non-trivial __cinit__"


def test_setstate_refused():
    with pytest.raises(TypeError) as e:
        Probe("a", 1).__setstate__(())
    assert str(e.value) == "no default __reduce__ due to non-trivial __cinit__"


def make_record(gl_id, vertices):
    r = Record()
    r._gl_id = gl_id
    r._vertices = vertices
    return r


def test_record_reduce_form():
    r = make_record(7, b"abc")
    assert r.__reduce__() == (fp.unpickle_Record, (Record, 0xD66F295, (7, b"abc")))


def test_record_round_trip():
    r = pickle.loads(pickle.dumps(make_record(7, [1.0, 2.0])))
    assert type(r) is Record
    assert (r._gl_id, r._vertices) == (7, [1.0, 2.0])
    c = copy.deepcopy(make_record(3, (1,)))
    assert (c._gl_id, c._vertices) == (3, (1,))


class RecordSub(Record):
    pass


def test_record_subclass_keeps_its_dictionary():
    r = RecordSub()
    r._gl_id = 2
    r.extra = "kept"
    fn, args, state = r.__reduce__()
    assert args == (RecordSub, 0xD66F295, None)
    assert state == (2, None, {"extra": "kept"})
    back = pickle.loads(pickle.dumps(r))
    assert type(back) is RecordSub
    assert (back._gl_id, back.extra) == (2, "kept")


def test_unpickle_checks():
    with pytest.raises(pickle.PickleError) as e:
        fp.unpickle_Record(Record, 123, None)
    assert str(e.value) == "Incompatible checksums (123 vs 0xd66f295 = (_gl_id, _vertices))"
    with pytest.raises(TypeError) as e:
        fp.unpickle_Record(Record, 0xD66F295, 5)
    assert str(e.value) == "Expected tuple, got int"
    with pytest.raises(TypeError) as e:
        fp.unpickle_Record(Record, 0xD66F295)
    assert str(e.value) == "unpickle_Record() takes exactly 3 positional arguments (2 given)"
    fresh = fp.unpickle_Record(Record, 0xD66F295, None)
    assert (fresh._gl_id, fresh._vertices) == (0, None)


def test_setstate_restores_fields():
    r = Record()
    r.__setstate__((9, "v"))
    assert (r._gl_id, r._vertices) == (9, "v")


# ------------------------------------------------------------------ GL guard


def test_gl_guard_raises_without_context(gl_session):
    gl_session.close_test_gl_context()
    try:
        with pytest.raises(RuntimeError) as e:
            fp.gl_version()
        assert str(e.value) == "no current OpenGL context"
    finally:
        gl_session.create_test_gl_context()
    assert fp.gl_version().startswith("4.")
