"""vesk.resource: backslash names resolved under the package's and the host's data folders."""
import os

import pytest

from vesk import resource

PACKAGE_DATA = os.path.join(os.path.dirname(resource.__file__), "data")


@pytest.fixture
def host(tmp_path):
    """A host data folder, searched during the test."""
    resource.add_search_path(tmp_path)
    yield tmp_path
    resource.remove_search_path(tmp_path)


def put(root, relative, text="x"):
    path = root.joinpath(*relative.split("/"))
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(text)
    return str(path)


def test_package_data_folder_is_searched_last(host):
    assert resource.search_paths() == (str(host), PACKAGE_DATA)
    assert os.path.isdir(os.path.join(PACKAGE_DATA, "shaders"))
    assert os.path.isdir(os.path.join(PACKAGE_DATA, "textures"))


def test_package_data_file():
    assert resource.get_path("README.md") == os.path.join(PACKAGE_DATA, "README.md")


@pytest.mark.parametrize("lookup, where", [
    (resource.get_path, ""),
    (resource.get_shader_path, "shaders/"),
    (resource.get_texture_path, "textures/"),
])
@pytest.mark.parametrize("name", ["cone\\cone_vs.glsl", "cone/cone_vs.glsl"])
def test_names_map_onto_subfolders(host, lookup, where, name):
    expected = put(host, where + "cone/cone_vs.glsl")
    assert lookup(name) == expected


def test_each_lookup_keeps_to_its_folder(host):
    put(host, "shaders/only_a_shader.glsl")
    assert resource.get_shader_path("only_a_shader.glsl")
    with pytest.raises(FileNotFoundError):
        resource.get_texture_path("only_a_shader.glsl")
    with pytest.raises(FileNotFoundError):
        resource.get_path("only_a_shader.glsl")


def test_host_folder_comes_before_the_package(host):
    mine = put(host, "README.md")
    assert resource.get_path("README.md") == mine
    resource.remove_search_path(host)
    try:
        assert resource.get_path("README.md") == os.path.join(PACKAGE_DATA, "README.md")
    finally:
        resource.add_search_path(host)


def test_unknown_name_raises_naming_the_name_and_the_folders(host):
    with pytest.raises(FileNotFoundError) as exc:
        resource.get_shader_path("earth\\missing_fs.glsl")
    assert str(exc.value) == (
        "shader file 'earth\\\\missing_fs.glsl' not found; looked in: "
        f"{os.path.join(str(host), 'shaders')}, {os.path.join(PACKAGE_DATA, 'shaders')}")


@pytest.mark.parametrize("default", [None, "fallback.png", 0])
def test_default_is_returned_for_unknown_names(default):
    assert resource.get_texture_path("no\\such.png", default=default) is default
    assert resource.get_shader_path("no\\such.glsl", default=default) is default
    assert resource.get_path("no\\such.txt", default=default) is default


def test_folders_are_not_files():
    with pytest.raises(FileNotFoundError):
        resource.get_path("shaders")


@pytest.mark.parametrize("name", ["..\\secret.txt", "cone\\..\\..\\x", "/etc/passwd",
                                  "\\etc\\passwd", "C:\\x.glsl", "", "\\"])
def test_names_must_stay_inside_the_data_folder(name):
    with pytest.raises(ValueError, match="^invalid resource name"):
        resource.get_path(name, default=None)


@pytest.mark.parametrize("name", [None, b"cone\\cone_vs.glsl", 3])
def test_names_must_be_strings(name):
    with pytest.raises(TypeError, match="^resource name must be a str"):
        resource.get_shader_path(name)


def test_search_path_management(tmp_path):
    with pytest.raises(NotADirectoryError):
        resource.add_search_path(tmp_path / "absent")
    resource.add_search_path(tmp_path)
    resource.add_search_path(str(tmp_path))
    try:
        assert resource.search_paths().count(str(tmp_path)) == 1
    finally:
        resource.remove_search_path(tmp_path)
    with pytest.raises(ValueError, match="^not a resource search path"):
        resource.remove_search_path(tmp_path)
    assert resource.search_paths() == (PACKAGE_DATA,)
