"""The quad emission the sector and the frustum meshes share: traceback
entries name each module's own source file and a line in it."""
import pathlib
import traceback

import pytest

from linvec.vector3 import Vector3

SOURCE = pathlib.Path(__file__).parents[4] / "src" / "vesk" / "scene" / "geometry"

MESHES = [
    pytest.param("sensor_sector_mesh", "SensorSectorMesh", (0.0, 1.5, 0.1, 0.6, 1.0, 2.0, 4, 3, True), id="sector"),
    pytest.param("view_pyramid_mesh", "ViewPyramidMesh", (-1, 1, -1, 1, 1, 2), id="frustum"),
]


def make(module, cls, args):
    mod = __import__(f"vesk.scene.geometry.{module}", fromlist=[cls])
    return getattr(mod, cls)(*args)


def own_entry(tb, module, cls, method):
    """The traceback entry of `method`, checked to name the module's .cpp and
    a line there that instantiates the shared emission."""
    dotted = f"vesk.scene.geometry.{module}.{cls}.{method}"
    [entry] = [e for e in traceback.extract_tb(tb) if e.name == dotted]
    assert entry.filename == f"vesk\\scene\\geometry\\{module}.cpp"
    line = (SOURCE / f"{module}.cpp").read_text().splitlines()[entry.lineno - 1]
    assert "QuadEmission<" in line
    return entry


@pytest.mark.parametrize("module, cls, args", MESHES)
def test_failed_emission_names_the_modules_own_source(gl, unraisable, module, cls, args):
    mesh = make(module, cls, args)
    indices = len(mesh.indexbuffer)
    view = memoryview(mesh.indexbuffer)  # the index buffer cannot grow meanwhile
    mesh.add_single(*[Vector3(0, 0, 0)] * 3)
    [u] = unraisable
    assert (u.exc_type, u.object) == (BufferError, f"vesk.scene.geometry.{module}.{cls}.add_single")
    own_entry(u.exc_traceback, module, cls, "add_single")
    view.release()
    assert len(mesh.indexbuffer) == indices


@pytest.mark.parametrize("module, cls, args", MESHES)
def test_argument_error_names_the_modules_own_source(gl, module, cls, args):
    mesh = make(module, cls, args)
    with pytest.raises(TypeError) as e:
        mesh.add_vertices(Vector3(0, 0, 0), None, Vector3(0, 0, 0), Vector3(0, 0, 0))
    assert str(e.value) == "Argument 'v1' has incorrect type (expected linvec.vector3.Vector3, got NoneType)"
    own_entry(e.tb, module, cls, "add_vertices")


@pytest.mark.parametrize("module, cls, args", MESHES)
def test_failing_override_is_reported_from_the_modules_own_source(gl, unraisable, module, cls, args):
    class Failing(type(make(module, cls, args))):
        def add_vertices(self, v0, v1, v2, v3):
            raise LookupError("no quad")

    mesh = Failing(*args)
    assert unraisable and {(u.exc_type, u.object) for u in unraisable} == {
        (LookupError, f"vesk.scene.geometry.{module}.{cls}.add_vertices")}
    own_entry(unraisable[0].exc_traceback, module, cls, "add_vertices")
    assert len(mesh.indexbuffer) == 0
