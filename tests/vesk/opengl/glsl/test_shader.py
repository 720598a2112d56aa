"""Shader: include expansion and its source map, compilation and the messages
of a failed compile, and the shader query functions, on the hidden context."""
import ctypes
import os
import pickle
import subprocess
import sys
import textwrap
import uuid

import pytest

from vesk.opengl.glsl import shader as shader_module
from vesk.opengl.glsl.glsl_message import GlslException, GlslMessage
from vesk.opengl.glsl.shader import (Shader, get_shader_compile_status, get_shader_info_log,
                                     get_shader_parameter, load_shader_source)

GL_FRAGMENT_SHADER = 0x8B30
GL_VERTEX_SHADER = 0x8B31
VERSION = "#version 330\n"
FRAGMENT_MAIN = "out vec4 frag;\nvoid main() { frag = vec4(1.0); }\n"


def fragment(shaders, name, *lines):
    """A root file: #version, the given lines, then a complete main."""
    return shaders.write(name, VERSION + "".join(line + "\n" for line in lines) + FRAGMENT_MAIN)


def units(shader):
    return [(unit, index) for _, unit, index, _ in shader.source_map]


def raised(call):
    with pytest.raises(GlslException) as e:
        call()
    assert isinstance(e.value.message, GlslMessage)
    return e.value.message


# ----------------------------------------------------------------- expansion

@pytest.mark.parametrize("directive", [
    "#include_file inc.glsl",
    "#include_fileinc.glsl",
    '#include_file "inc.glsl"',
    "#include_file 'inc.glsl'",
    "#include_file 'inc.glsl\"",   # quotes need not balance
    "#include_file in\"c.gl'sl",     # and are removed wherever they stand
    "#include_file \t inc.glsl \t ",
])
def test_directive_spellings_name_the_same_file(gl, shaders, directive):
    inc = shaders.write("inc.glsl", "float a = 1.0;\n")
    root = fragment(shaders, "root.glsl", directive)
    s = Shader("root.glsl", GL_FRAGMENT_SHADER)
    assert s.source_map[1] == ("float a = 1.0;", inc, 0, [(root, 1)])


def test_three_line_root_including_two_lines(gl, shaders):
    inc = shaders.write("sub\\inc.glsl", "float a;\r\nfloat b;\n")
    root = shaders.write("root.glsl", "#version 330\n#include_file sub\\inc.glsl\n" + FRAGMENT_MAIN)
    s = Shader("root.glsl", GL_FRAGMENT_SHADER)
    assert s.source_file == root
    assert units(s)[:4] == [(root, 0), (inc, 0), (inc, 1), (root, 2)]
    assert s.source_map[1][3] == [(root, 1)] and s.source_map[1][3] is s.source_map[2][3]
    assert s.source_map[0][3] == [] and s.source_map[0][3] is s.source_map[3][3]
    assert s.source.split("\n") == [entry[0] for entry in s.source_map]
    assert s.source == "#version 330\nfloat a;\nfloat b;\n" + FRAGMENT_MAIN.rstrip("\n")


def test_empty_include_adds_nothing_but_takes_its_index(gl, shaders):
    shaders.write("empty.glsl", "")
    root = fragment(shaders, "root.glsl", "#include_file empty.glsl", "float after;")
    s = Shader("root.glsl", GL_FRAGMENT_SHADER)
    assert units(s)[:2] == [(root, 0), (root, 2)]
    assert s.source_map[1][0] == "float after;"


def test_whitespace_blank_lines_and_the_end_of_source(gl, shaders):
    root = shaders.write("root.glsl", "#version 330  \r\n\r\n\t\nfloat a; \t\r\r" + FRAGMENT_MAIN)
    s = Shader("root.glsl", GL_FRAGMENT_SHADER)
    texts = [entry[0] for entry in s.source_map]
    assert texts[:5] == ["#version 330", "", "", "float a;", ""]
    assert units(s)[:5] == [(root, i) for i in range(5)]
    assert s.source == "\n".join(texts) and s.source.endswith("vec4(1.0); }")


def test_reference_units_crlf_and_nesting(gl, shaders, refs):
    refs("test.sh.crlf", "float r0;\r\n\r\nfloat r2;  \r\n#include_reference test.sh.inner\r\n")
    refs("test.sh.lf", "float r0;\n\nfloat r2;  \n#include_reference test.sh.inner\n")
    refs("test.sh.inner", "float inner;")
    for name in ("test.sh.crlf", "test.sh.lf"):
        root = fragment(shaders, f"{name}.glsl", f'#include_reference "{name}"')
        s = Shader(f"{name}.glsl", GL_FRAGMENT_SHADER)
        assert s.source_map[1:5] == [
            ("float r0;", name, 0, [(root, 1)]),
            ("", name, 1, [(root, 1)]),
            ("float r2;", name, 2, [(root, 1)]),
            ("float inner;", "test.sh.inner", 0, [(root, 1), (name, 3)]),
        ]


def test_diamond_includes_are_not_cycles(gl, shaders):
    common = shaders.write("common.glsl", "#ifndef COMMON\n#define COMMON\nfloat c;\n#endif\n")
    a = shaders.write("a.glsl", "#include_file common.glsl\n")
    b = shaders.write("b.glsl", "#include_file common.glsl\n")
    root = fragment(shaders, "root.glsl", "#include_file a.glsl", "#include_file b.glsl")
    s = Shader("root.glsl", GL_FRAGMENT_SHADER)
    chains = [refs for _, unit, _, refs in s.source_map if unit == common]
    assert chains[0] == [(root, 1), (a, 0)] and chains[-1] == [(root, 2), (b, 0)]


def test_indented_directive_is_plain_text_and_fails_to_compile(gl, shaders, capsys):
    shaders.write("inc.glsl", "float a;\n")
    root = fragment(shaders, "root.glsl", "  #include_file inc.glsl  ")
    m = raised(lambda: Shader("root.glsl", GL_FRAGMENT_SHADER))
    assert (m.unit, m.line_index, m.kind) == (root, 1, "preprocessor error")
    out = capsys.readouterr().out
    assert "Illegal non-directive after #" in out


# ----------------------------------------------------------------- unresolved directives

def test_unresolved_file_in_an_included_file(gl, shaders):
    inc = shaders.write("inc.glsl", "float a;\nfloat b;\n#include_file missing.glsl\n")
    root = fragment(shaders, "root.glsl", "float r1;", "float r2;", "float r3;", "#include_file inc.glsl")
    m = raised(lambda: Shader("root.glsl", GL_FRAGMENT_SHADER))
    assert (m.parent_refs, m.source_file, m.output_line, m.unit, m.line_index) == \
        ([(root, 4)], root, 6, inc, 2)
    assert (m.kind, m.origin, m.text, m.raw_line) == \
        ("IncludeFileNotFound", "VESK", "missing.glsl was not found.", "#include_file missing.glsl\n")
    assert str(m) == f"{inc}:3: IncludeFileNotFound: missing.glsl was not found.\n  included from {root}:5"


@pytest.mark.parametrize("directive, name", [
    ('#include_file "inc.glsl" // the helpers', "inc.glsl // the helpers"),
    ("#include_file", ""),
    ("#include_file ../inc.glsl", "../inc.glsl"),
])
def test_names_that_do_not_resolve(gl, shaders, directive, name):
    shaders.write("inc.glsl", "float a;\n")
    root = fragment(shaders, "root.glsl", directive)
    m = raised(lambda: Shader("root.glsl", GL_FRAGMENT_SHADER))
    assert (m.kind, m.text, m.unit, m.line_index, m.raw_line) == \
        ("IncludeFileNotFound", f"{name} was not found.", root, 1, directive + "\n")


@pytest.mark.parametrize("text", [None, ""])
def test_empty_or_missing_reference_is_not_found(gl, shaders, refs, text):
    refs("test.sh.empty", text)
    root = fragment(shaders, "root.glsl", "#include_reference test.sh.empty")
    m = raised(lambda: Shader("root.glsl", GL_FRAGMENT_SHADER))
    assert (m.kind, m.text, m.unit, m.line_index, m.output_line) == \
        ("IncludeReferenceNotFound", "test.sh.empty was not found.", root, 1, 1)


def test_state_after_an_unresolved_directive(gl, shaders):
    class Keep(Shader):
        def _process_source(self):
            kept.append(self)
            super()._process_source()

    kept = []
    fragment(shaders, "root.glsl", "float a;", "#include_file missing.glsl")
    raised(lambda: Keep("root.glsl", GL_FRAGMENT_SHADER))
    s = kept[0]
    assert [e[0] for e in s.source_map] == ["#version 330", "float a;"]
    assert s.source == "" and s._gl_id == 0


# ----------------------------------------------------------------- cycles

def test_file_including_itself(gl, shaders):
    root = fragment(shaders, "root.glsl", "#include_file root.glsl")
    m = raised(lambda: Shader("root.glsl", GL_FRAGMENT_SHADER))
    assert (m.kind, m.unit, m.line_index, m.parent_refs) == ("IncludeCycle", root, 1, [])
    assert m.text == f"{root} includes itself: {root} -> {root}."


def test_cycle_through_a_reference(gl, shaders, refs):
    a = shaders.write("a.glsl", "float a;\n#include_reference test.sh.loop\n")
    refs("test.sh.loop", "float loop;\n#include_file a.glsl\n")
    root = fragment(shaders, "root.glsl", "#include_file a.glsl")
    m = raised(lambda: Shader("root.glsl", GL_FRAGMENT_SHADER))
    assert (m.kind, m.unit, m.line_index, m.parent_refs) == \
        ("IncludeCycle", "test.sh.loop", 1, [(root, 1), (a, 1)])
    assert m.text == f"{a} includes itself: {root} -> {a} -> test.sh.loop -> {a}."
    assert str(m).endswith(f"\n  included from {a}:2\n  included from {root}:2")


def test_runaway_override_is_a_recursion_error(gl, shaders):
    class Deeper(Shader):
        def _load_include_file(self, path):
            return ["#include_file inc.glsl\n"]

        def _process_include_file(self, src_info, src_lines, parent_refs):
            # Renames the unit and forgets the chain: no cycle check can see the loop.
            return super()._process_include_file(src_info + "'", src_lines, [])

    shaders.write("inc.glsl", "")
    fragment(shaders, "root.glsl", "#include_file inc.glsl")
    with pytest.raises(RecursionError):
        Deeper("root.glsl", GL_FRAGMENT_SHADER)


# ----------------------------------------------------------------- file errors

def test_io_errors_propagate_unchanged(gl, shaders, monkeypatch):
    from vesk import resource

    fragment(shaders, "root.glsl", "#include_file gone.glsl")
    gone = os.path.join(str(shaders.shaders), "gone.glsl")
    real = resource.get_shader_path
    monkeypatch.setattr(resource, "get_shader_path",
                        lambda name, **kw: gone if name == "gone.glsl" else real(name, **kw))
    with pytest.raises(FileNotFoundError) as e:
        Shader("root.glsl", GL_FRAGMENT_SHADER)
    assert e.value.filename == gone and e.value.errno == 2


def test_root_that_is_not_utf8(gl, shaders):
    shaders.write("latin1.glsl", "// caf\xe9\n".encode("latin-1"))
    with pytest.raises(UnicodeDecodeError):
        Shader("latin1.glsl", GL_FRAGMENT_SHADER)


def test_resolved_path_must_be_a_str(gl, monkeypatch):
    from vesk import resource

    monkeypatch.setattr(resource, "get_shader_path", lambda name: 42)
    with pytest.raises(TypeError) as e:
        Shader("x.glsl", GL_FRAGMENT_SHADER)
    assert str(e.value) == "Expected str, got int"


# ----------------------------------------------------------------- compilation

def test_compiled_shader_fields(gl, shaders):
    root = fragment(shaders, "root.glsl")
    s = Shader(source_file="root.glsl", shader_type=GL_FRAGMENT_SHADER)
    assert gl.glIsShader(s._gl_id)
    assert gl.glGetShaderiv(s._gl_id, gl.GL_COMPILE_STATUS) == 1
    assert gl.glGetShaderiv(s._gl_id, gl.GL_SHADER_TYPE) == GL_FRAGMENT_SHADER
    assert (s.source_file, s.shader_type, s.aux_dict) == (root, GL_FRAGMENT_SHADER, {})
    with pytest.raises(AttributeError):
        s.source = ""
    gl.glDeleteShader(s._gl_id)


def test_error_through_two_levels_of_includes(gl, shaders, refs, capsys):
    refs("test.sh.noise", "float noise(vec2 p) {\n  return p.x * undefined_scale;\n}\n")
    lib = shaders.write("lib\\lighting.glsl",
                        "// lighting\n#include_reference test.sh.noise\nfloat light() { return noise(vec2(1.0)); }\n")
    root = fragment(shaders, "root.glsl", "#define X 1", "#include_file lib\\lighting.glsl")
    m = raised(lambda: Shader("root.glsl", GL_FRAGMENT_SHADER))
    assert (m.unit, m.line_index, m.parent_refs) == ("test.sh.noise", 1, [(root, 2), (lib, 1)])
    assert (m.kind, m.origin) == ("error", "GLSL")
    assert m.text == "`undefined_scale' undeclared"
    assert str(m) == ("test.sh.noise:2: error: `undefined_scale' undeclared\n"
                      f"  included from {lib}:2\n  included from {root}:3")
    printed = eval(capsys.readouterr().out)  # every log line, in list notation
    assert len(printed) >= 2 and all("error" in line for line in printed)
    assert m.raw_line == printed[0] and printed[0].startswith("0:5(")


def test_all_log_lines_printed_exception_from_the_first_error(gl, shaders, capsys):
    root = shaders.write("root.glsl", "#version 330\nout vec4 c;\nvoid main() {\n  float x;\n"
                                      "  c = vec4(x);\n  c = vec4(y);\n}\n")
    m = raised(lambda: Shader("root.glsl", GL_FRAGMENT_SHADER))
    out = capsys.readouterr().out
    lines = eval(out)  # the printed list, in list notation
    assert out == repr(lines) + "\n" and len(lines) == 3
    assert "warning" in lines[0] and "error" in lines[1]
    assert m.raw_line == lines[1] and (m.unit, m.line_index) == (root, 5)


def test_warnings_are_silent(gl, shaders, capfd):
    # Unique text: Mesa's shader cache keeps no log for a shader it has seen.
    shaders.write("root.glsl", "#version 330\n#extension GL_vesk_none : warn\nout vec4 c;\n"
                               f"// {uuid.uuid4()}\nvoid main() {{ float x; c = vec4(x); }}\n")
    s = Shader("root.glsl", GL_FRAGMENT_SHADER)
    assert "warning" in get_shader_info_log(s._gl_id)
    assert capfd.readouterr() == ("", "")
    gl.glDeleteShader(s._gl_id)


def test_non_ascii_comment_uploaded_whole(gl, shaders):
    text = "#version 330\n// Größe → ∞, ok\n" + FRAGMENT_MAIN
    shaders.write("root.glsl", text)
    s = Shader("root.glsl", GL_FRAGMENT_SHADER)
    uploaded = len(s.source.encode("utf-8"))
    assert uploaded > len(s.source)
    # GL counts the terminating zero.
    assert get_shader_parameter(s._gl_id, gl.GL_SHADER_SOURCE_LENGTH) == uploaded + 1
    assert gl.glGetShaderSource(s._gl_id).decode("utf-8") == s.source
    gl.glDeleteShader(s._gl_id)


def test_failed_compile_deletes_its_shader_object(gl, shaders, capsys):
    class Spy(Shader):
        def _process_errors(self):
            seen.append(self._gl_id)
            super()._process_errors()

    seen = []
    shaders.write("bad.glsl", "#version 330\nvoid main() { nope(); }\n")
    raised(lambda: Spy("bad.glsl", GL_FRAGMENT_SHADER))
    assert seen[0] != 0 and not gl.glIsShader(seen[0])


def test_failed_compile_with_empty_log_still_raises(gl, shaders, capsys):
    fragment(shaders, "root.glsl")
    s = Shader("root.glsl", GL_FRAGMENT_SHADER)
    fresh = gl.glCreateShader(GL_FRAGMENT_SHADER)  # never compiled: status 0, log ""
    # _gl_id follows the object header and the method-table pointer.
    ctypes.c_uint32.from_address(id(s) + 3 * ctypes.sizeof(ctypes.c_void_p)).value = fresh
    assert s._gl_id == fresh
    m = raised(s._process_errors)
    assert (m.kind, m.text, m.unit, m.source_file) == \
        ("error", "compilation failed without an info log", None, s.source_file)
    assert capsys.readouterr().out == "[]\n"
    gl.glDeleteShader(fresh)


@pytest.mark.parametrize("shader_type, error, message", [
    (-1, OverflowError, "can't convert negative value to GLenum"),
    (2 ** 32, OverflowError, "value too large to convert to GLenum"),
    (0x1234, ValueError, "glCreateShader failed for shader type 0x1234"),
])
def test_bad_shader_types(gl, shaders, shader_type, error, message):
    fragment(shaders, "root.glsl")
    with pytest.raises(error) as e:
        Shader("root.glsl", shader_type)
    assert str(e.value) == message


def test_constructor_arguments():
    with pytest.raises(TypeError) as e:
        Shader("x.glsl")
    assert str(e.value) == "__cinit__() takes exactly 2 positional arguments (1 given)"
    with pytest.raises(TypeError) as e:
        Shader("x.glsl", shader_kind=1)
    assert str(e.value) == "__cinit__() takes exactly 2 positional arguments (1 given)"


def test_pickling_refused(gl, shaders):
    fragment(shaders, "root.glsl")
    s = Shader("root.glsl", GL_FRAGMENT_SHADER)
    with pytest.raises(TypeError) as e:
        pickle.dumps(s)
    assert str(e.value) == "no default __reduce__ due to non-trivial __cinit__"
    gl.glDeleteShader(s._gl_id)


# ----------------------------------------------------------------- overrides

def test_overrides_are_reached_from_the_method_table(gl, shaders, refs):
    class Virtual(Shader):
        def _load_include_file(self, path):
            calls.append(("load", os.path.basename(path)))
            return ["float generated;\n"]

        def _process_include_file(self, src_info, src_lines, parent_refs):
            calls.append(("process", os.path.basename(src_info), len(src_lines)))
            super()._process_include_file(src_info, src_lines, parent_refs)

    calls = []
    shaders.write("inc.glsl", "float never_read;\n")
    refs("test.sh.r", "float r;")
    fragment(shaders, "root.glsl", "#include_file inc.glsl", "#include_reference test.sh.r")
    s = Virtual("root.glsl", GL_FRAGMENT_SHADER)
    assert calls == [("process", "root.glsl", 5), ("load", "inc.glsl"), ("process", "inc.glsl", 1),
                     ("process", "test.sh.r", 1)]
    assert [e[0] for e in s.source_map][1:3] == ["float generated;", "float r;"]
    gl.glDeleteShader(s._gl_id)


def test_compiled_and_python_expansion_agree(gl, shaders, refs):
    class Same(Shader):
        def _process_include_file(self, src_info, src_lines, parent_refs):
            super()._process_include_file(src_info, src_lines, parent_refs)

    shaders.write("a.glsl", "float a;  \n#include_reference test.sh.b\n\n")
    refs("test.sh.b", "float b;\r\n")
    fragment(shaders, "root.glsl", "#include_file a.glsl", "// é")
    compiled = Shader("root.glsl", GL_FRAGMENT_SHADER)
    python = Same("root.glsl", GL_FRAGMENT_SHADER)
    assert compiled.source_map == python.source_map and compiled.source == python.source


def test_method_docstrings():
    assert Shader._process_errors.__doc__ == "Shader._process_errors(self)"
    assert Shader._process_source.__doc__ == "Shader._process_source(self)"
    assert Shader._process_include_file.__doc__ == \
        "Shader._process_include_file(self, src_info, src_lines, parent_refs)"
    assert Shader._load_include_file.__doc__ == "Shader._load_include_file(self, include_file_path)"
    assert type(Shader.__dict__["__vtable__"]).__name__ == "PyCapsule"


# ----------------------------------------------------------------- module functions

def test_query_functions(gl):
    s = gl.glCreateShader(GL_VERTEX_SHADER)
    try:
        assert get_shader_compile_status(s) == 0  # never compiled
        assert get_shader_info_log(s) == ""
        assert get_shader_parameter(s, gl.GL_SHADER_TYPE) == GL_VERTEX_SHADER
        load_shader_source(s, "#version 330\nvoid main() { gl_Position = vec4(0.0); }")
        gl.glCompileShader(s)
        assert get_shader_compile_status(s) == 1
        assert get_shader_parameter(shader=s, parameter=gl.GL_COMPILE_STATUS) == 1
    finally:
        gl.glDeleteShader(s)


@pytest.mark.parametrize("call, error, message", [
    (lambda: get_shader_info_log(987654), ValueError, "987654 is not the name of a shader object"),
    (lambda: get_shader_compile_status(-1), OverflowError, "can't convert negative value to GLuint"),
    (lambda: get_shader_parameter(0, 0x8B81), ValueError, "0 is not the name of a shader object"),
    (lambda: load_shader_source(1, 5), TypeError,
     "Argument 'source' has incorrect type (expected str, got int)"),
])
def test_query_argument_errors(gl, call, error, message):
    with pytest.raises(error) as e:
        call()
    assert str(e.value) == message


def test_unknown_parameter(gl):
    s = gl.glCreateShader(GL_VERTEX_SHADER)
    try:
        with pytest.raises(ValueError) as e:
            get_shader_parameter(s, 0x1234)
        assert str(e.value) == "0x1234 is not a shader parameter"
    finally:
        gl.glDeleteShader(s)


def test_load_shader_source_reports_instead_of_raising(gl, unraisable, capfd):
    s = gl.glCreateShader(GL_VERTEX_SHADER)
    try:
        assert load_shader_source(s, None) is None
        assert len(unraisable) == 1
        assert unraisable[0].object == "vesk.opengl.glsl.shader.load_shader_source"
        assert str(unraisable[0].exc_value) == "shader source must be str, not NoneType"
        assert "TypeError: shader source must be str, not NoneType" in capfd.readouterr().err
        assert get_shader_parameter(s, gl.GL_SHADER_SOURCE_LENGTH) == 0
    finally:
        gl.glDeleteShader(s)


def test_exports_and_docstrings():
    capi = shader_module.__capi__
    sigs = {name: repr(cap) for name, cap in capi.items()}
    assert set(sigs) == {"load_shader_source", "get_shader_parameter", "get_shader_info_log",
                         "get_shader_compile_status"}
    assert '"void (GLuint, PyObject *)"' in sigs["load_shader_source"]
    assert '"int (GLuint, GLenum)"' in sigs["get_shader_parameter"]
    assert '"PyObject *(GLuint)"' in sigs["get_shader_info_log"]
    assert '"int (GLuint)"' in sigs["get_shader_compile_status"]
    assert load_shader_source.__doc__ == "load_shader_source(GLuint shader, str source) -> void"
    assert get_shader_parameter.__doc__ == "get_shader_parameter(GLuint shader, GLenum parameter) -> int"
    assert get_shader_info_log.__doc__ == "get_shader_info_log(GLuint shader) -> str"
    assert get_shader_compile_status.__doc__ == "get_shader_compile_status(GLuint shader) -> int"


def test_without_a_context():
    code = textwrap.dedent("""
        from vesk.opengl.glsl.shader import get_shader_info_log
        try:
            get_shader_info_log(1)
        except RuntimeError as e:
            print(e)
    """)
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                         env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)), check=True)
    assert out.stdout == "no current OpenGL context\n"
