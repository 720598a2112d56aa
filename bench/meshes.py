"""Mesh construction speed and memory, against baselines measured in the same run.

1. SensorSectorMesh(0.0, 5.5, -0.3, 1.2, 10.0, 1000.0, 512, 256, True) against
   a numpy-vectorised build of the same vertex (double-single) and index
   arrays, and against a plain fill of the same number of bytes.
   Targets: <= 1.0x numpy, <= 3x the fill.
2. DomeShellMesh(0.0818, 6378.137, 7) against trimesh.creation.uv_sphere with
   about the same triangle count, in triangles per second. Target: >= 1.0x.
3. Memory: Python objects left per vertex after construction, and the
   CPU-side arrays' capacity against their size (target <= 1.1x).

Run with the hidden GL context; both meshes upload to GL inside their
constructors, which the timings include.
"""
import argparse
import gc
import math
import sys
import time

import numpy as np

from vesk.opengl import headless_gl

SECTOR_ARGS = (0.0, 5.5, -0.3, 1.2, 10.0, 1000.0, 512, 256, True)
DOME_ARGS = (0.0818, 6378.137, 7)


def best_of(fn, repeat):
    times = []
    for _ in range(repeat):
        gc.collect()
        t0 = time.perf_counter()
        result = fn()
        times.append(time.perf_counter() - t0)
        del result
    return min(times)


# ---------------------------------------------------------------- numpy sector


def numpy_point(az, el, r):
    """P(az, el, r) = (-(cos az cos el) r, sin el r, (sin az cos el) r), broadcast."""
    az, el, r = np.broadcast_arrays(az, el, r)
    ce = np.cos(el)
    return np.stack((-((np.cos(az) * ce) * r), np.sin(el) * r, (np.sin(az) * ce) * r), axis=-1)


def numpy_sector(az_min, az_max, el_min, el_max, near, far, A, E, rounded):
    """The rounded sector's quads, vertices as hi/lo float32 and uint32 indices."""
    assert rounded, "the benchmark builds the rounded form"
    k = np.arange(A + 1, dtype=np.float64)
    step = (az_max - az_min) / A
    az = step * k + az_min
    a0, a1 = az[:-1], az[1:]
    j = np.arange(E + 1, dtype=np.float64)
    estep = (el_max - el_min) / E
    el = estep * j + el_min
    e0, e1 = el[:-1], el[1:]
    quads = []  # each (n, 4, 3)

    # Every face is wound inward: the upper cone, the az_min wall and the near
    # cap emit (v0, v2, v1, v3) where the others emit (v0, v1, v2, v3).
    def order(v0, v1, v2, v3, turned):
        return (v0, v2, v1, v3) if turned else (v0, v1, v2, v3)

    # lower and upper elevation cones
    cones = [el_min] + ([el_max] if math.pi / 2 - el_max > 1e-7 else [])
    x = np.empty((A, len(cones), 4, 3))
    for c, e in enumerate(cones):
        x[:, c] = np.stack(order(numpy_point(a0, e, near), numpy_point(a0, e, far),
                                 numpy_point(a1, e, near), numpy_point(a1, e, far), c == 1), axis=-2)
    quads.append(x.reshape(-1, 4, 3))
    # side walls
    if 2 * math.pi - (az_max - az_min) >= 1e-7:
        y = np.empty((E, 2, 4, 3))
        for c, a in enumerate((az_min, az_max)):
            y[:, c] = np.stack(order(numpy_point(a, e0, near), numpy_point(a, e0, far),
                                     numpy_point(a, e1, near), numpy_point(a, e1, far), c == 0),
                               axis=-2)
        quads.append(y.reshape(-1, 4, 3))
    # near and far caps, i outer, j inner
    ranges = ([near] if near >= 1e-7 else []) + [far]
    A0, E0 = np.meshgrid(a0, e0, indexing="ij")
    A1, E1 = np.meshgrid(a1, e1, indexing="ij")
    z = np.empty((A, E, len(ranges), 4, 3))
    for c, r in enumerate(ranges):
        near_cap = r is near and near >= 1e-7
        z[:, :, c] = np.stack(order(numpy_point(A0, E0, r), numpy_point(A0, E1, r),
                                    numpy_point(A1, E0, r), numpy_point(A1, E1, r), near_cap),
                              axis=-2)
    quads.append(z.reshape(-1, 4, 3))
    pos = np.concatenate(quads).reshape(-1, 3)
    hi = pos.astype(np.float32)
    lo = (pos - hi).astype(np.float32)
    vertices = np.concatenate((hi, lo), axis=1)
    n = len(pos) // 4
    indices = (np.arange(n, dtype=np.uint32)[:, None] * 4
               + np.array([0, 1, 2, 1, 3, 2], dtype=np.uint32)).reshape(-1)
    return vertices, indices


def numpy_sector_uploaded(gl_upload, *args):
    vertices, indices = numpy_sector(*args)
    gl_upload(vertices, indices)
    return vertices, indices


# ---------------------------------------------------------------- GL upload for the baselines


def make_uploader():
    """glBufferData through ctypes into two buffers, as the meshes do."""
    import ctypes
    import ctypes.util

    egl = ctypes.CDLL(ctypes.util.find_library("EGL") or "libEGL.so.1")
    egl.eglGetProcAddress.restype = ctypes.c_void_p
    egl.eglGetProcAddress.argtypes = [ctypes.c_char_p]

    def proc(name, *argtypes):
        addr = egl.eglGetProcAddress(name.encode())
        return ctypes.CFUNCTYPE(None, *argtypes)(addr)

    gen = proc("glGenBuffers", ctypes.c_int, ctypes.POINTER(ctypes.c_uint))
    bind = proc("glBindBuffer", ctypes.c_uint, ctypes.c_uint)
    data = proc("glBufferData", ctypes.c_uint, ctypes.c_ssize_t, ctypes.c_void_p, ctypes.c_uint)
    names = (ctypes.c_uint * 2)()
    gen(2, names)

    def upload(vertices, indices):
        for target, name, arr in ((0x8892, names[0], vertices), (0x8893, names[1], indices)):
            bind(target, name)
            data(target, arr.nbytes, arr.ctypes.data, 0x88E4)
            bind(target, 0)

    return upload


# ---------------------------------------------------------------- report


def row(name, ours, base, target, higher_is_better=False):
    ratio = ours / base
    ok = ratio >= target if higher_is_better else ratio <= target
    sense = ">=" if higher_is_better else "<="
    print(f"  {name:44} {ratio:7.2f}x  (target {sense} {target}x) {'ok' if ok else 'MISSED'}")


def bench_sector(repeat, upload):
    from vesk.scene.geometry.sensor_sector_mesh import SensorSectorMesh

    mesh = SensorSectorMesh(*SECTOR_ARGS)
    nverts = len(mesh.vertex_buffer.raw) // 6
    nidx = len(mesh.indexbuffer)
    vertices, indices = numpy_sector(*SECTOR_ARGS)
    # The benchmark compares like with like: same arrays, bit for bit.
    assert vertices.shape[0] == nverts and len(indices) == nidx, (vertices.shape, nverts, nidx)
    same = np.array_equal(np.frombuffer(mesh.vertex_buffer.raw, dtype=np.float32).reshape(-1, 6),
                          vertices)
    nbytes = vertices.nbytes + indices.nbytes
    del mesh, vertices, indices
    t_mesh = best_of(lambda: SensorSectorMesh(*SECTOR_ARGS), repeat)
    t_numpy = best_of(lambda: numpy_sector_uploaded(upload, *SECTOR_ARGS), repeat)
    vbytes = nverts * 24

    def fill():
        return np.full(nbytes, 1, dtype=np.uint8)

    def fill_upload():
        a = fill()
        upload(a[:vbytes], a[vbytes:])
        return a

    t_fill = best_of(fill, repeat)
    t_fill_up = best_of(fill_upload, repeat)
    print(f"SensorSectorMesh{SECTOR_ARGS}: {nverts} vertices, {nidx} indices, "
          f"{nbytes / 1e6:.1f} MB; vertices equal to numpy's: {same}")
    print(f"  mesh {t_mesh * 1e3:.1f} ms, numpy {t_numpy * 1e3:.1f} ms, fill {t_fill * 1e3:.1f} ms, "
          f"fill + the same two uploads {t_fill_up * 1e3:.1f} ms")
    row("mesh / numpy-vectorised build (+ upload)", t_mesh, t_numpy, 1.0)
    row("mesh / plain fill of the same bytes", t_mesh, t_fill, 3.0)
    row("mesh / plain fill + the same uploads", t_mesh, t_fill_up, 3.0)


def bench_dome(repeat):
    from vesk.scene.geometry.dome_shell_mesh import DomeShellMesh

    try:
        import trimesh
    except ImportError:
        print("DomeShellMesh: trimesh is not installed (pip install trimesh); skipped")
        return
    mesh = DomeShellMesh(*DOME_ARGS)
    tris = len(mesh.indexbuffer) // 3
    del mesh
    # uv_sphere(count=[c, c]) gives about 4 c^2 triangles
    c = int(round(math.sqrt(tris / 4)))
    sphere = trimesh.creation.uv_sphere(radius=DOME_ARGS[1], count=[c, c])
    sphere_tris = len(sphere.faces)
    t_dome = best_of(lambda: DomeShellMesh(*DOME_ARGS), repeat)
    t_tri = best_of(lambda: trimesh.creation.uv_sphere(radius=DOME_ARGS[1], count=[c, c]), repeat)
    print(f"DomeShellMesh{DOME_ARGS}: {tris} triangles in {t_dome * 1e3:.1f} ms; "
          f"trimesh uv_sphere count={c}: {sphere_tris} triangles in {t_tri * 1e3:.1f} ms")
    row("dome / trimesh triangles per second", tris / t_dome, sphere_tris / t_tri, 1.0,
        higher_is_better=True)


def bench_memory():
    from vesk.scene.geometry.dome_shell_mesh import DomeShellMesh
    from vesk.scene.geometry.sensor_sector_mesh import SensorSectorMesh

    print("Memory after construction:")
    for cls, args in ((SensorSectorMesh, SECTOR_ARGS), (DomeShellMesh, DOME_ARGS)):
        gc.collect()
        blocks0 = sys.getallocatedblocks()
        mesh = cls(*args)
        gc.collect()
        blocks = sys.getallocatedblocks() - blocks0
        vb, ib = mesh.vertex_buffer, mesh.indexbuffer
        nverts = len(vb.raw) * 4 // vb.get_stride_size()
        line = (f"  {cls.__name__}: {nverts} vertices, {blocks} Python blocks kept "
                f"({blocks / nverts:.4f} per vertex)")
        for label, obj, size in (("vertices", vb, nverts), ("indices", ib, len(ib))):
            cap = getattr(obj, "_capacity", None)
            if cap is not None:
                line += f"; {label} capacity/size {cap / size:.3f}"
        print(line)
        del mesh, vb, ib


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--repeat", type=int, default=5)
    a = ap.parse_args()
    headless_gl.create_test_gl_context()
    upload = make_uploader()
    bench_sector(a.repeat, upload)
    bench_dome(a.repeat)
    bench_memory()
    headless_gl.close_test_gl_context()


if __name__ == "__main__":
    main()
