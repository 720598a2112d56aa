"""DomeShellMesh and CappedSphereVertexBuffer against the hidden GL context."""
import gc
import math
import pickle
import struct
import sys

import numpy as np
import pytest

import meshcheck

pytestmark = pytest.mark.usefixtures("gl")

MODULE = "vesk.scene.geometry.dome_shell_mesh"
DOME = MODULE + ".DomeShellMesh."
PI = 3.141592653589793
QUADRANTS = (0.0, 1.5707963267948966, 3.141592653589793, 4.71238898038469, 6.283185307179586)
EARTH = (0.0818, 6378.137)


@pytest.fixture(scope="module")
def mod():
    from vesk.scene.geometry import dome_shell_mesh

    return dome_shell_mesh


# ------------------------------------------------------------------ reference


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


class Reference:
    """The construction written out plainly in Python, with a dict of keys."""

    def __init__(self, ecc, radius, depth):
        self.e2, self.radius, self.depth = ecc ** 2.0, radius, depth
        self.rows = 2.0 * depth + 1
        k = 1 - (self.rows - 1) ** 2 / self.rows ** 2
        self.band_start, self.segments = int(1 / k), int(2.0 ** depth)
        self.cap_fraction = self.band_start / self.segments
        self.records, self.indices, vd = [], [], {}
        for h in (1.0, -1.0):
            for q in range(4):
                self.quadrant(QUADRANTS[q], QUADRANTS[q + 1], h, vd)

    def vertex(self, lam, phi, vd):
        cphi, sphi = math.cos(phi), math.sin(phi)
        nx, ny = math.cos(lam) * cphi, math.sin(lam) * cphi
        nr = self.radius / math.sqrt(1 - self.e2 * sphi * sphi)
        pos = (nx * nr, ny * nr, (1 - self.e2) * nr * sphi)
        tex = (f32(lam / (2 * PI)), f32(0.5 - phi / PI))
        key = pos + tex
        if key not in vd:
            hi = [f32(c) for c in pos]
            self.records.append(hi + [f32(c - h) for c, h in zip(pos, hi)]
                                + [f32(nx), f32(ny), f32(sphi)] + list(tex))
            vd[key] = len(self.records) - 1
        return vd[key]

    def convert(self, p, vd):
        phi = p[2] * (PI / 2 - (p[1] ** 2.0 / self.rows ** 2) * (self.cap_fraction * PI / 2))
        self.indices.append(self.vertex(p[0], phi, vd))

    def band(self, p, vd):
        self.indices.append(self.vertex(p[0], p[2] * (PI / 2 - (p[1] * PI) / 2), vd))

    def quadrant(self, start, end, h, vd):
        pole, va, vb = (0.0, 0.0, h), (start, 1.0, h), (end, 1.0, h)
        order = (pole, vb, va) if h > 0 else (pole, va, vb)
        for p in order:
            self.convert(p, vd)
        self.split(order[2], order[1], self.depth - 1, vd)
        step = 1 / self.segments
        for i in range(self.band_start, self.segments):
            for j in range(self.segments):
                l0, l1 = j * step * PI * 0.5 + start, (j + 1) * step * PI * 0.5 + start
                y0, y1 = step * i, (i + 1.0) * step
                c00, c10, c01, c11 = (l0, y0, h), (l1, y0, h), (l0, y1, h), (l1, y1, h)
                for p in ((c00, c10, c01, c01, c10, c11) if h > 0 else (c00, c01, c10, c10, c01, c11)):
                    self.band(p, vd)

    def split(self, v1, v2, depth, vd):
        def down(a):
            return (a[0] + 0.0, a[1] + 1.0, a[2] + 0.0)

        o1, o2 = down(v1), down(v2)
        vmid = tuple((a + b) * 0.5 for a, b in zip(o1, o2))
        e1, emid, e2 = down(o1), down(vmid), down(o2)
        for p in (v1, v2, vmid, v1, vmid, o1, o2, vmid, v2,
                  o1, vmid, e1, e1, vmid, emid, vmid, o2, emid, emid, o2, e2):
            self.convert(p, vd)
        if depth > 0:
            self.split(e1, emid, depth - 1, vd)
            self.split(emid, e2, depth - 1, vd)


def records(mesh):
    return np.frombuffer(mesh.vertex_buffer.raw, dtype=np.float32).reshape(-1, 11)


def positions(mesh):
    return meshcheck.positions(mesh.vertex_buffer.raw, floats_per_vertex=11)


def triangles(mesh):
    return meshcheck.index_array(mesh.indexbuffer.indices)


# ------------------------------------------------------------------ sizes


@pytest.mark.parametrize("depth, vertices, indices", [(1, 57, 288), (2, 167, 912), (3, 545, 3120)])
def test_counts(mod, depth, vertices, indices):
    m = mod.DomeShellMesh(0.0, 1.0, depth)
    assert (len(records(m)), len(m.indexbuffer)) == (vertices, indices)
    assert m.vertex_buffer.get_last_index() == vertices - 1


@pytest.mark.parametrize("depth, rows, band_start, segments, cap_fraction", [
    (1, 3, 1, 2, 0.5), (2, 5, 2, 4, 0.5), (3, 7, 3, 8, 0.375), (4, 9, 4, 16, 0.25), (5, 11, 5, 32, 0.15625),
])
def test_derived_values_and_triangles_per_patch(mod, depth, rows, band_start, segments, cap_fraction):
    m = mod.DomeShellMesh(*EARTH, depth)
    assert (m.rows, m.band_start, m.segments, m.cap_fraction) == (rows, band_start, segments, cap_fraction)
    assert (m.ecc, m.radius, m.depth, m.ecc_squared) == (0.0818, 6378.137, depth, 0.0818 ** 2.0)
    per_patch = 1 + 7 * (2 ** depth - 1) + 2 * segments * (segments - band_start)
    assert len(m.indexbuffer) == 3 * 8 * per_patch


@pytest.mark.parametrize("ecc, radius", [(0.0, 1.0), EARTH, (0.5, 3.0)])
@pytest.mark.parametrize("depth", [1, 2, 3, 4])
def test_records_and_indices_match_the_plain_construction_bit_for_bit(mod, ecc, radius, depth):
    m = mod.DomeShellMesh(ecc, radius, depth)
    ref = Reference(ecc, radius, depth)
    assert records(m).tobytes() == np.array(ref.records, dtype=np.float32).tobytes()
    assert m.indexbuffer.indices == ref.indices


# ------------------------------------------------------------------ particular vertices


def find(mesh, u, v):
    return [k for k, r in enumerate(records(mesh)) if (r[9], r[10]) == (u, v)]


def test_equator_at_longitude_zero(mod):
    m = mod.DomeShellMesh(0.0, 6378.137, 3)
    [k] = find(m, 0.0, 0.5)
    vertex = m.vertex_buffer.vertices[k]
    p = vertex["_position"]
    assert (p["hi"]["x"], p["lo"]["x"]) == (f32(6378.137), f32(6378.137 - f32(6378.137)))
    assert (p["hi"]["y"], p["hi"]["z"]) == (0.0, 0.0)
    assert vertex["_normal"] == {"x": 1.0, "y": 0.0, "z": 0.0}
    assert vertex["_texture_coord"] == {"x": 0.0, "y": 0.5}


@pytest.mark.parametrize("ecc", [0.0, 0.0818, 0.9])
def test_poles(mod, ecc):
    radius = 6378.137
    m = mod.DomeShellMesh(ecc, radius, 2)
    pos = positions(m)
    [north] = find(m, 0.0, 0.0)
    [south] = find(m, 0.0, 1.0)
    assert north == 0  # the first vertex made
    for k, sign in ((north, 1), (south, -1)):
        assert pos[k][2] == pytest.approx(sign * radius * math.sqrt(1 - ecc ** 2), rel=1e-13)
        assert abs(pos[k][0]) < 1e-9 * radius and abs(pos[k][1]) < 1e-9 * radius
        assert records(m)[k][8] == sign * 1.0  # normal z


def test_seam_vertices_are_not_shared(mod):
    m = mod.DomeShellMesh(*EARTH, 3)
    [a] = find(m, 0.0, 0.5)
    [b] = find(m, 1.0, 0.5)
    assert a != b
    pa, pb = positions(m)[[a, b]]
    assert pa[0] == pb[0] and pa[2] == pb[2] and abs(pb[1]) < 1e-12 * EARTH[1]


# ------------------------------------------------------------------ shape


@pytest.mark.parametrize("ecc, depth", [(0.0, 4), (0.0818, 4), (0.6, 3)])
def test_every_triangle_faces_the_centre(mod, ecc, depth):
    m = mod.DomeShellMesh(ecc, 6378.137, depth)
    pos, tris = positions(m), triangles(m)
    assert meshcheck.normals_toward(pos, tris, (0.0, 0.0, 0.0)).all()
    assert meshcheck.signed_volume(pos, tris) < 0


@pytest.mark.parametrize("ecc", [0.0, 0.0818])
def test_depth_3_is_closed(mod, ecc):
    m = mod.DomeShellMesh(ecc, 6378.137, 3)
    # the seam's two copies differ by the rounding of sin(2 pi)
    meshcheck.assert_closed(positions(m), triangles(m), decimals=6)


def test_normals_are_the_ellipsoid_normals(mod):
    ecc, radius = 0.3, 2.0
    m = mod.DomeShellMesh(ecc, radius, 3)
    pos, normal = positions(m), records(m)[:, 6:9].astype(np.float64)
    gradient = pos * np.array([1.0, 1.0, 1.0 / (1 - ecc ** 2)])  # of x^2 + y^2 + z^2 / (1 - e^2)
    gradient /= np.linalg.norm(gradient, axis=1)[:, None]
    assert np.allclose(normal, gradient, atol=1e-6)
    assert np.allclose(pos[:, 0] ** 2 + pos[:, 1] ** 2 + pos[:, 2] ** 2 / (1 - ecc ** 2), radius ** 2)


# ------------------------------------------------------------------ depth limits


def test_negative_depth_is_float_division(mod):
    with pytest.raises(ZeroDivisionError, match=r"^float division$"):
        mod.DomeShellMesh(*EARTH, -1)


def test_depth_zero_is_refused(mod):
    with pytest.raises(ValueError, match=r"^depth must be at least 1, got 0$"):
        mod.DomeShellMesh(*EARTH, 0)


@pytest.mark.parametrize("depth", [13, 40, 2**31 - 1])
def test_depth_past_the_index_range_is_refused_before_building(mod, depth):
    with pytest.raises(OverflowError, match=r"more than 2147483647 indices"):
        mod.DomeShellMesh(*EARTH, depth)


@pytest.mark.parametrize("args, exc, message", [
    ((0.0, 1.0), TypeError, "__cinit__() takes exactly 3 positional arguments (2 given)"),
    ((0.0, 1.0, "3"), TypeError, "an integer is required"),
    ((0.0, 1.0, 2**40), OverflowError, "value too large to convert to int"),
    (("e", 1.0, 1), TypeError, "must be real number, not str"),
])
def test_constructor_argument_errors(mod, args, exc, message):
    with pytest.raises(exc) as e:
        mod.DomeShellMesh(*args)
    assert str(e.value) == message


# ------------------------------------------------------------------ errors inside the build


@pytest.mark.parametrize("override_split", [False, True])
def test_zero_w_at_the_poles_is_reported_and_index_0_used(mod, unraisable, override_split):
    cls = mod.DomeShellMesh
    if override_split:
        class Splitting(mod.DomeShellMesh):
            def split(self, v1, v2, depth, vertex_data):
                super().split(v1, v2, depth, vertex_data)
        cls = Splitting
    m = cls(1.0, 1.0, 2)
    assert len(unraisable) == 8  # the pole of each quadrant
    for u in unraisable:
        assert (u.exc_type, str(u.exc_value), u.object) == (ZeroDivisionError, "float division", DOME + "convert")
    indices = m.indexbuffer.indices
    assert len(indices) == 912
    per_patch = 912 // 8
    assert [indices[q * per_patch] for q in range(8)] == [0] * 8  # index 0 stands in for each pole
    assert indices[1] == 0  # ... which is the first vertex made: the first quadrant's vb
    assert find(m, 0.0, 0.0) == [] and find(m, 0.0, 1.0) == []


@pytest.mark.parametrize("ecc, radius", [(1.5, 1.0), (0.1, float("nan"))])
def test_nan_keys_never_match_in_either_build(mod, unraisable, ecc, radius):
    class Splitting(mod.DomeShellMesh):
        def split(self, v1, v2, depth, vertex_data):
            super().split(v1, v2, depth, vertex_data)

    native, through_dict = mod.DomeShellMesh(ecc, radius, 2), Splitting(ecc, radius, 2)
    assert unraisable == []
    assert np.isnan(positions(native)).any()
    assert bytes(native.vertex_buffer.raw) == bytes(through_dict.vertex_buffer.raw)
    assert native.indexbuffer.indices == through_dict.indexbuffer.indices
    assert len(native.indexbuffer) == 912 and len(records(native)) > 167
    assert native.vertex_buffer._capacity == len(records(native))


def test_exported_vertex_view_blocks_a_rebuild(mod, unraisable):
    m = mod.DomeShellMesh(*EARTH, 2)
    view = m.vertex_buffer.raw
    before = bytes(view)
    m.create_geometry()
    assert [(u.exc_type, u.object) for u in unraisable] == [(BufferError, DOME + "create_geometry")]
    assert bytes(view) == before and len(m.indexbuffer) == 912


# ------------------------------------------------------------------ overridable builders


def test_create_geometry_again_repeats_every_vertex(mod, gl):
    m = mod.DomeShellMesh(*EARTH, 2)
    first = records(m).copy()
    indices = m.indexbuffer.indices
    assert m.create_geometry() is None
    assert np.array_equal(records(m), np.concatenate([first, first]))
    assert m.indexbuffer.indices == indices + [k + len(first) for k in indices]
    assert len(meshcheck.buffer_bytes(gl, m.vertex_buffer.gl_id)) == first.nbytes  # not uploaded again
    assert m.vertex_buffer._capacity == 2 * len(first)


def test_split_override_sees_every_step_and_gives_the_same_mesh(mod):
    calls = []

    class Splitting(mod.DomeShellMesh):
        def split(self, v1, v2, depth, vertex_data):
            calls.append(((v1.x, v1.y, v1.z), (v2.x, v2.y, v2.z), depth, type(vertex_data), len(vertex_data)))
            super().split(v1, v2, depth, vertex_data)

    m = Splitting(*EARTH, 3)
    assert len(calls) == 8 * (2 ** 3 - 1)
    assert calls[0] == ((0.0, 1.0, 1.0), (QUADRANTS[1], 1.0, 1.0), 2, dict, 3)
    assert calls[1][2] == 1 and calls[1][0][1] == 3.0  # one step, two rows down
    south = calls[4 * 7]
    assert south[:3] == ((QUADRANTS[1], 1.0, -1.0), (0.0, 1.0, -1.0), 2)
    plain = mod.DomeShellMesh(*EARTH, 3)
    assert bytes(m.vertex_buffer.raw) == bytes(plain.vertex_buffer.raw)
    assert m.indexbuffer.indices == plain.indexbuffer.indices


def test_create_geometry_override_replaces_the_build(mod):
    ran = []

    class Empty(mod.DomeShellMesh):
        def create_geometry(self):
            ran.append(len(self.indexbuffer))

    m = Empty(*EARTH, 2)
    assert ran == [0]
    assert m.vertex_buffer.vertices == [] and len(m.indexbuffer) == 0
    assert m.binding.gl_id > 0


def test_split_from_python_with_its_own_dictionary(mod, Vector3):
    m = mod.DomeShellMesh(*EARTH, 1)
    n = len(records(m))
    vertex_data = {}
    m.split(Vector3(0.0, 1.0, 1.0), Vector3(QUADRANTS[1], 1.0, 1.0), 0, vertex_data)
    assert len(m.indexbuffer) == 288 + 21
    assert sorted(vertex_data.values()) == list(range(n, n + len(vertex_data)))
    assert set(m.indexbuffer.indices[288:]) == set(vertex_data.values())
    key = next(iter(vertex_data))
    assert len(key) == 5 and all(type(c) is float for c in key)
    # the same call with the filled dictionary makes no new vertex
    m.split(Vector3(0.0, 1.0, 1.0), Vector3(QUADRANTS[1], 1.0, 1.0), 0, vertex_data)
    assert len(records(m)) == n + len(vertex_data)
    assert m.indexbuffer.indices[309:] == m.indexbuffer.indices[288:309]


@pytest.mark.parametrize("position, value, message", [
    (0, None, "Argument 'v1' has incorrect type (expected linvec.vector3.Vector3, got NoneType)"),
    (1, (1.0, 2.0, 3.0), "Argument 'v2' has incorrect type (expected linvec.vector3.Vector3, got tuple)"),
    (3, None, "Argument 'vertex_data' has incorrect type (expected dict, got NoneType)"),
    (3, [], "Argument 'vertex_data' has incorrect type (expected dict, got list)"),
])
def test_split_argument_errors(mod, Vector3, position, value, message):
    m = mod.DomeShellMesh(*EARTH, 1)
    args = [Vector3(0.0, 1.0, 1.0), Vector3(1.0, 1.0, 1.0), 0, {}]
    args[position] = value
    with pytest.raises(TypeError) as e:
        m.split(*args)
    assert str(e.value) == message
    assert len(m.indexbuffer) == 288


def test_split_past_the_index_range_is_reported_without_appending(mod, Vector3, unraisable):
    m = mod.DomeShellMesh(*EARTH, 1)
    m.split(Vector3(0.0, 1.0, 1.0), Vector3(1.0, 1.0, 1.0), 40, {})
    assert [(u.exc_type, u.object) for u in unraisable] == [(OverflowError, DOME + "split")]
    assert len(m.indexbuffer) == 288 and len(records(m)) == 57


# ------------------------------------------------------------------ GL state and memory


def test_uploaded_and_bound_with_four_attributes(mod, gl):
    m = mod.DomeShellMesh(*EARTH, 2)
    assert len(bytes(m.vertex_buffer.raw)) == 167 * 44
    meshcheck.assert_uploaded_and_bound(gl, m, [(0, 3, 0), (1, 3, 12), (2, 3, 24), (3, 2, 36)], stride=44)


def test_no_python_objects_per_vertex_and_exact_capacity(mod):
    gc.collect()
    blocks = sys.getallocatedblocks()
    m = mod.DomeShellMesh(*EARTH, 5)
    gc.collect()
    kept = sys.getallocatedblocks() - blocks
    n = len(records(m))
    assert n == 7909 and kept < 200
    assert m.vertex_buffer._capacity == n


# ------------------------------------------------------------------ CappedSphereVertexBuffer


def record(position, normal, tex):
    hi = [f32(c) for c in position]
    return {"_position": {"hi": dict(zip("xyz", hi)),
                          "lo": dict(zip("xyz", (f32(c - h) for c, h in zip(position, hi))))},
            "_normal": dict(zip("xyz", normal)), "_texture_coord": dict(zip("xy", tex))}


def test_new_vertex_buffer(mod):
    b = mod.CappedSphereVertexBuffer()
    assert (b.get_last_index(), b.vertices, b.get_stride_size()) == (-1, [], 44)
    assert not hasattr(b, "add")  # appended to through the method table only
    with pytest.raises(ValueError):
        b.raw


def test_vertex_buffer_state_restores_reads_back_and_uploads(mod, gl):
    b = mod.CappedSphereVertexBuffer()
    rec = record((1.0, 2.0, 3.0), (0.0, 0.0, 1.0), (0.25, 0.5))
    b.__setstate__((b.gl_id, [rec, record((0.1, 1e7 + 0.3, -2.0), (1.0, 0.0, 0.0), (0.0, 1.0)), rec]))
    assert b.get_last_index() == 2
    assert b.vertices[0] == rec
    assert b.vertices[1]["_position"]["lo"]["y"] == f32(1e7 + 0.3 - f32(1e7 + 0.3))
    b.buffer_data()
    assert len(meshcheck.buffer_bytes(gl, b.gl_id)) == 132


def test_vertex_buffer_pickles(mod):
    vb = mod.DomeShellMesh(*EARTH, 1).vertex_buffer
    copy = pickle.loads(pickle.dumps(vb))
    assert type(copy) is mod.CappedSphereVertexBuffer and copy.gl_id == vb.gl_id
    assert bytes(copy.raw) == bytes(vb.raw)
    with pytest.raises(pickle.PickleError) as e:
        mod.unpickle_CappedSphereVertexBuffer(mod.CappedSphereVertexBuffer, 7, None)
    assert str(e.value) == "Incompatible checksums (7 vs 0xd66f295 = (_gl_id, _vertices))"


def test_mesh_refuses_pickling(mod):
    with pytest.raises(TypeError, match=r"^no default __reduce__ due to non-trivial __cinit__$"):
        pickle.dumps(mod.DomeShellMesh(*EARTH, 1))
