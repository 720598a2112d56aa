"""GlslMessage, GlslException and the driver log-line parser."""
import pickle

import pytest

from vesk.opengl.glsl import glsl_message
from vesk.opengl.glsl.glsl_message import GlslException, GlslMessage, create_glsl_message_from_string

ROOT = "/data/shaders/root.glsl"
LIB = "/data/shaders/lib.glsl"
CHAIN_LIB = [(ROOT, 1)]
CHAIN_REF = [(ROOT, 1), (LIB, 0)]
# Output lines 1..4 of an expanded shader: root line 0, then lib.glsl
# (included at root index 1), whose line 0 includes the reference "noise".
SOURCE_MAP = [
    ("#version 330", ROOT, 0, []),
    ("float noise(vec2 p) {", "noise", 0, CHAIN_REF),
    ("  return p.x + q; }", "noise", 1, CHAIN_REF),
    ("vec4 shade() { return vec4(noise(vec2(0.0))); }", LIB, 1, CHAIN_LIB),
]


def message(**over):
    values = dict(parent_refs=[], source_file=ROOT, output_line=3, unit=ROOT, line_index=2,
                  kind="error", origin="GLSL", text="`y' undeclared", raw_line="0:4(1): error: x")
    values.update(over)
    return GlslMessage(**values)


# ----------------------------------------------------------------- GlslMessage

def test_fields_in_order_and_read_only():
    m = GlslMessage(CHAIN_LIB, ROOT, 7, LIB, 3, "IncludeFileNotFound", "VESK", "a was not found.",
                    "#include_file a\n")
    assert (m.parent_refs, m.source_file, m.output_line, m.unit, m.line_index, m.kind, m.origin,
            m.text, m.raw_line) == (CHAIN_LIB, ROOT, 7, LIB, 3, "IncludeFileNotFound", "VESK",
                                    "a was not found.", "#include_file a\n")
    assert m.parent_refs is CHAIN_LIB
    with pytest.raises(AttributeError):
        m.kind = "warning"
    assert repr(m) == ("GlslMessage(kind='IncludeFileNotFound', unit='/data/shaders/lib.glsl', "
                       "line_index=3, text='a was not found.')")


@pytest.mark.parametrize("over, text", [
    ({}, "/data/shaders/root.glsl:3: error: `y' undeclared"),
    ({"unit": "noise", "line_index": 1, "parent_refs": CHAIN_REF},
     "noise:2: error: `y' undeclared\n"
     "  included from /data/shaders/lib.glsl:1\n"
     "  included from /data/shaders/root.glsl:2"),
    ({"unit": None, "line_index": -1}, "/data/shaders/root.glsl: error: `y' undeclared"),
    ({"unit": None, "line_index": -1, "source_file": None}, "error: `y' undeclared"),
    ({"kind": ""}, "/data/shaders/root.glsl:3: `y' undeclared"),
])
def test_str_reads_like_a_compiler_diagnostic(over, text):
    assert str(message(**over)) == text


def test_constructor_checks():
    with pytest.raises(TypeError) as e:
        GlslMessage([], ROOT, 0, ROOT, 0, "error", "GLSL", "t")
    assert str(e.value) == "__cinit__() takes exactly 9 positional arguments (8 given)"
    with pytest.raises(TypeError) as e:
        message(output_line="3")
    assert str(e.value) == "an integer is required"
    with pytest.raises(OverflowError):
        message(line_index=2 ** 40)


def test_message_refuses_pickling():
    with pytest.raises(TypeError) as e:
        pickle.dumps(message())
    assert str(e.value) == "no default __reduce__ due to non-trivial __cinit__"


# ----------------------------------------------------------------- GlslException

def test_exception_carries_the_message():
    m = message()
    e = GlslException(m)
    assert isinstance(e, Exception) and e.message is m and e.args == (m,)
    assert str(e) == str(m)
    assert GlslException(message=m).message is m
    with pytest.raises(GlslException) as caught:
        raise e
    assert caught.value.message is m
    with pytest.raises(TypeError) as err:
        GlslException()
    assert str(err.value) == "__cinit__() takes exactly 1 positional argument (0 given)"


def test_exception_subclass():
    class Mine(GlslException):
        def __init__(self, message):
            super().__init__(message)
            self.seen = True

    m = message()
    e = Mine(m)
    assert e.message is m and e.seen and str(e) == str(m)


# ----------------------------------------------------------------- the parser

def real_mesa_log(gl, source):
    s = gl.glCreateShader(gl.GL_FRAGMENT_SHADER)
    try:
        gl.glShaderSource(s, source)
        gl.glCompileShader(s)
        return gl.glGetShaderInfoLog(s).decode().splitlines()
    finally:
        gl.glDeleteShader(s)


def test_real_mesa_log_lines_are_placed(gl):
    source = "\n".join(entry[0] for entry in SOURCE_MAP) + "\nout vec4 c;\nvoid main() { c = shade(); }"
    lines = real_mesa_log(gl, source)
    assert lines[0].startswith("0:3(")  # Mesa: "0:3(16): error: `q' undeclared"
    m = create_glsl_message_from_string(lines[0], ROOT, SOURCE_MAP)
    assert (m.unit, m.line_index, m.output_line, m.parent_refs) == ("noise", 1, 2, CHAIN_REF)
    assert m.parent_refs is CHAIN_REF
    assert (m.kind, m.origin, m.source_file, m.raw_line) == ("error", "GLSL", ROOT, lines[0])
    assert m.text == "`q' undeclared"
    assert str(m) == ("noise:2: error: `q' undeclared\n"
                      "  included from /data/shaders/lib.glsl:1\n"
                      "  included from /data/shaders/root.glsl:2")


def test_real_mesa_preprocessor_error(gl):
    lines = real_mesa_log(gl, "#version 330\n  #include_file x\nvoid main() {}")
    m = create_glsl_message_from_string(lines[0], ROOT, SOURCE_MAP)
    assert (m.kind, m.unit, m.line_index) == ("preprocessor error", "noise", 0)
    assert m.text == "Illegal non-directive after #"


@pytest.mark.parametrize("line, kind, text, unit, line_index", [
    # NVIDIA
    ('0(3) : error C1008: undefined variable "q"', "error", 'C1008: undefined variable "q"',
     "noise", 1),
    ("0(4) : warning C7022: unrecognized profile specifier", "warning",
     "C7022: unrecognized profile specifier", LIB, 1),
    ("0(2) : fatal error C9999: *** exception during compilation ***", "fatal error",
     "C9999: *** exception during compilation ***", "noise", 0),
    # glslang, AMD, Intel on Windows, Apple
    ("ERROR: 0:3: 'q' : undeclared identifier", "error", "'q' : undeclared identifier", "noise", 1),
    ("WARNING: 0:1: '' : extension not supported", "warning", "'' : extension not supported", ROOT, 0),
    # Mesa, with trailing blanks
    ("0:4(9): warning: `x' used uninitialized  ", "warning", "`x' used uninitialized", LIB, 1),
])
def test_recorded_driver_formats(line, kind, text, unit, line_index):
    m = create_glsl_message_from_string(line, ROOT, SOURCE_MAP)
    assert (m.kind, m.text, m.unit, m.line_index, m.output_line) == \
        (kind, text, unit, line_index, next(i for i, e in enumerate(SOURCE_MAP) if e[1:3] == (unit, line_index)))
    assert m.origin == "GLSL" and m.raw_line == line


@pytest.mark.parametrize("line, kind, text", [
    ("ERROR: 1 compilation errors.  No code generated.", "error",
     "1 compilation errors.  No code generated."),
    ("error: linking with uncompiled/unspecialized shader", "error",
     "linking with uncompiled/unspecialized shader"),
    ("something the parser does not know", "", "something the parser does not know"),
    ("0:9(1): error: beyond the source", "error", "beyond the source"),  # line 9 of a 4-line map
    ("0:0(0): error: line zero", "error", "line zero"),
    ("", "", ""),
])
def test_lines_without_a_place(line, kind, text):
    m = create_glsl_message_from_string(line, ROOT, SOURCE_MAP)
    assert (m.kind, m.text, m.unit, m.line_index, m.output_line, m.parent_refs) == \
        (kind, text, None, -1, -1, [])
    assert str(m) == ROOT + ": " + (kind + ": " if kind else "") + text


def test_parser_argument_errors():
    with pytest.raises(TypeError) as e:
        create_glsl_message_from_string(b"0:1(1): error: x", ROOT, SOURCE_MAP)
    assert str(e.value) == "log line must be str, not bytes"
    with pytest.raises(TypeError):
        create_glsl_message_from_string("0:1(1): error: x", ROOT, [("only", "two")])
    # A map is optional for lines that name no place.
    assert create_glsl_message_from_string("0:1(1): error: x", ROOT, None).unit is None


def test_docstring_and_export():
    assert create_glsl_message_from_string.__doc__ == \
        "create_glsl_message_from_string(str line, source_file, source_map)"
    cap = glsl_message.__capi__["create_glsl_message_from_string"]
    assert "PyObject *(PyObject *, PyObject *, PyObject *)" in repr(cap)
