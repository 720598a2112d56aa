"""Checks shared by the mesh tests: positions from double-single records,
triangle normals, closedness and orientation of indexed triangle meshes.

Positions are rebuilt in float64 as hi + lo from a vertex buffer's `raw`
view. "Coincident" vertices are identified by exact float64 equality unless
a rounding is asked for (`decimals`).
"""
import numpy as np

from glhelpers import buffer_bytes, buffer_contents, vertex_attrib  # noqa: F401  (re-exported)


def positions(raw, floats_per_vertex=6):
    """(N, 3) float64 positions, hi + lo, from a `raw` float view whose records
    start with the hi and lo triples."""
    f = np.frombuffer(raw, dtype=np.float32).reshape(-1, floats_per_vertex)
    return f[:, 0:3].astype(np.float64) + f[:, 3:6].astype(np.float64)


def index_array(indexbuffer_or_list):
    """The indices as an (T, 3) int64 array of triangles."""
    idx = np.asarray(list(indexbuffer_or_list), dtype=np.int64)
    assert idx.size % 3 == 0, "index count is not a multiple of 3"
    return idx.reshape(-1, 3)


def triangle_normals(pos, tris):
    """Right-hand-rule normals (not normalised): (v1 - v0) x (v2 - v0)."""
    v0, v1, v2 = pos[tris[:, 0]], pos[tris[:, 1]], pos[tris[:, 2]]
    return np.cross(v1 - v0, v2 - v0)


def centroids(pos, tris):
    return pos[tris].mean(axis=1)


def weld(pos, decimals=None):
    """An id per vertex; equal ids for coincident positions."""
    key = pos if decimals is None else np.round(pos, decimals)
    key = key + 0.0  # -0.0 and 0.0 are the same place
    _, ids = np.unique(key, axis=0, return_inverse=True)
    return ids.reshape(-1)


def welded_triangles(pos, tris, decimals=None):
    """Triangles over welded ids, without those that collapse to a line
    (two welded corners equal): their edges cancel in pairs."""
    ids = weld(pos, decimals)[tris]
    keep = (ids[:, 0] != ids[:, 1]) & (ids[:, 1] != ids[:, 2]) & (ids[:, 0] != ids[:, 2])
    return ids[keep]


def edge_problems(pos, tris, decimals=None):
    """Problems with the welded mesh as a closed, consistently oriented
    surface: a list of (description, count); empty when every undirected
    edge belongs to exactly two triangles that run along it in opposite
    directions."""
    t = welded_triangles(pos, tris, decimals)
    directed = np.concatenate([t[:, [0, 1]], t[:, [1, 2]], t[:, [2, 0]]])
    und = np.sort(directed, axis=1)
    _, counts = np.unique(und, axis=0, return_counts=True)
    problems = []
    if np.any(counts != 2):
        problems.append(("edges not shared by exactly two triangles", int(np.sum(counts != 2))))
    _, dcounts = np.unique(directed, axis=0, return_counts=True)
    if np.any(dcounts != 1):
        problems.append(("directed edges used more than once (inconsistent winding)",
                         int(np.sum(dcounts != 1))))
    return problems


def assert_closed(pos, tris, decimals=None):
    """Every edge shared by exactly two triangles, which wind consistently."""
    problems = edge_problems(pos, tris, decimals)
    assert not problems, problems


def signed_volume(pos, tris):
    """Sum of the signed tetrahedra (origin, triangle): negative when every
    normal of a closed, consistently wound mesh points into its volume."""
    v0, v1, v2 = pos[tris[:, 0]], pos[tris[:, 1]], pos[tris[:, 2]]
    return float(np.einsum("ij,ij->i", v0, np.cross(v1, v2)).sum() / 6.0)


def normals_toward(pos, tris, point, min_area=0.0):
    """Boolean per triangle: its normal points toward `point` (a 3-vector, or
    one point per triangle). Triangles with area <= min_area count as True."""
    n = triangle_normals(pos, tris)
    d = np.asarray(point, dtype=np.float64) - centroids(pos, tris)
    area = 0.5 * np.linalg.norm(n, axis=1)
    return (np.einsum("ij,ij->i", n, d) > 0) | (area <= min_area)


# ---------------------------------------------------------------- GL read-back


def assert_uploaded_and_bound(gl, mesh, attributes, stride):
    """The mesh's two buffers hold their CPU-side contents in GL, and the
    vertex array of `binding` records the index buffer and, for each
    (location, size, offset), an enabled GL_FLOAT attribute of the vertex
    buffer with `stride`; the location after the last is disabled. The
    vertex array binding is 0 again afterwards."""
    vb, ib = mesh.vertex_buffer, mesh.indexbuffer
    assert buffer_bytes(gl, vb.gl_id) == bytes(vb.raw)
    assert buffer_contents(gl, ib.gl_id, np.uint32).tolist() == list(ib.indices)
    gl.glBindVertexArray(mesh_binding(mesh).gl_id)
    try:
        assert int(gl.glGetIntegerv(gl.GL_ELEMENT_ARRAY_BUFFER_BINDING)) == ib.gl_id
        for location, size, offset in attributes:
            assert vertex_attrib(gl, location) == {
                "enabled": 1, "size": size, "type": gl.GL_FLOAT, "normalized": 0,
                "stride": stride, "buffer": vb.gl_id, "offset": offset}
        assert vertex_attrib(gl, len(attributes))["enabled"] == 0
    finally:
        gl.glBindVertexArray(0)


def mesh_binding(mesh):
    """The mesh's AttribBinding: its property, or (where it has none) the one
    object of that class the mesh refers to, beside one VertexDescription."""
    import gc

    from vesk.opengl.buffers.attrib_binding import AttribBinding, VertexDescription

    if hasattr(mesh, "binding"):
        return mesh.binding
    refs = gc.get_referents(mesh)
    bindings = [r for r in refs if isinstance(r, AttribBinding)]
    assert len([r for r in refs if isinstance(r, VertexDescription)]) == 1
    assert len(bindings) == 1
    return bindings[0]


def split(values):
    """The double-single split of float64 values: (hi, lo) float32 arrays."""
    v = np.asarray(values, dtype=np.float64)
    hi = v.astype(np.float32)
    lo = (v - hi.astype(np.float64)).astype(np.float32)
    return hi, lo


def records(points):
    """(N, 6) float32 records (hi x y z, lo x y z) of (N, 3) float64 points."""
    hi, lo = split(np.asarray(points, dtype=np.float64).reshape(-1, 3))
    return np.concatenate((hi, lo), axis=1)
