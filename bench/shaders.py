"""GLSL preprocessing and uniform setting against plain-Python / PyOpenGL baselines.

1. Preprocessing: a generated tree of 200 shader files (100,000 lines, with
   "#include_file" and "#include_reference" directives) expanded by
   Shader._process_source, against a straightforward pure-Python expansion
   with the same rules run in the same process. Target: at least 3x faster.
2. Setting a mat4 uniform through `uniforms[name].value` from a Matrix4f,
   against the same glProgramUniformMatrix4fv call made through PyOpenGL
   (with a float32 numpy array). Target: at most 1.0x its time.

Times are CPU time of the calling thread (best of --repeat), so other load
on the machine does not count; preprocessing is timed with the cyclic
garbage collector enabled (as in a running program) and disabled. Prints the
times and the ratios. Needs the hidden GL context (EGL).
"""
import argparse
import gc
import os
import sys
import tempfile
import time
import timeit

os.environ.setdefault("PYOPENGL_PLATFORM", "egl")
if os.environ.get("VESK_BUILD_DIR"):
    sys.path.insert(0, os.environ["VESK_BUILD_DIR"])

FILES = 200
LINES = 100_000
GL_FRAGMENT_SHADER = 0x8B30


# ----------------------------------------------------------------- the tree

def generate_tree(root_dir):
    """Write FILES files, LINES lines in all, as a binary include tree under
    root_dir/shaders: file i includes files 2i+1 and 2i+2; every tenth file
    also pulls in a registered reference text. Returns the root's name and
    the reference texts."""
    shaders = os.path.join(root_dir, "shaders", "tree")
    os.makedirs(shaders)
    references = {f"tree_ref_{k}": "".join(f"// reference {k} line {j}\r\n" for j in range(25))
                  for k in range(FILES // 10)}
    ref_lines = sum(t.count("\n") for t in references.values())
    per_file = (LINES - ref_lines) // FILES
    for i in range(FILES):
        lines = []
        if i == 0:
            lines.append("#version 330")
        children = [c for c in (2 * i + 1, 2 * i + 2) if c < FILES]
        body = per_file - len(lines) - len(children) - (1 if i % 10 == 0 else 0)
        for j in range(body):
            if j == body // 3 and children:
                lines.append(f'#include_file "tree\\file_{children.pop(0)}.glsl"')
            if j == body // 2 and i % 10 == 0:
                lines.append(f"#include_reference tree_ref_{i // 10}")
            if j % 7 == 0:
                lines.append(f"const float c_{i}_{j} = {j}.0;   ")
            elif j % 7 == 3:
                lines.append("")
            else:
                lines.append(f"// file {i}, line {j}: explanation of the code below\t")
        lines.extend(f"#include_file tree\\file_{c}.glsl" for c in children)
        if i == 0:
            lines += ["out vec4 frag;", "void main() { frag = vec4(c_0_0); }"]
        with open(os.path.join(shaders, f"file_{i}.glsl"), "w", encoding="utf-8", newline="\n") as f:
            f.write("\n".join(lines) + "\n")
    return "tree\\file_0.glsl", references


# ----------------------------------------------------------------- baseline

class NotFound(Exception):
    pass


def python_preprocess(root_path, get_shader_path, get_include_text):
    """The same expansion as Shader._process_source, in plain Python."""
    source_map = []

    def load(path):
        with open(path, encoding="utf-8") as f:
            return f.readlines()

    def process(src_info, src_lines, parent_refs):
        for counter, line in enumerate(src_lines):
            if line.startswith("#include_file"):
                name = line.replace("#include_file", "").strip().replace('"', "").replace("'", "")
                path = get_shader_path(name, default=None)
                if not path:
                    raise NotFound(name)
                if path == src_info or any(unit == path for unit, _ in parent_refs):
                    raise NotFound(f"cycle at {name}")
                process(path, load(path), parent_refs + [(src_info, counter)])
            elif line.startswith("#include_reference"):
                name = line.replace("#include_reference", "").strip().replace('"', "").replace("'", "")
                text = get_include_text(name)
                if not text:
                    raise NotFound(name)
                if name == src_info or any(unit == name for unit, _ in parent_refs):
                    raise NotFound(f"cycle at {name}")
                process(name, text.splitlines(True), parent_refs + [(src_info, counter)])
            else:
                source_map.append((line.rstrip(), src_info, counter, parent_refs))

    process(root_path, load(root_path), [])
    return "\n".join(entry[0] for entry in source_map), source_map


# CPU time of this thread: other processes on the machine do not count.
CLOCK = time.thread_time


def best(fn, number, repeat):
    return min(timeit.repeat(fn, timer=CLOCK, number=number, repeat=repeat)) / number


def bench_preprocess(args):
    from vesk import resource
    from vesk.opengl.glsl.glsl_reference_include import GlslReferenceInclude
    from vesk.opengl.glsl.shader import Shader

    with tempfile.TemporaryDirectory() as tmp:
        root_name, references = generate_tree(tmp)
        for name, text in references.items():
            GlslReferenceInclude.set_include_text(name, text)
        resource.add_search_path(tmp)
        try:
            shader = Shader(root_name, GL_FRAGMENT_SHADER)
            root = shader.source_file
            n_lines = len(shader.source_map)
            source, source_map = python_preprocess(root, resource.get_shader_path,
                                                   GlslReferenceInclude.get_include_text)
            assert source == shader.source and source_map == shader.source_map, "outputs differ"
            del source, source_map

            # Timed: building the map and the text, which the result keeps
            # (as a Shader does). Releasing earlier results is setup, so every
            # run starts from the same heap.
            kept = []
            env = {"gc": gc, "shader": shader, "kept": kept, "preprocess": python_preprocess,
                   "root": root, "resource": resource, "refs": GlslReferenceInclude}
            ours = "shader._process_source()"
            baseline = "kept.append(preprocess(root, resource.get_shader_path, refs.get_include_text))"
            for _ in range(3):  # warm-up: arenas, caches, file pages
                for stmt in (ours, baseline):
                    timeit.timeit(stmt, "shader.source_map.clear(); kept.clear()", number=1, globals=env)
            times = {}
            for gc_state in ("gc on", "gc off"):
                enable = "gc.enable()" if gc_state == "gc on" else "pass"
                t_ours, t_base = [], []
                setup = f"shader.source_map.clear(); kept.clear(); {enable}"
                for _ in range(args.repeat):  # interleaved
                    t_ours.append(timeit.timeit(ours, setup, timer=CLOCK, number=1, globals=env))
                    t_base.append(timeit.timeit(baseline, setup, timer=CLOCK, number=1, globals=env))
                times[gc_state] = (min(t_ours), min(t_base))
        finally:
            resource.remove_search_path(tmp)
            for name in references:
                GlslReferenceInclude.set_include_text(name, None)
    return n_lines, times


MAT4_VS = """#version 330
layout(location = 0) in vec3 pos;
uniform mat4 u_wvp;
void main() { gl_Position = u_wvp * vec4(pos, 1.0); }
"""
MAT4_FS = """#version 330
out vec4 frag;
void main() { frag = vec4(1.0); }
"""


def bench_mat4(args):
    import numpy as np
    from OpenGL import GL

    from linvec.matrix4f import Matrix4f
    from vesk import resource
    from vesk.opengl.glsl.program import Program

    with tempfile.TemporaryDirectory() as tmp:
        os.makedirs(os.path.join(tmp, "shaders"))
        for name, text in (("bench_vs.glsl", MAT4_VS), ("bench_fs.glsl", MAT4_FS)):
            with open(os.path.join(tmp, "shaders", name), "w") as f:
                f.write(text)
        resource.add_search_path(tmp)
        try:
            program = Program("bench_vs.glsl", "bench_fs.glsl", None)
        finally:
            resource.remove_search_path(tmp)
    values = [float(i) for i in range(16)]
    uniform = program.uniforms["u_wvp"]
    matrix = Matrix4f(values)
    array = np.array(values, dtype=np.float32)
    pid, loc = program._gl_id, uniform.location
    set_pyopengl = GL.glProgramUniformMatrix4fv

    def ours():
        uniform.value = matrix

    def baseline():
        set_pyopengl(pid, loc, 1, False, array)

    ours()
    assert uniform.value == tuple(values)
    t_ours = best(ours, args.number, args.repeat)
    t_base = best(baseline, args.number, args.repeat)
    return t_ours, t_base


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--repeat", type=int, default=7)
    ap.add_argument("--number", type=int, default=100_000, help="uniform sets per timing")
    args = ap.parse_args()

    from vesk.opengl import headless_gl

    headless_gl.create_test_gl_context()
    try:
        n_lines, times = bench_preprocess(args)
        print(f"preprocess {FILES} files, {n_lines} output lines")
        print(f"{'operation':28} {'vesk ms':>9} {'python ms':>10} {'speed-up':>9} {'target':>8}")
        for gc_state, (t_ours, t_base) in times.items():
            speedup = t_base / t_ours
            print(f"{'expand include tree, ' + gc_state:28} {t_ours * 1e3:9.2f} {t_base * 1e3:10.2f}"
                  f" {speedup:8.2f}x {'>= 3.0x':>8} {'ok' if speedup >= 3.0 else 'MISSED'}")
        t_ours, t_base = bench_mat4(args)
        ratio = t_ours / t_base
        print(f"{'operation':28} {'vesk ns':>9} {'PyOpenGL':>10} {'ratio':>9} {'target':>8}")
        print(f"{'mat4 uniform value':28} {t_ours * 1e9:9.1f} {t_base * 1e9:10.1f} {ratio:8.3f}x"
              f" {'<= 1.0x':>8} {'ok' if ratio <= 1.0 else 'MISSED'}")
    finally:
        headless_gl.close_test_gl_context()


if __name__ == "__main__":
    main()
