"""Fixtures for the GLSL tests: a shader data folder and reference texts."""
import pathlib

import pytest

class ShaderFolder:
    """A host data folder on the resource search path; files are written as
    UTF-8 bytes exactly as given (no newline translation)."""

    def __init__(self, root: pathlib.Path):
        self.root = root
        self.shaders = root / "shaders"
        self.shaders.mkdir()

    def path(self, name):
        return str(self.shaders.joinpath(*name.replace("\\", "/").split("/")))

    def write(self, name, text):
        p = pathlib.Path(self.path(name))
        p.parent.mkdir(parents=True, exist_ok=True)
        p.write_bytes(text.encode("utf-8") if isinstance(text, str) else text)
        return str(p)


@pytest.fixture
def shaders(tmp_path):
    from vesk import resource

    folder = ShaderFolder(tmp_path)
    resource.add_search_path(tmp_path)
    yield folder
    resource.remove_search_path(tmp_path)


@pytest.fixture
def refs():
    """set(name, text) registers a reference text for the test only."""
    from vesk.opengl.glsl.glsl_reference_include import GlslReferenceInclude

    added = []

    def set_text(name, text):
        GlslReferenceInclude.set_include_text(name, text)
        added.append(name)

    yield set_text
    for name in added:
        GlslReferenceInclude.set_include_text(name, None)
