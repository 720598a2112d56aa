"""The registry of named texts for "#include_reference"."""
import pytest

from vesk.opengl.glsl import glsl_reference_include
from vesk.opengl.glsl.glsl_reference_include import GlslReferenceInclude


def test_set_get_replace_remove(refs):
    assert GlslReferenceInclude.get_include_text("test.ri.a") is None
    refs("test.ri.a", "float a;\n")
    refs("test.ri.b", "")
    assert GlslReferenceInclude.get_include_text("test.ri.a") == "float a;\n"
    assert GlslReferenceInclude.get_include_text("test.ri.b") == ""
    assert {"test.ri.a", "test.ri.b"} <= set(GlslReferenceInclude.get_include_names())
    GlslReferenceInclude.set_include_text(name="test.ri.a", text="float b;")
    assert GlslReferenceInclude.get_include_text("test.ri.a") == "float b;"
    GlslReferenceInclude.set_include_text("test.ri.a", None)
    assert GlslReferenceInclude.get_include_text("test.ri.a") is None
    GlslReferenceInclude.set_include_text("test.ri.never", None)  # forgetting nothing is fine
    # Instances see the same registry.
    assert GlslReferenceInclude(1, 2).get_include_text("test.ri.b") == ""


@pytest.mark.parametrize("call, message", [
    (lambda: GlslReferenceInclude.get_include_text(3), "include name must be str, not int"),
    (lambda: GlslReferenceInclude.set_include_text(b"x", "t"), "include name must be str, not bytes"),
    (lambda: GlslReferenceInclude.set_include_text("x", 1.5),
     "include text must be str or None, not float"),
    (lambda: GlslReferenceInclude.set_include_text("x"),
     "set_include_text() takes exactly 2 positional arguments (1 given)"),
])
def test_bad_arguments(call, message):
    with pytest.raises(TypeError) as e:
        call()
    assert str(e.value) == message


def test_docstrings_and_export():
    assert GlslReferenceInclude.set_include_text.__doc__ == \
        "GlslReferenceInclude.set_include_text(str name, str text)"
    assert GlslReferenceInclude.get_include_text.__doc__ == "GlslReferenceInclude.get_include_text(str name)"
    cap = glsl_reference_include.__capi__["get_include_text"]
    assert type(cap).__name__ == "PyCapsule" and "PyObject *(PyObject *)" in repr(cap)
