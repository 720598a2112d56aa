"""ViewPyramidMesh and FrustumVertexBuffer against the hidden GL context."""
import gc
import math
import pickle

import numpy as np
import pytest

import meshcheck

pytestmark = pytest.mark.usefixtures("gl")

MODULE = "vesk.scene.geometry.view_pyramid_mesh"
ADD_VERTICES = MODULE + ".ViewPyramidMesh.add_vertices"

# face k owns vertices 4k .. 4k+3, in this corner order
FACES = [
    ("NBL", "FBL", "NBR", "FBR"),  # bottom
    ("NTL", "NTR", "FTL", "FTR"),  # top
    ("NBL", "NTL", "FBL", "FTL"),  # left
    ("NBR", "FBR", "NTR", "FTR"),  # right
    ("NBL", "NBR", "NTL", "NTR"),  # near
    ("FBL", "FTL", "FBR", "FTR"),  # far
]


@pytest.fixture(scope="module")
def mod():
    from vesk.scene.geometry import view_pyramid_mesh

    return view_pyramid_mesh


def corners(left, right, bottom, top, near, far):
    s = far / near
    return {
        "NBL": (left, bottom, near), "FBL": (left * s, bottom * s, far),
        "NBR": (right, bottom, near), "FBR": (right * s, bottom * s, far),
        "NTL": (left, top, near), "FTL": (left * s, top * s, far),
        "NTR": (right, top, near), "FTR": (right * s, top * s, far),
    }


def ds_split(v):
    hi = np.float32(v)
    return float(hi), float(np.float32(v - float(hi)))


def raw_floats(vertex_buffer):
    return np.frombuffer(vertex_buffer.raw, dtype=np.float32).reshape(-1, 6)


# ------------------------------------------------------------------ construction


def test_unit_frustum_counts_indices_and_corners(mod):
    m = mod.ViewPyramidMesh(-1, 1, -1, 1, 1, 2)
    ib = m.indexbuffer
    assert len(ib) == 36
    assert ib.indices[:6] == [0, 1, 2, 1, 3, 2]
    assert ib.indices[-6:] == [20, 21, 22, 21, 23, 22]
    assert len(m.vertex_buffer.raw) * 4 == 576
    assert (m.next_index, m.index_count) == (24, 36)
    pos = meshcheck.positions(m.vertex_buffer.raw)
    assert tuple(pos[0]) == (-1.0, -1.0, 1.0)  # NBL
    assert tuple(pos[23]) == (2.0, 2.0, 2.0)  # FTR


@pytest.mark.parametrize("bounds", [
    (-1.0, 1.0, -1.0, 1.0, 1.0, 2.0),
    (-0.3, 1.7, -2.25, 0.4, 0.1, 1000.0),
    (1e5 + 0.1, 1e5 + 0.7, -3.3, 0.2, 7.0, 70001.0),
    (-1.0, 1.0, -1.0, 1.0, -1.0, 2.0),  # near < 0: the far rectangle mirrored (scale -2)
])
def test_vertices_are_the_split_corners_face_by_face(mod, bounds):
    m = mod.ViewPyramidMesh(*bounds)
    c = corners(*bounds)
    expected = []
    for face in FACES:
        for name in face:
            hl = [ds_split(x) for x in c[name]]
            expected.append([h for h, _ in hl] + [lo for _, lo in hl])
    assert raw_floats(m.vertex_buffer).tolist() == expected
    v0 = m.vertex_buffer.vertices[0]["_position"]
    assert (v0["hi"]["x"], v0["lo"]["x"]) == ds_split(bounds[0])
    assert (m.left, m.right, m.bottom, m.top, m.near, m.far) == bounds


def test_create_from_fov_aspect(mod):
    m = mod.ViewPyramidMesh.create_from_fov_aspect(math.pi / 2, 2, 1, 10)
    assert type(m) is mod.ViewPyramidMesh
    t = math.tan(math.pi / 4)
    assert (m.left, m.right, m.bottom, m.top, m.near, m.far) == (-2 * t, 2 * t, -t, t, 1.0, 10.0)
    assert m.right == pytest.approx(2.0, rel=1e-15)
    pos = meshcheck.positions(m.vertex_buffer.raw)
    far = {tuple(np.round(p, 9)) for p in pos if p[2] == 10.0}
    assert far == {(x, y, 10.0) for x in (-20.0, 20.0) for y in (-10.0, 10.0)}


def test_zero_field_of_view_collapses_onto_the_axis(mod):
    m = mod.ViewPyramidMesh.create_from_fov_aspect(0.0, 1.5, 1, 10)
    pos = meshcheck.positions(m.vertex_buffer.raw)
    assert np.all(pos[:, :2] == 0.0)
    tris = meshcheck.index_array(m.indexbuffer.indices)
    assert np.all(np.linalg.norm(meshcheck.triangle_normals(pos, tris), axis=1) == 0.0)


def test_zero_near_raises_float_division(mod):
    with pytest.raises(ZeroDivisionError, match=r"^float division$"):
        mod.ViewPyramidMesh(-1, 1, -1, 1, 0, 2)


@pytest.mark.parametrize("args, exc, message", [
    ((1, 2, 3), TypeError, "__cinit__() takes exactly 6 positional arguments (3 given)"),
    (("a", 1, -1, 1, 1, 2), TypeError, "must be real number, not str"),
])
def test_constructor_argument_errors(mod, args, exc, message):
    with pytest.raises(exc) as e:
        mod.ViewPyramidMesh(*args)
    assert str(e.value) == message


def test_keywords(mod):
    m = mod.ViewPyramidMesh(left=-1, right=1, bottom=-2, top=2, near=1, far=3)
    assert (m.bottom, m.far) == (-2.0, 3.0)
    f = mod.ViewPyramidMesh.create_from_fov_aspect(vertical_fov_rad=1.0, aspect_ratio=1, near=2, far=3)
    assert f.top == pytest.approx(2 * math.tan(0.5))


# ------------------------------------------------------------------ shape


@pytest.mark.parametrize("bounds", [
    (-1.0, 2.0, -0.5, 1.5, 1.0, 3.0),
    (0.2, 0.9, 0.1, 0.3, 0.5, 40.0),  # off-axis: the apex lies outside the near rectangle
])
def test_every_triangle_faces_inward_and_the_surface_is_closed(mod, bounds):
    m = mod.ViewPyramidMesh(*bounds)
    pos = meshcheck.positions(m.vertex_buffer.raw)
    tris = meshcheck.index_array(m.indexbuffer.indices)
    inside = pos.mean(axis=0)  # the mean of the corners lies inside the convex frustum
    assert meshcheck.normals_toward(pos, tris, inside).all()
    assert meshcheck.signed_volume(pos, tris) < 0
    meshcheck.assert_closed(pos, tris)


# ------------------------------------------------------------------ GL state


def test_buffers_are_uploaded_and_bound_in_the_vertex_array(mod, gl):
    m = mod.ViewPyramidMesh(-1, 1, -1, 1, 1, 2)
    assert len(bytes(m.vertex_buffer.raw)) == 576
    assert int(gl.glGetIntegerv(gl.GL_VERTEX_ARRAY_BINDING)) == 0
    meshcheck.assert_uploaded_and_bound(gl, m, [(0, 3, 0), (1, 3, 12)], stride=24)


# ------------------------------------------------------------------ emission


def test_add_vertices_and_add_single_after_construction(mod, Vector3, gl):
    m = mod.ViewPyramidMesh(-1, 1, -1, 1, 1, 2)
    pts = [Vector3(i, 2 * i, 3 * i) for i in range(4)]
    assert m.add_vertices(*pts) is None
    assert m.indexbuffer.indices[36:] == [24, 25, 26, 25, 27, 26]
    assert (m.next_index, m.index_count) == (28, 42)
    assert meshcheck.positions(m.vertex_buffer.raw)[24:].tolist() == [[i, 2 * i, 3 * i] for i in range(4)]
    m.add_single(v0=pts[0], v1=pts[1], v2=pts[2])
    assert m.indexbuffer.indices[42:] == [28, 29, 30]
    assert (m.next_index, m.index_count) == (31, 45)
    # The GL copy changes only with the next upload.
    assert len(meshcheck.buffer_bytes(gl, m.vertex_buffer.gl_id)) == 576
    m.vertex_buffer.buffer_data()
    assert meshcheck.buffer_bytes(gl, m.vertex_buffer.gl_id) == bytes(m.vertex_buffer.raw)


@pytest.mark.parametrize("call, bad", [
    ("add_vertices", 0), ("add_vertices", 3), ("add_single", 2),
])
@pytest.mark.parametrize("value, got", [(None, "NoneType"), ((1.0, 2.0, 3.0), "tuple")])
def test_corner_arguments_must_be_vector3(mod, Vector3, call, bad, value, got):
    m = mod.ViewPyramidMesh(-1, 1, -1, 1, 1, 2)
    n = 4 if call == "add_vertices" else 3
    args = [Vector3(0, 0, 0)] * n
    args[bad] = value
    with pytest.raises(TypeError) as e:
        getattr(m, call)(*args)
    assert str(e.value) == (f"Argument 'v{bad}' has incorrect type "
                            f"(expected linvec.vector3.Vector3, got {got})")
    assert (len(m.indexbuffer), m.next_index) == (36, 24)


def test_failed_index_append_is_unraisable_and_stops_the_emission(mod, Vector3, unraisable):
    m = mod.ViewPyramidMesh(-1, 1, -1, 1, 1, 2)
    view = m.indexbuffer.raw  # an exported view: the index buffer refuses to grow
    m.add_vertices(*[Vector3(k, k, k) for k in range(4)])
    assert [u.exc_type for u in unraisable] == [BufferError]
    assert unraisable[0].object == ADD_VERTICES
    # the four vertices went in, no index did, the counters did not move
    assert len(m.vertex_buffer.raw) == 28 * 6
    assert (len(m.indexbuffer), m.next_index, m.index_count) == (36, 24, 36)
    assert list(view.cast("B").cast("I")) == m.indexbuffer.indices


def test_subclass_receives_every_quad_in_emission_order(mod):
    seen = []

    class Recording(mod.ViewPyramidMesh):
        def add_vertices(self, v0, v1, v2, v3):
            seen.append(tuple((v.x, v.y, v.z) for v in (v0, v1, v2, v3)))
            super().add_vertices(v0, v1, v2, v3)

    bounds = (-1.0, 2.0, -0.5, 1.5, 1.0, 3.0)
    m = Recording(*bounds)
    c = corners(*bounds)
    assert seen == [tuple(c[n] for n in face) for face in FACES]
    plain = mod.ViewPyramidMesh(*bounds)
    assert bytes(m.vertex_buffer.raw) == bytes(plain.vertex_buffer.raw)
    assert m.indexbuffer.indices == plain.indexbuffer.indices


def test_override_that_raises_is_reported_and_construction_completes(mod, unraisable):
    class Failing(mod.ViewPyramidMesh):
        def add_vertices(self, v0, v1, v2, v3):
            raise RuntimeError("no quads today")

    m = Failing(-1, 1, -1, 1, 1, 2)
    assert [u.exc_type for u in unraisable] == [RuntimeError] * 6
    assert {u.object for u in unraisable} == {ADD_VERTICES}
    assert len(m.indexbuffer) == 0 and m.vertex_buffer.vertices == []
    assert m.binding.gl_id > 0


# ------------------------------------------------------------------ FrustumVertexBuffer


def test_new_vertex_buffer(mod, Vector3):
    b = mod.FrustumVertexBuffer()
    assert b.vertices == [] and b.get_stride_size() == 24
    with pytest.raises(ValueError):
        b.raw
    for k in range(3):
        b.add(Vector3(k, 0.1, 1e8 + 0.3))
    assert len(b.raw) == 18
    assert [v["_position"]["hi"]["x"] for v in b.vertices] == [0.0, 1.0, 2.0]
    z = b.vertices[0]["_position"]
    assert (z["hi"]["z"], z["lo"]["z"]) == ds_split(1e8 + 0.3)


def test_view_blocks_growth_and_stays_readable(mod, Vector3):
    b = mod.FrustumVertexBuffer()
    b.add(Vector3(1, 2, 3))
    view = b.raw
    for _ in range(64):  # would move the storage under the view
        with pytest.raises(BufferError):
            b.add(Vector3(4, 5, 6))
    assert view.tolist() == [1.0, 2.0, 3.0, 0.0, 0.0, 0.0]
    view.release()
    b.add(Vector3(4, 5, 6))
    assert len(b.raw) == 12


def test_vertex_buffer_pickles_with_gl_id_and_records(mod):
    m = mod.ViewPyramidMesh(-1.1, 1.3, -1, 1, 0.7, 2)
    vb = m.vertex_buffer
    copy = pickle.loads(pickle.dumps(vb))
    assert type(copy) is mod.FrustumVertexBuffer
    assert copy.gl_id == vb.gl_id
    assert bytes(copy.raw) == bytes(vb.raw)
    with pytest.raises(pickle.PickleError) as e:
        mod.unpickle_FrustumVertexBuffer(mod.FrustumVertexBuffer, 1, None)
    assert str(e.value) == "Incompatible checksums (1 vs 0xd66f295 = (_gl_id, _vertices))"


def test_mesh_refuses_pickling_and_takes_part_in_gc(mod):
    m = mod.ViewPyramidMesh(-1, 1, -1, 1, 1, 2)
    with pytest.raises(TypeError, match=r"^no default __reduce__ due to non-trivial __cinit__$"):
        pickle.dumps(m)
    assert {id(o) for o in gc.get_referents(m)} >= {
        id(m.binding), id(m.description), id(m.vertex_buffer), id(m.indexbuffer)}


def test_capacity_is_exact(mod):
    m = mod.ViewPyramidMesh(-1, 1, -1, 1, 1, 2)
    assert m.vertex_buffer._capacity == 24
