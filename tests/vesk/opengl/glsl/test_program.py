"""Program: linking, uniforms set by GL type and read back from GL, uniform
blocks bound to buffers and seen by a draw, and the release of GL objects."""
import os
import subprocess
import sys
import textwrap

import numpy as np
import pytest

from linvec.matrix4 import Matrix4
from linvec.matrix4f import Matrix4f
from linvec.vector2 import Vector2
from linvec.vector2f import Vector2f
from linvec.vector3 import Vector3
from linvec.vector3f import Vector3f
from linvec.vector4 import Vector4
from linvec.vector4f import Vector4f
from vesk.opengl.glsl import program as program_module
from vesk.opengl.glsl.glsl_message import GlslException
from vesk.opengl.glsl.program import (Program, Uniform, UniformBlock, create_uniform_block_member,
                                      create_uniform_from_type, glew_enum_to_name)
from vesk.opengl.glsl.shader import Shader

GL_GEOMETRY_SHADER = 0x8DD9

VS = """#version 330
uniform float u_f;
uniform int u_i;
uniform uint u_u;
uniform bool u_b;
uniform vec2 u_v2;
uniform vec3 u_v3;
uniform vec4 u_v4;
uniform ivec3 u_iv3;
uniform bvec2 u_bv2;
uniform mat3 u_m3;
uniform mat4 u_m4;
uniform float u_arr[3];
out vec4 v_color;
void main() {
    float s = u_f + float(u_i) + float(u_u) + (u_b ? 1.0 : 0.0) + u_v2.x + u_v3.y + u_arr[0]
              + u_arr[2] + float(u_iv3.z) + (u_bv2.y ? 1.0 : 0.0) + u_m3[1][2];
    v_color = u_v4 * s;
    gl_Position = u_m4 * vec4(0.0, 0.0, 0.0, 1.0);
    gl_PointSize = 1.0;
}
"""
FS = """#version 330
uniform sampler2D u_tex;
uniform vec4 u_color;
layout(std140) uniform ColorBlock { vec4 block_color; float block_scale; mat4 block_m; };
in vec4 v_color;
out vec4 frag;
void main() {
    // The tiny term keeps every uniform active without changing the colour.
    frag = u_color + block_color * block_scale + 1e-30 * (v_color + texture(u_tex, vec2(0.5)) + block_m[0]);
}
"""
GS = """#version 330
layout(points) in;
layout(points, max_vertices = 1) out;
in vec4 v_color[];
out vec4 g_color;
void main() { g_color = v_color[0]; gl_Position = gl_in[0].gl_Position; EmitVertex(); }
"""
FS_FROM_GS = """#version 330
in vec4 g_color;
out vec4 frag;
void main() { frag = g_color; }
"""
NO_MAIN_FS = "#version 330\nout vec4 frag;\nvoid helper() { frag = vec4(1.0); }\n"


@pytest.fixture
def files(shaders):
    for name, text in (("p\\vs.glsl", VS), ("p\\fs.glsl", FS), ("p\\gs.glsl", GS),
                       ("p\\fs_gs.glsl", FS_FROM_GS), ("p\\no_main_fs.glsl", NO_MAIN_FS)):
        shaders.write(name, text)
    return shaders


@pytest.fixture
def program(gl, files):
    return Program("p\\vs.glsl", "p\\fs.glsl", None)


def read_uniform(gl, program, uniform, kind, count):
    out = np.zeros(16, {"f": np.float32, "i": np.int32, "u": np.uint32}[kind])
    getter = {"f": gl.glGetUniformfv, "i": gl.glGetUniformiv, "u": gl.glGetUniformuiv}[kind]
    getter(program._gl_id, uniform.location, out)
    return out[:count].tolist()


# ----------------------------------------------------------------- linking

def test_stages_and_mappings(gl, program, files):
    assert gl.glIsProgram(program._gl_id)
    assert gl.glGetProgramiv(program._gl_id, gl.GL_LINK_STATUS) == 1
    assert isinstance(program.vertex_shader, Shader) and program.geometry_shader is None
    assert program.vertex_shader.source_file == files.path("p\\vs.glsl")
    assert program.fragment_shader.shader_type == gl.GL_FRAGMENT_SHADER
    assert sorted(program.uniforms) == sorted(
        ["u_f", "u_i", "u_u", "u_b", "u_v2", "u_v3", "u_v4", "u_iv3", "u_bv2", "u_m3", "u_m4",
         "u_arr", "u_tex", "u_color"])  # block members are not uniforms of their own
    assert list(program.uniform_blocks) == ["ColorBlock"]
    with pytest.raises(TypeError):
        program.uniforms["u_f"] = None  # a read-only view
    with pytest.raises(KeyError):
        program.uniforms["u_missing"]
    u = program.uniforms["u_arr"]
    assert (u.name, u.type, u.type_name, u.size, u.program) == \
        ("u_arr", gl.GL_FLOAT, "float[3]", 3, program._gl_id)
    assert u.location == gl.glGetUniformLocation(program._gl_id, "u_arr")
    assert repr(program.uniforms["u_v4"]).startswith("<Uniform 'u_v4' vec4 location=")


def test_pickling_refused(gl, program):
    import pickle

    for obj in (program, program.uniforms["u_f"], program.uniform_blocks["ColorBlock"]):
        with pytest.raises(TypeError) as e:
            pickle.dumps(obj)
        assert str(e.value) == "no default __reduce__ due to non-trivial __cinit__"


def test_geometry_stage(gl, files):
    p = Program("p\\vs.glsl", "p\\fs_gs.glsl", "p\\gs.glsl")
    assert p.geometry_shader.shader_type == GL_GEOMETRY_SHADER
    assert gl.glGetProgramiv(p._gl_id, gl.GL_ATTACHED_SHADERS) == 3
    assert Program(vertex_file="p\\vs.glsl", fragment_file="p\\fs.glsl").geometry_shader is None


def test_link_failure(gl, files):
    with pytest.raises(GlslException) as e:
        Program("p\\vs.glsl", "p\\no_main_fs.glsl", None)
    m = e.value.message
    assert (m.kind, m.origin, m.unit, m.line_index, m.parent_refs) == ("LinkError", "GLSL", None, -1, [])
    assert "main" in m.text and m.text == m.raw_line.strip()
    assert str(e.value) == "LinkError: " + m.text


def test_compile_failure_of_a_stage(gl, files, capsys):
    files.write("p\\bad_fs.glsl", "#version 330\nvoid main() { nope(); }\n")
    with pytest.raises(GlslException) as e:
        Program("p\\vs.glsl", "p\\bad_fs.glsl", None)
    assert e.value.message.unit == files.path("p\\bad_fs.glsl") and e.value.message.line_index == 1


def test_release_deletes_program_and_shaders(gl, files):
    p = Program("p\\vs.glsl", "p\\fs.glsl", None)
    names = (p._gl_id, p.vertex_shader._gl_id, p.fragment_shader._gl_id)
    kept_uniform = p.uniforms["u_color"]
    kept_block = p.uniform_blocks["ColorBlock"]
    del p
    assert not gl.glIsProgram(names[0])
    assert not gl.glIsShader(names[1]) and not gl.glIsShader(names[2])
    with pytest.raises(RuntimeError) as e:
        kept_uniform.value = (1, 2, 3, 4)
    assert str(e.value) == "uniform 'u_color' belongs to a released program"
    with pytest.raises(RuntimeError) as e:
        kept_block.bind(None)
    assert str(e.value) == "uniform block 'ColorBlock' belongs to a released program"


def test_other_context_current(gl, gl_session, files):
    p = Program("p\\vs.glsl", "p\\fs.glsl", None)
    u = p.uniforms["u_f"]
    gl_session.close_test_gl_context()
    try:
        with pytest.raises(RuntimeError) as e:
            u.value = 1.0
        assert str(e.value) == "the OpenGL context of uniform 'u_f' is not current"
        del p  # forgets its names: no context to delete them in
    finally:
        gl_session.create_test_gl_context()


# ----------------------------------------------------------------- uniform values

@pytest.mark.parametrize("name, value, kind, expected", [
    ("u_f", 2.5, "f", [2.5]),
    ("u_f", 3, "f", [3.0]),
    ("u_f", np.float32(0.25), "f", [0.25]),
    ("u_i", -7, "i", [-7]),
    ("u_i", np.int64(12), "i", [12]),
    ("u_u", 4000000000, "u", [4000000000]),
    ("u_b", True, "i", [1]),
    ("u_b", 0, "i", [0]),
    ("u_tex", 5, "i", [5]),
    ("u_v2", Vector2(1.5, -2.0), "f", [1.5, -2.0]),
    ("u_v2", Vector2f(0.5, 0.25), "f", [0.5, 0.25]),
    ("u_v2", (3, 4), "f", [3.0, 4.0]),
    ("u_v3", Vector3(1.0, 2.0, 3.0), "f", [1.0, 2.0, 3.0]),
    ("u_v3", Vector3f(-1.0, 0.5, 8.0), "f", [-1.0, 0.5, 8.0]),
    ("u_v3", np.array([7, 8, 9], np.float32), "f", [7.0, 8.0, 9.0]),
    ("u_v4", Vector4(1.0, 2.0, 3.0, 4.0), "f", [1.0, 2.0, 3.0, 4.0]),
    ("u_v4", Vector4f(0.1, 0.2, 0.3, 0.4), "f", [np.float32(x) for x in (0.1, 0.2, 0.3, 0.4)]),
    ("u_v4", [1, 2.5, 3, 4], "f", [1.0, 2.5, 3.0, 4.0]),
    ("u_iv3", (1, -2, 3), "i", [1, -2, 3]),
    ("u_bv2", (True, 0), "i", [1, 0]),
    ("u_m3", [float(i) for i in range(9)], "f", [float(i) for i in range(9)]),
    ("u_m3", [[0, 1, 2], [3, 4, 5], [6, 7, 8]], "f", [float(i) for i in range(9)]),
    ("u_m4", Matrix4f([float(i) for i in range(16)]), "f", [float(i) for i in range(16)]),
    ("u_m4", Matrix4([i / 3 for i in range(16)]), "f", [np.float32(i / 3) for i in range(16)]),
    ("u_m4", list(range(16)), "f", [float(i) for i in range(16)]),
    ("u_arr", [1.0, 2.0, 3.0], "f", [1.0]),  # element 0 at the array's location
])
def test_values_read_back_from_gl(gl, program, name, value, kind, expected):
    u = program.uniforms[name]
    gl.glUseProgram(0)
    u.value = value
    assert gl.glGetIntegerv(gl.GL_CURRENT_PROGRAM) == 0  # set without binding the program
    assert read_uniform(gl, program, u, kind, len(expected)) == expected
    got = u.value  # read back through the uniform itself
    got = list(got) if isinstance(got, tuple) else [got]
    assert got[:len(expected)] == expected


def test_matrix_is_column_major(gl, program):
    m = Matrix4f.identity()
    m[3] = (5.0, 6.0, 7.0, 1.0)  # column 3: the translation
    program.uniforms["u_m4"].value = m
    got = read_uniform(gl, program, program.uniforms["u_m4"], "f", 16)
    assert got[12:15] == [5.0, 6.0, 7.0]


def test_array_values(gl, program):
    u = program.uniforms["u_arr"]
    u.value = [1.0, 2.0, 3.0]
    u.value = (9.0, 8.0)  # a shorter sequence sets the first elements
    assert u.value == (9.0, 8.0, 3.0)
    for i, expected in enumerate((9.0, 8.0, 3.0)):
        loc = gl.glGetUniformLocation(program._gl_id, f"u_arr[{i}]")
        out = np.zeros(1, np.float32)
        gl.glGetUniformfv(program._gl_id, loc, out)
        assert out[0] == expected


@pytest.mark.parametrize("name, value, error, message", [
    ("u_f", "1.0", TypeError, "uniform 'u_f' of type float cannot be set from str"),
    ("u_f", None, TypeError, "uniform 'u_f' of type float cannot be set from NoneType"),
    ("u_i", 1.5, TypeError, "uniform 'u_i' of type int cannot be set from float"),
    ("u_i", 2 ** 31, OverflowError, "uniform 'u_i' of type int cannot hold 2147483648"),
    ("u_u", -1, OverflowError, "uniform 'u_u' of type uint cannot hold -1"),
    ("u_b", "yes", TypeError, "uniform 'u_b' of type bool cannot be set from str"),
    ("u_tex", -1, ValueError,
     "uniform 'u_tex' of type sampler2D takes a unit from 0 to 2147483647, not -1"),
    ("u_tex", 0.0, TypeError, "uniform 'u_tex' of type sampler2D cannot be set from float"),
    ("u_v3", Vector2(1.0, 2.0), TypeError,
     "uniform 'u_v3' of type vec3 cannot be set from linvec.vector2.Vector2 of length 2"),
    ("u_v3", (1.0, 2.0), TypeError, "uniform 'u_v3' of type vec3 cannot be set from tuple of length 2"),
    ("u_v3", "abc", TypeError, "uniform 'u_v3' of type vec3 cannot be set from str"),
    ("u_v4", (1, 2, None, 4), TypeError, "uniform 'u_v4' of type vec4 cannot be set from tuple (item 2: NoneType)"),
    ("u_iv3", Vector3f(1, 2, 3), TypeError,
     "uniform 'u_iv3' of type ivec3 cannot be set from linvec.vector3f.Vector3f (item 0: float)"),
    ("u_m4", Vector4f(1, 2, 3, 4), TypeError,
     "uniform 'u_m4' of type mat4 cannot be set from linvec.vector4f.Vector4f (column 0: float)"),
    ("u_m4", list(range(15)), TypeError, "uniform 'u_m4' of type mat4 cannot be set from list of length 15"),
    ("u_m3", [[0, 1, 2], [3, 4], [6, 7, 8]], TypeError,
     "uniform 'u_m3' of type mat3 cannot be set from list (column 1 of length 2)"),
    ("u_m3", Matrix4f.identity(), TypeError,
     "uniform 'u_m3' of type mat3 cannot be set from linvec.matrix4f.Matrix4f"),
    ("u_arr", 1.0, TypeError, "uniform 'u_arr' of type float[3] cannot be set from float"),
    ("u_arr", [1.0, 2.0, 3.0, 4.0], TypeError,
     "uniform 'u_arr' of type float[3] cannot be set from list of length 4"),
])
def test_values_that_do_not_fit(gl, program, name, value, error, message):
    u = program.uniforms[name]
    before = u.value
    with pytest.raises(error) as e:
        u.value = value
    assert str(e.value) == message
    assert u.value == before  # nothing was set


def test_value_cannot_be_deleted(gl, program):
    with pytest.raises(NotImplementedError):
        del program.uniforms["u_f"].value


# ----------------------------------------------------------------- uniform blocks

class Buffer:
    """Any object with a _gl_id names its GL buffer."""

    def __init__(self, gl_id):
        self._gl_id = gl_id


def make_buffer(gl, data):
    name = int(gl.glGenBuffers(1))
    gl.glBindBuffer(gl.GL_UNIFORM_BUFFER, name)
    gl.glBufferData(gl.GL_UNIFORM_BUFFER, data.nbytes, data, gl.GL_STATIC_DRAW)
    gl.glBindBuffer(gl.GL_UNIFORM_BUFFER, 0)
    return name


def draw_point(gl, program):
    gl.glViewport(0, 0, 1, 1)
    gl.glClearColor(0, 0, 0, 0)
    gl.glClear(gl.GL_COLOR_BUFFER_BIT)
    vao = gl.glGenVertexArrays(1)
    gl.glBindVertexArray(vao)
    gl.glUseProgram(program._gl_id)
    gl.glDrawArrays(gl.GL_POINTS, 0, 1)
    gl.glUseProgram(0)
    gl.glBindVertexArray(0)
    gl.glDeleteVertexArrays(1, [vao])
    return list(gl.glReadPixels(0, 0, 1, 1, gl.GL_RGBA, gl.GL_UNSIGNED_BYTE))


def test_block_layout(gl, program):
    b = program.uniform_blocks["ColorBlock"]
    assert isinstance(b, UniformBlock)
    assert (b.name, b.index, b.binding, b.data_size, b.program) == ("ColorBlock", 0, 0, 96, program._gl_id)
    binding = np.zeros(1, np.int32)
    gl.glGetActiveUniformBlockiv(program._gl_id, 0, gl.GL_UNIFORM_BLOCK_BINDING, binding)
    assert binding[0] == b.binding
    members = {name: (m.type, m.offset, m.size, m.array_stride, m.matrix_stride)
               for name, m in b.members.items()}
    assert members == {"block_color": (gl.GL_FLOAT_VEC4, 0, 1, 0, 0),
                       "block_scale": (gl.GL_FLOAT, 16, 1, 0, 0),
                       "block_m": (gl.GL_FLOAT_MAT4, 32, 1, 0, 16)}


def test_bound_block_and_uniforms_reach_the_draw(gl, program):
    ubo = make_buffer(gl, np.array([0.2, 0.4, 0.6, 1.0, 0.5] + [0.0] * 19, np.float32))
    try:
        program.uniform_blocks["ColorBlock"].bind(Buffer(ubo))
        assert gl.glGetIntegeri_v(gl.GL_UNIFORM_BUFFER_BINDING, 0) == ubo
        program.uniforms["u_color"].value = Vector4f(0.4, 0.0, 0.0, 0.5)
        program.uniforms["u_m4"].value = Matrix4f.identity()
        r, g, b, a = draw_point(gl, program)
        # u_color + block_color * block_scale = (0.5, 0.2, 0.3, 1.0)
        assert (abs(r - 128) <= 1, abs(g - 51) <= 1, abs(b - 77) <= 1, a) == (True, True, True, 255)
        program.uniform_blocks["ColorBlock"].bind(None)
        assert gl.glGetIntegeri_v(gl.GL_UNIFORM_BUFFER_BINDING, 0) == 0
        program.uniform_blocks["ColorBlock"].bind(ubo)
        assert gl.glGetIntegeri_v(gl.GL_UNIFORM_BUFFER_BINDING, 0) == ubo
    finally:
        gl.glBindBufferBase(gl.GL_UNIFORM_BUFFER, 0, 0)
        gl.glDeleteBuffers(1, [ubo])


@pytest.mark.parametrize("buffer, error, message", [
    ("ubo", TypeError, "uniform block 'ColorBlock' binds a buffer with _gl_id or a GL buffer name, not str"),
    (Buffer(-1), OverflowError, "can't convert negative value to GLuint"),
    (987654, ValueError, "987654 is not the name of a buffer object"),
])
def test_bind_errors(gl, program, buffer, error, message):
    with pytest.raises(error) as e:
        program.uniform_blocks["ColorBlock"].bind(buffer)
    assert str(e.value) == message


# ----------------------------------------------------------------- module functions

def test_exported_functions(gl, program):
    sigs = {name: repr(cap) for name, cap in program_module.__capi__.items()}
    assert '"PyObject *(GLuint, PyObject *, GLint, GLenum, GLint)"' in sigs["create_uniform_from_type"]
    assert '"PyObject *(PyObject *, GLenum, GLint, GLint, GLint, GLint)"' in sigs["create_uniform_block_member"]
    assert '"PyObject *(GLenum)"' in sigs["glew_enum_to_name"]
    assert glew_enum_to_name(gl.GL_FLOAT_VEC4) == "GL_FLOAT_VEC4"
    assert glew_enum_to_name(gl.GL_SAMPLER_2D) == "GL_SAMPLER_2D"
    assert glew_enum_to_name(gl.GL_GEOMETRY_SHADER) == "GL_GEOMETRY_SHADER"
    assert glew_enum_to_name(0x1234) == "0x1234"
    u = create_uniform_from_type(program._gl_id, "u_v2", program.uniforms["u_v2"].location,
                                 gl.GL_FLOAT_VEC2, 1)
    assert isinstance(u, Uniform)
    u.value = (6.0, 7.0)
    assert program.uniforms["u_v2"].value == (6.0, 7.0)
    with pytest.raises(TypeError) as e:
        create_uniform_from_type(program._gl_id, "x", 0, 0x1234, 1)
    assert str(e.value) == "uniform 'x' has a type that cannot be set: 0x1234"
    m = create_uniform_block_member("m", gl.GL_FLOAT_MAT4, 32, 1, 0, 16)
    assert (m.name, m.type, m.offset, m.size, m.array_stride, m.matrix_stride) == \
        ("m", gl.GL_FLOAT_MAT4, 32, 1, 0, 16)
    with pytest.raises(TypeError):
        Uniform()
    assert UniformBlock.bind.__doc__ == "UniformBlock.bind(self, buffer)"
    assert glew_enum_to_name.__doc__ == "glew_enum_to_name(GLenum value)"


def test_program_needs_a_context():
    code = textwrap.dedent("""
        from vesk.opengl.glsl.program import Program
        try:
            Program("a.glsl", "b.glsl")
        except RuntimeError as e:
            print(e)
    """)
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                         env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)), check=True)
    assert out.stdout == "no current OpenGL context\n"
