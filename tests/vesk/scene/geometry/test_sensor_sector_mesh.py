"""SensorSectorMesh: rounded and capped sectors, emission, GL state, errors."""
import gc
import math
import pickle
import sys
import tracemalloc
import traceback

import numpy as np
import pytest

import meshcheck
from linvec.vector3 import Vector3
from vesk.scene.geometry.sensor_sector_mesh import ConeVertexBuffer, SensorSectorMesh

HALF_PI = 1.5707963267948966
TWO_PI = 6.283185307179586
EPS = 1e-7
MESH = "vesk.scene.geometry.sensor_sector_mesh.SensorSectorMesh"

# ---------------------------------------------------------------- reference model
# The emission written out plainly in Python floats: a list of primitives,
# each a tuple of 4 (quad) or 3 (triangle) points. Quads of a face
# parameterised by (u, w) come as (u0 w0, u0 w1, u1 w0, u1 w1), turned to
# (u0 w0, u1 w0, u0 w1, u1 w1) on the upper cone, the az_min wall and the
# near cap so that every triangle faces into the volume.


def turned(q):
    return (q[0], q[2], q[1], q[3])


def P(az, el, r):
    return (-((math.cos(az) * math.cos(el)) * r), math.sin(el) * r, (math.sin(az) * math.cos(el)) * r)


def Pf(az, el, r, el_max):
    return (-((math.cos(az) * math.cos(el)) * r), math.sin(el_max) * r, (math.sin(az) * math.cos(el)) * r)


def ref_rounded(az_min, az_max, el_min, el_max, near, far, A, E):
    out = []
    if A != 0:  # build_x_faces
        step = (az_max - az_min) / A
        for i in range(0, A):
            a0, a1 = step * i + az_min, step * (i + 1) + az_min
            out.append((P(a0, el_min, near), P(a0, el_min, far), P(a1, el_min, near), P(a1, el_min, far)))
            if HALF_PI - el_max > EPS:
                out.append(turned((P(a0, el_max, near), P(a0, el_max, far),
                                   P(a1, el_max, near), P(a1, el_max, far))))
    if TWO_PI - (az_max - az_min) >= EPS and E != 0:  # build_y_faces
        step = (el_max - el_min) / E
        for j in range(0, E):
            e0, e1 = step * j + el_min, step * (j + 1) + el_min
            out.append(turned((P(az_min, e0, near), P(az_min, e0, far),
                               P(az_min, e1, near), P(az_min, e1, far))))
            out.append((P(az_max, e0, near), P(az_max, e0, far), P(az_max, e1, near), P(az_max, e1, far)))
    if A != 0 and E != 0:  # build_z_faces
        astep, estep = (az_max - az_min) / A, (el_max - el_min) / E
        for i in range(0, A):
            a0, a1 = astep * i + az_min, astep * (i + 1) + az_min
            for j in range(0, E):
                e0, e1 = estep * j + el_min, estep * (j + 1) + el_min
                for r in ([near] if near >= EPS else []) + [far]:
                    q = (P(a0, e0, r), P(a0, e1, r), P(a1, e0, r), P(a1, e1, r))
                    out.append(turned(q) if r is near else q)
    return out


def ref_capped(az_min, az_max, el_min, el_max, near, far, A, E):
    out = []
    if A != 0:  # build_x_flat_faces
        step = (az_max - az_min) / A
        for i in range(0, A):
            a0, a1 = step * i + az_min, step * (i + 1) + az_min
            out.append((Pf(a0, el_min, near, el_max), Pf(a0, el_min, far, el_max),
                        Pf(a1, el_min, near, el_max), Pf(a1, el_min, far, el_max)))
            if HALF_PI - el_max > EPS:
                out.append(turned((P(a0, el_max, near), P(a0, el_max, far),
                                   P(a1, el_max, near), P(a1, el_max, far))))
    if TWO_PI - (az_max - az_min) >= EPS:  # build_y_flat_faces
        for a in (az_min, az_max):
            q = (Pf(a, el_min, near, el_max), Pf(a, el_min, far, el_max),
                 Pf(a, el_max, near, el_max), Pf(a, el_max, far, el_max))
            out.append(turned(q) if a is az_min else q)
    if A != 0:  # build_z_flat_faces
        step = (az_max - az_min) / A
        for i in range(0, A):
            a0, a1 = step * i + az_min, step * (i + 1) + az_min
            for r in ([near] if near >= EPS else []) + [far]:
                near_cap = r is near
                if HALF_PI - el_max < EPS:
                    apex = (float(0), math.sin(el_max) * r, float(0))
                    t = (Pf(a0, el_min, r, el_max), apex, Pf(a1, el_min, r, el_max))
                    out.append((t[0], t[2], t[1]) if near_cap else t)
                else:
                    q = (Pf(a0, el_min, r, el_max), Pf(a0, el_max, r, el_max),
                         Pf(a1, el_min, r, el_max), Pf(a1, el_max, r, el_max))
                    out.append(turned(q) if near_cap else q)
    return out


def reference(az_min, az_max, el_min, el_max, near, far, A, E, rounded):
    build = ref_rounded if rounded else ref_capped
    return build(az_min, az_max, el_min, el_max, near, far, A, E)


def expected_indices(prims, start=0):
    out, b = [], start
    for p in prims:
        out += [b, b + 1, b + 2, b + 1, b + 3, b + 2] if len(p) == 4 else [b, b + 1, b + 2]
        b += len(p)
    return out


def raw_records(mesh):
    return np.frombuffer(mesh.vertex_buffer.raw, np.float32).reshape(-1, 6)


def bits(a):
    return np.ascontiguousarray(a, np.float32).view(np.uint32)


def assert_matches_reference(mesh, prims):
    points = [p for prim in prims for p in prim]
    assert bits(raw_records(mesh)).tolist() == bits(meshcheck.records(points)).tolist()
    assert list(mesh.indexbuffer.indices) == expected_indices(prims)


Q = math.pi / 2
EXAMPLE = (0.0, Q, 0.1, 0.6, 1.0, 2.0, 4, 3)

CASES = [
    # args, quads, triangles
    pytest.param(EXAMPLE + (True,), 38, 0, id="rounded"),
    pytest.param((0.0, Q, 0.1, 0.6, 0.0, 2.0, 4, 3, True), 26, 0, id="rounded-near-0"),
    pytest.param((0.0, Q, 0.1, HALF_PI, 1.0, 2.0, 4, 3, True), 4 + 6 + 24, 0, id="rounded-zenith"),
    pytest.param((0.0, TWO_PI, 0.1, 0.6, 1.0, 2.0, 4, 3, True), 8 + 24, 0, id="rounded-full-turn"),
    pytest.param((-0.5, 5.0, -HALF_PI, 0.4, 3.0, 7.0, 7, 5, 1), 14 + 10 + 70, 0, id="rounded-nadir"),
    pytest.param((0.0, Q, 0.1, 0.6, 1.0, 2.0, -3, 3, True), 6, 0, id="rounded-negative-az"),
    pytest.param(EXAMPLE + (False,), 18, 0, id="capped"),
    pytest.param((0.0, Q, 0.1, HALF_PI, 1.0, 2.0, 4, 3, False), 6, 8, id="capped-zenith"),
    pytest.param((0.0, Q, 0.1, 0.6, 0.0, 2.0, 4, 3, False), 14, 0, id="capped-near-0"),
    pytest.param((0.0, TWO_PI, 0.1, 0.6, 1.0, 2.0, 4, 3, False), 16, 0, id="capped-full-turn"),
    pytest.param((0.0, Q, 0.1, 0.6, 1.0, 2.0, 4, 0, False), 18, 0, id="capped-el-precision-0"),
    pytest.param((0.0, Q, 0.1, HALF_PI - 5e-8, 1.0, 2.0, 4, 3, False), 6, 8, id="capped-within-1e-7"),
    pytest.param((0.0, Q, 0.1, HALF_PI - 2e-7, 1.0, 2.0, 4, 3, False), 18, 0, id="capped-beyond-1e-7"),
    pytest.param((0.0, Q, 0.1, HALF_PI - 5e-8, 1.0, 2.0, 4, 3, True), 4 + 6 + 24, 0, id="rounded-within-1e-7"),
    pytest.param((0.0, TWO_PI - 5e-8, 0.1, 0.6, 1.0, 2.0, 4, 3, True), 8 + 24, 0, id="rounded-near-full-turn"),
]


# ---------------------------------------------------------------- class


def test_interface():
    assert repr(SensorSectorMesh) == f"<class '{MESH}'>"
    assert SensorSectorMesh.__doc__ == (" Geometry for a cone defined by azimuth, elevation, and range limits.\n"
                                        "        Cone can be capped or rounded.\n    ")
    for name in ("build_x_faces", "build_y_faces", "build_z_faces",
                 "build_x_flat_faces", "build_y_flat_faces", "build_z_flat_faces"):
        assert getattr(SensorSectorMesh, name).__doc__ == f"SensorSectorMesh.{name}(self) -> void"
    assert SensorSectorMesh.add_vertices.__doc__ == (
        "SensorSectorMesh.add_vertices(self, Vector3 v0, Vector3 v1, Vector3 v2, Vector3 v3) -> void")
    assert SensorSectorMesh.add_single.__doc__ == (
        "SensorSectorMesh.add_single(self, Vector3 v0, Vector3 v1, Vector3 v2) -> void")
    assert "__vtable__" in SensorSectorMesh.__dict__


@pytest.mark.parametrize("args, quads, tris", CASES)
def test_counts_and_every_vertex_match_the_formulas(gl, unraisable, args, quads, tris):
    mesh = SensorSectorMesh(*args)
    prims = reference(*args)
    assert sum(len(p) == 4 for p in prims) == quads and sum(len(p) == 3 for p in prims) == tris
    assert len(mesh.vertex_buffer.vertices) == 4 * quads + 3 * tris
    assert len(mesh.indexbuffer) == 6 * quads + 3 * tris
    assert_matches_reference(mesh, prims)
    assert unraisable == []


def test_example_first_and_last_indices(gl):
    mesh = SensorSectorMesh(*EXAMPLE, True)
    idx = list(mesh.indexbuffer.indices)
    assert (len(mesh.vertex_buffer.vertices), len(idx)) == (152, 228)
    assert idx[:6] == [0, 1, 2, 1, 3, 2]
    assert idx[-6:] == [148, 149, 150, 149, 151, 150]


@pytest.mark.parametrize("rounded, first", [
    (True, P(0.0, 0.1, 1.0)),
    (False, (-math.cos(0.1), math.sin(0.6), 0.0)),  # Pf(0, 0.1, 1)
])
def test_first_vertex(gl, rounded, first):
    mesh = SensorSectorMesh(*EXAMPLE, rounded)
    hi, lo = meshcheck.split(first)
    assert bits(raw_records(mesh)[0]).tolist() == bits(np.concatenate((hi, lo))).tolist()


def test_capped_zenith_apexes(gl):
    mesh = SensorSectorMesh(0.0, Q, 0.1, HALF_PI, 1.0, 2.0, 4, 3, False)
    assert (len(mesh.vertex_buffer.vertices), len(mesh.indexbuffer)) == (48, 60)
    pos = meshcheck.positions(mesh.vertex_buffer.raw)
    # the eight triangles follow 6 quads; the apex is the third vertex of a
    # near-cap triangle (turned to face inward) and the second of a far one
    tris = pos[24:].reshape(8, 3, 3)
    apexes = np.array([t[2] if k % 2 == 0 else t[1] for k, t in enumerate(tris)])
    assert apexes.tolist() == [[0.0, math.sin(HALF_PI) * r, 0.0] for _ in range(4) for r in (1.0, 2.0)]
    assert np.allclose(apexes[:2], [[0, 1, 0], [0, 2, 0]])
    assert list(mesh.indexbuffer.indices)[-3:] == [45, 46, 47]


def test_zero_az_precision_reports_and_still_builds_the_walls(gl, unraisable, capfd):
    mesh = SensorSectorMesh(0.0, Q, 0.1, 0.6, 1.0, 2.0, 0, 3, True)
    assert [(u.exc_type, str(u.exc_value)) for u in unraisable] == [
        (ZeroDivisionError, "float division")] * 2
    assert [u.object for u in unraisable] == [f"{MESH}.build_x_faces", f"{MESH}.build_z_faces"]
    assert f"{MESH}.build_x_faces" in [e.name for e in traceback.extract_tb(unraisable[0].exc_traceback)]
    assert "ZeroDivisionError: float division" in capfd.readouterr().err
    assert len(mesh.indexbuffer) == 6 * 6  # the two walls, 3 quads each
    assert_matches_reference(mesh, reference(0.0, Q, 0.1, 0.6, 1.0, 2.0, 0, 3, True))
    assert sys.exc_info() == (None, None, None)


def test_zero_el_precision_rounded_reports_walls_and_caps(gl, unraisable):
    mesh = SensorSectorMesh(0.0, Q, 0.1, 0.6, 1.0, 2.0, 4, 0, True)
    assert [u.object for u in unraisable] == [f"{MESH}.build_y_faces", f"{MESH}.build_z_faces"]
    assert len(mesh.indexbuffer) == 6 * 8


@pytest.mark.parametrize("rounded", [True, False])
def test_zero_az_precision_capped(gl, unraisable, rounded):
    SensorSectorMesh(0.0, Q, 0.1, 0.6, 1.0, 2.0, 0, 0, rounded)
    expected = ["build_x_faces", "build_y_faces", "build_z_faces"] if rounded else [
        "build_x_flat_faces", "build_z_flat_faces"]
    assert [u.object for u in unraisable] == [f"{MESH}.{n}" for n in expected]


# ---------------------------------------------------------------- shape: closedness and winding


def spherical(p):
    """(az, el, r) of points under P's convention."""
    x, y, z = p[..., 0], p[..., 1], p[..., 2]
    r = np.linalg.norm(p, axis=-1)
    return np.arctan2(z, -x), np.arcsin(np.clip(y / np.where(r > 0, r, 1), -1, 1)), r


def inward_normals_rounded(pos, tris, lim):
    """The analytic inward direction of the face each triangle lies on."""
    az_min, az_max, el_min, el_max, near, far = lim
    c = meshcheck.centroids(pos, tris)
    az, el, r = spherical(pos[tris])  # (T, 3) each
    caz, cel, _ = spherical(c)
    radial = c / np.linalg.norm(c, axis=1)[:, None]
    d_el = np.stack((np.cos(caz) * np.sin(cel), np.cos(cel), -np.sin(caz) * np.sin(cel)), axis=1)
    d_az = np.stack((np.sin(caz), np.zeros_like(caz), np.cos(caz)), axis=1)
    out = np.full(c.shape, np.nan)
    tol = 1e-9
    on = lambda v, x: np.all(np.abs(v - x) < tol * max(1.0, abs(x)), axis=1)  # noqa: E731
    out[on(r, near)] = radial[on(r, near)]
    out[on(r, far)] = -radial[on(r, far)]
    out[on(el, el_min)] = d_el[on(el, el_min)]
    out[on(el, el_max)] = -d_el[on(el, el_max)]
    out[on(az, az_min)] = d_az[on(az, az_min)]
    out[on(az, az_max)] = -d_az[on(az, az_max)]
    return out


ROUNDED_MID = (0.2, 2.9, -0.4, 0.9, 1.5, 4.0, 16, 9)


def test_rounded_mesh_is_closed_and_wound_inward(gl):
    mesh = SensorSectorMesh(*ROUNDED_MID, True)
    pos = meshcheck.positions(mesh.vertex_buffer.raw)
    tris = meshcheck.index_array(mesh.indexbuffer.indices)
    meshcheck.assert_closed(pos, tris)
    az_min, az_max, el_min, el_max, near, far, _, _ = ROUNDED_MID
    exact = (far ** 3 - near ** 3) / 3 * (az_max - az_min) * (math.sin(el_max) - math.sin(el_min))
    vol = meshcheck.signed_volume(pos, tris)
    assert vol < 0 and abs(-vol - exact) < 0.03 * exact
    # every triangle against the inward normal of its own face
    want = inward_normals_rounded(pos, tris, ROUNDED_MID[:6])
    assert not np.isnan(want).any()
    n = meshcheck.triangle_normals(pos, tris)
    assert (np.einsum("ij,ij->i", n, want) > 0).all()


@pytest.mark.parametrize("args", [
    pytest.param((0.0, TWO_PI, 0.1, 0.6, 1.0, 2.0, 12, 4, True), id="rounded-full-turn"),
    pytest.param((0.0, 2.0, 0.1, 0.6, 0.0, 2.0, 12, 4, True), id="rounded-near-0"),
    pytest.param((0.0, 2.0, -0.3, HALF_PI, 1.0, 2.0, 12, 4, True), id="rounded-zenith"),
])
def test_rounded_variants_are_closed(gl, args):
    mesh = SensorSectorMesh(*args)
    pos = meshcheck.positions(mesh.vertex_buffer.raw)
    tris = meshcheck.index_array(mesh.indexbuffer.indices)
    meshcheck.assert_closed(pos, tris, decimals=9)
    assert meshcheck.signed_volume(pos, tris) < 0


CAPPED_MID = (0.3, 2.8, -0.2, 0.7, 1.5, 4.0, 200, 0)


def capped_inside(p, lim):
    """Points inside the capped volume: between the heights of the two caps'
    plane at sin(el_max) * r, i.e. r_cap in [near, far], azimuth in range,
    and between the lower boundary cone and the el_max cone."""
    az_min, az_max, el_min, el_max, near, far = lim
    x, y, z = p[:, 0], p[:, 1], p[:, 2]
    h = np.hypot(x, z)
    az = np.arctan2(z, -x)
    r_cap = y / math.sin(el_max)  # the range whose cap plane passes through p
    return ((az > az_min) & (az < az_max) & (r_cap > near) & (r_cap < far)
            & (h < r_cap * math.cos(el_min)) & (h > r_cap * math.cos(el_max)))


def test_capped_mesh_is_closed_and_wound_inward(gl):
    mesh = SensorSectorMesh(*CAPPED_MID, False)
    pos = meshcheck.positions(mesh.vertex_buffer.raw)
    tris = meshcheck.index_array(mesh.indexbuffer.indices)
    meshcheck.assert_closed(pos, tris)
    assert meshcheck.signed_volume(pos, tris) < 0
    # a step along each triangle's normal from its centroid lands inside, a
    # step against it outside (the step is well above the chords' sagitta)
    n = meshcheck.triangle_normals(pos, tris)
    unit = n / np.linalg.norm(n, axis=1)[:, None]
    c = meshcheck.centroids(pos, tris)
    assert capped_inside(c + 1e-3 * unit, CAPPED_MID[:6]).all()
    assert not capped_inside(c - 1e-3 * unit, CAPPED_MID[:6]).any()


@pytest.mark.parametrize("args", [
    pytest.param((0.0, 2.0, 0.1, HALF_PI, 1.0, 2.0, 12, 0, False), id="capped-zenith"),
    pytest.param((0.0, TWO_PI, 0.1, 0.6, 1.0, 2.0, 12, 0, False), id="capped-full-turn"),
    pytest.param((0.0, 2.0, 0.1, 0.6, 0.0, 2.0, 12, 0, False), id="capped-near-0"),
])
def test_capped_variants_are_closed(gl, args):
    mesh = SensorSectorMesh(*args)
    pos = meshcheck.positions(mesh.vertex_buffer.raw)
    tris = meshcheck.index_array(mesh.indexbuffer.indices)
    meshcheck.assert_closed(pos, tris, decimals=9)
    assert meshcheck.signed_volume(pos, tris) < 0


def test_neighbouring_quads_share_bit_identical_edges(gl):
    mesh = SensorSectorMesh(*ROUNDED_MID, True)
    pos = meshcheck.positions(mesh.vertex_buffer.raw)
    tris = meshcheck.index_array(mesh.indexbuffer.indices)
    meshcheck.assert_closed(pos, tris)  # exact equality, no rounding


# ---------------------------------------------------------------- GL state


def test_upload_and_vertex_array_state(gl):
    mesh = SensorSectorMesh(*EXAMPLE, True)
    assert type(mesh.vertex_buffer) is ConeVertexBuffer
    assert int(gl.glGetIntegerv(gl.GL_ARRAY_BUFFER_BINDING)) == 0
    assert int(gl.glGetIntegerv(gl.GL_VERTEX_ARRAY_BINDING)) == 0
    assert not hasattr(mesh, "binding")  # found among the objects the mesh refers to
    meshcheck.assert_uploaded_and_bound(gl, mesh, [(0, 3, 0), (1, 3, 12)], stride=24)


def test_later_emission_does_not_upload(gl):
    mesh = SensorSectorMesh(*EXAMPLE, True)
    before = meshcheck.buffer_bytes(gl, mesh.vertex_buffer.gl_id)
    mesh.add_vertices(*(Vector3(k, k, k) for k in range(4)))
    mesh.build_y_faces()
    assert meshcheck.buffer_bytes(gl, mesh.vertex_buffer.gl_id) == before
    assert len(mesh.vertex_buffer.vertices) == 152 + 4 + 24


# ---------------------------------------------------------------- emission calls


def test_add_vertices_and_add_single_append_after_construction(gl):
    mesh = SensorSectorMesh(*EXAMPLE, False)  # 72 vertices, 108 indices
    v = [Vector3(1.5 * k, -k, 1e7 + k) for k in range(4)]
    assert mesh.add_vertices(*v) is None
    assert mesh.add_single(v0=v[0], v1=v[1], v2=v[2]) is None
    idx = list(mesh.indexbuffer.indices)
    assert idx[108:] == [72, 73, 74, 73, 75, 74, 76, 77, 78]
    recs = raw_records(mesh)[72:]
    pts = [(x.x, x.y, x.z) for x in v + v[:3]]
    assert bits(recs).tolist() == bits(meshcheck.records(pts)).tolist()


@pytest.mark.parametrize("call, n", [("add_vertices", 4), ("add_single", 3)])
@pytest.mark.parametrize("bad, got", [(None, "NoneType"), ((0.0, 0.0, 0.0), "tuple")])
def test_corners_must_be_vector3(gl, call, n, bad, got):
    mesh = SensorSectorMesh(*EXAMPLE, True)
    args = [Vector3(0, 0, 0)] * n
    args[n - 1] = bad
    with pytest.raises(TypeError) as e:
        getattr(mesh, call)(*args)
    assert str(e.value) == (f"Argument 'v{n - 1}' has incorrect type "
                            f"(expected linvec.vector3.Vector3, got {got})")
    assert len(mesh.indexbuffer) == 228


def test_corner_argument_count(gl):
    mesh = SensorSectorMesh(*EXAMPLE, True)
    with pytest.raises(TypeError, match=r"^add_vertices\(\) takes exactly 4 positional arguments \(3 given\)$"):
        mesh.add_vertices(*[Vector3(0, 0, 0)] * 3)
    with pytest.raises(TypeError, match=r"^add_single\(\) got an unexpected keyword argument 'v3'$"):
        mesh.add_single(Vector3(0, 0, 0), Vector3(0, 0, 0), Vector3(0, 0, 0), v3=1)


def test_failed_emission_is_reported_and_counts_nothing(gl, unraisable):
    mesh = SensorSectorMesh(*EXAMPLE, True)
    view = mesh.vertex_buffer.raw  # the vertex array cannot grow meanwhile
    assert mesh.add_vertices(*[Vector3(0, 0, 0)] * 4) is None
    assert [(u.exc_type, u.object) for u in unraisable] == [(BufferError, f"{MESH}.add_vertices")]
    view.release()
    mesh.add_single(*[Vector3(0, 0, 0)] * 3)
    # next_index did not move: the triangle takes the indices after the mesh's
    assert list(mesh.indexbuffer.indices)[228:] == [152, 153, 154]


def test_builder_with_an_exported_view_reports_every_quad(gl, unraisable):
    """The general path: each quad's add fails on its own, nothing is appended."""
    mesh = SensorSectorMesh(*EXAMPLE, True)
    view = mesh.vertex_buffer.raw
    mesh.build_x_faces()
    assert [u.object for u in unraisable] == [f"{MESH}.add_vertices"] * 8
    assert len(view) == 152 * 6 and len(mesh.indexbuffer) == 228


def test_builder_with_an_exported_index_view_appends_vertices_only(gl, unraisable):
    mesh = SensorSectorMesh(*EXAMPLE, True)
    view = memoryview(mesh.indexbuffer)
    mesh.build_y_faces()
    # each quad's vertices went in, its first index failed; counters unchanged
    assert [(u.exc_type, u.object) for u in unraisable] == [(BufferError, f"{MESH}.add_vertices")] * 6
    assert len(mesh.vertex_buffer.vertices) == 152 + 24
    view.release()
    mesh.add_single(*[Vector3(0, 0, 0)] * 3)
    assert list(mesh.indexbuffer.indices)[228:] == [152, 153, 154]


# ---------------------------------------------------------------- subclasses


class Recording(SensorSectorMesh):
    """Records every quad and triangle it receives, then emits it as usual."""

    def add_vertices(self, v0, v1, v2, v3):
        self.__class__.log.append(("quad", v0, v1, v2, v3))
        super().add_vertices(v0, v1, v2, v3)

    def add_single(self, v0, v1, v2):
        self.__class__.log.append(("tri", v0, v1, v2))
        super().add_single(v0, v1, v2)


@pytest.mark.parametrize("args", [EXAMPLE + (True,), (0.0, Q, 0.1, HALF_PI, 1.0, 2.0, 4, 3, False)])
def test_override_receives_every_primitive_in_order(gl, args):
    Recording.log = []
    mesh = Recording(*args)
    prims = reference(*args)
    got = [tuple((v.x, v.y, v.z) for v in entry[1:]) for entry in Recording.log]
    assert got == prims
    assert all(type(v) is Vector3 for entry in Recording.log for v in entry[1:])
    # the same mesh as the direct emission, bit for bit
    plain = SensorSectorMesh(*args)
    assert bytes(mesh.vertex_buffer.raw) == bytes(plain.vertex_buffer.raw)
    assert list(mesh.indexbuffer.indices) == list(plain.indexbuffer.indices)


def test_override_without_super_emits_nothing(gl):
    class Silent(SensorSectorMesh):
        def add_vertices(self, v0, v1, v2, v3):
            pass

    mesh = Silent(*EXAMPLE, True)
    assert mesh.vertex_buffer.vertices == [] and len(mesh.indexbuffer) == 0


def test_builder_overrides_replace_the_builders(gl):
    calls = []

    class Custom(SensorSectorMesh):
        def build_x_faces(self):
            calls.append("x")

        def build_y_faces(self):
            calls.append("y")
            super().build_y_faces()

        def build_z_flat_faces(self):
            calls.append("never")

    mesh = Custom(*EXAMPLE, True)
    assert calls == ["x", "y"]
    assert len(mesh.indexbuffer) == 6 * (6 + 24)  # walls and caps, no cones


def test_failing_override_is_reported_and_construction_goes_on(gl, unraisable):
    class Failing(SensorSectorMesh):
        def build_y_faces(self):
            raise KeyError("walls")

        def add_single(self, v0, v1, v2):
            raise ValueError("tri")

    mesh = Failing(0.0, Q, 0.1, HALF_PI, 1.0, 2.0, 4, 3, False)
    assert len(mesh.indexbuffer) == 6 * 6  # capped: y is not the wall builder here
    assert [u.object for u in unraisable] == [f"{MESH}.add_single"] * 8
    mesh = Failing(*EXAMPLE, True)
    assert unraisable[-1].object == f"{MESH}.build_y_faces"
    assert isinstance(unraisable[-1].exc_value, KeyError)


def test_reference_cycles_are_collected(gl):
    class Holder(SensorSectorMesh):
        pass

    mesh = Holder(*EXAMPLE, True)
    mesh.me = mesh
    import weakref

    ref = weakref.ref(mesh)
    del mesh
    gc.collect()
    assert ref() is None


# ---------------------------------------------------------------- arguments and errors


def test_keyword_arguments(gl):
    kw = dict(az_min=0.0, az_max=Q, el_min=0.1, el_max=0.6, near_range=1.0, far_range=2.0,
              az_precision=4, el_precision=3, is_rounded=True)
    mesh = SensorSectorMesh(**kw)
    assert len(mesh.indexbuffer) == 228


@pytest.mark.parametrize("args, kwargs, error, message", [
    (EXAMPLE, {}, TypeError, "__cinit__() takes exactly 9 positional arguments (8 given)"),
    (EXAMPLE + (True, 1), {}, TypeError, "__cinit__() takes exactly 9 positional arguments (10 given)"),
    (EXAMPLE + (True,), {"rounded": True}, TypeError,
     "__cinit__() got an unexpected keyword argument 'rounded'"),
    (EXAMPLE + (True,), {"az_min": 0.0}, TypeError,
     "__cinit__() got multiple values for keyword argument 'az_min'"),
    (EXAMPLE[1:], {"is_rounded": True}, TypeError,
     "__cinit__() takes exactly 9 positional arguments (7 given)"),
    (("a",) + EXAMPLE[1:] + (True,), {}, TypeError, "must be real number, not str"),
    (EXAMPLE[:6] + ("4", 3, True), {}, TypeError, "an integer is required"),
    (EXAMPLE[:6] + (4, 2 ** 31, True), {}, OverflowError, "value too large to convert to int"),
])
def test_argument_errors(gl, args, kwargs, error, message):
    with pytest.raises(error) as e:
        SensorSectorMesh(*args, **kwargs)
    assert str(e.value) == message


def test_constructor_errors_name_the_constructor(gl):
    with pytest.raises(TypeError) as e:
        SensorSectorMesh("a", *EXAMPLE[1:], True)
    assert f"{MESH}.__cinit__" in [entry.name for entry in traceback.extract_tb(e.tb)]


@pytest.mark.parametrize("args", [
    (0.0, 1.0, 0.0, 1.0, 1.0, 2.0, 2 ** 31 - 1, 2 ** 31 - 1, True),
    (0.0, 1.0, 0.0, 1.0, 1.0, 2.0, 2 ** 31 - 1, 3, False),
    # 4 * (2 * 65536 + 2 * 8192 + 65536 * 8192 * 2) vertices: just past 2**32
    (0.0, 1.0, 0.0, 1.0, 1.0, 2.0, 65536, 8192, True),
])
def test_too_large_a_mesh_is_refused_before_building(gl, args):
    tracemalloc.start()
    try:
        with pytest.raises(OverflowError, match="passes the 32-bit index range"):
            SensorSectorMesh(*args)
        _, peak = tracemalloc.get_traced_memory()
    finally:
        tracemalloc.stop()
    assert peak < 1 << 20


def test_pickling_refused(gl):
    mesh = SensorSectorMesh(*EXAMPLE, True)
    for attempt in (lambda: pickle.dumps(mesh), lambda: mesh.__setstate__(())):
        with pytest.raises(TypeError, match="^no default __reduce__ due to non-trivial __cinit__$"):
            attempt()


def test_needs_a_context(gl_session):
    gl_session.close_test_gl_context()
    try:
        with pytest.raises(RuntimeError, match="no current OpenGL context"):
            SensorSectorMesh(*EXAMPLE, True)
    finally:
        gl_session.create_test_gl_context()


# ---------------------------------------------------------------- memory


def test_no_python_objects_per_vertex_and_exact_capacity(gl):
    args = (0.0, 5.5, -0.3, 1.2, 10.0, 1000.0, 64, 32, True)
    SensorSectorMesh(*args)  # warm up caches
    gc.collect()
    blocks = sys.getallocatedblocks()
    tracemalloc.start()
    try:
        mesh = SensorSectorMesh(*args)
        snapshot = tracemalloc.take_snapshot()
    finally:
        tracemalloc.stop()
    gc.collect()
    nverts = len(mesh.vertex_buffer.raw) // 6
    nidx = len(mesh.indexbuffer)
    assert nverts == 4 * (128 + 64 + 64 * 32 * 2)
    assert sys.getallocatedblocks() - blocks < 100  # about a dozen objects, not thousands
    assert mesh.vertex_buffer._capacity == nverts
    sizes = sorted(t.size for t in snapshot.traces)
    # the two arrays are single blocks of exactly their contents
    assert sizes[-2:] == sorted([nverts * 24, nidx * 4])
