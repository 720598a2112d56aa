"""GLSL preprocessing and uniform setting against plain-Python / PyOpenGL baselines.

1. Preprocessing: a generated tree of 200 shader files (100,000 lines, with
   "#include_file" and "#include_reference" directives) expanded by
   Shader._process_source, against a straightforward pure-Python expansion
   with the same rules run in the same process. Target: at least 3x faster.
2. Setting a mat4 uniform through `uniforms[name].value` from a Matrix4f,
   against the same glProgramUniformMatrix4fv call made through PyOpenGL
   (with a float32 numpy array). Target: at most 1.0x its time.

Prints the times and the ratios. Needs the hidden GL context (EGL).
"""
import argparse
import os
import sys
import tempfile
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


def best(fn, number, repeat):
    return min(timeit.repeat(fn, number=number, repeat=repeat)) / number


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

            def ours():
                shader.source_map.clear()
                shader._process_source()

            def baseline():
                python_preprocess(root, resource.get_shader_path,
                                  GlslReferenceInclude.get_include_text)

            t_ours = best(ours, 1, args.repeat)
            t_base = best(baseline, 1, args.repeat)
        finally:
            resource.remove_search_path(tmp)
    return n_lines, t_ours, t_base


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--repeat", type=int, default=7)
    ap.add_argument("--number", type=int, default=100_000, help="uniform sets per timing")
    args = ap.parse_args()

    from vesk.opengl import headless_gl

    headless_gl.create_test_gl_context()
    try:
        n_lines, t_ours, t_base = bench_preprocess(args)
        print(f"preprocess {FILES} files, {n_lines} output lines")
        print(f"{'operation':28} {'vesk ms':>9} {'python ms':>10} {'speed-up':>9} {'target':>8}")
        speedup = t_base / t_ours
        print(f"{'expand include tree':28} {t_ours * 1e3:9.2f} {t_base * 1e3:10.2f} {speedup:8.2f}x"
              f" {'>= 3.0x':>8} {'ok' if speedup >= 3.0 else 'MISSED'}")
    finally:
        headless_gl.close_test_gl_context()


if __name__ == "__main__":
    main()
