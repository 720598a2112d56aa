"""Lookup of the package's data files (shaders, textures, other data).

Data files are named by relative paths with backslash separators, as the
code names them: ``"cone\\cone_vs.glsl"``, ``"earth\\day_8192.png"``. A
forward slash is accepted too. A name is resolved under each search root in
turn and the first existing file wins:

* the folders a host added with :func:`add_search_path`, in the order added;
* the package's own data folder (``vesk/data``).

Under a root, :func:`get_path` looks at ``<root>/<name>``,
:func:`get_shader_path` at ``<root>/shaders/<name>`` and
:func:`get_texture_path` at ``<root>/textures/<name>``; a host folder is laid
out like the package's data folder. Names are relative and stay inside the
root: an absolute name, a drive, or a ``..`` part raises ValueError.

Without ``default`` an unknown name raises FileNotFoundError naming the file
and the folders searched; with ``default=`` given, the default is returned.
"""
import os
import threading

__all__ = [
    "add_search_path",
    "get_path",
    "get_shader_path",
    "get_texture_path",
    "remove_search_path",
    "search_paths",
]

_DATA_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data")
_MISSING = object()
_lock = threading.Lock()
_host_paths = []


def add_search_path(path):
    """Add a host data folder, searched before the package's data folder.

    Folders are searched in the order added; adding one twice keeps its first
    place. Raises NotADirectoryError when ``path`` is not an existing folder.
    """
    full = os.path.abspath(os.fspath(path))
    if not os.path.isdir(full):
        raise NotADirectoryError(f"resource search path is not a folder: {full!r}")
    with _lock:
        if full not in _host_paths:
            _host_paths.append(full)


def remove_search_path(path):
    """Remove a folder added with :func:`add_search_path`; ValueError if absent."""
    full = os.path.abspath(os.fspath(path))
    with _lock:
        try:
            _host_paths.remove(full)
        except ValueError:
            raise ValueError(f"not a resource search path: {full!r}") from None


def search_paths():
    """The search roots, in search order (host folders, then the package's)."""
    with _lock:
        return tuple(_host_paths) + (_DATA_DIR,)


def _parts(name):
    if not isinstance(name, str):
        raise TypeError(f"resource name must be a str, not {type(name).__name__}")
    parts = [p for p in name.replace("\\", "/").split("/") if p not in ("", ".")]
    if (not parts or name.startswith(("/", "\\")) or ":" in parts[0]
            or any(p == ".." for p in parts)):
        raise ValueError(f"invalid resource name {name!r}: a relative path inside the data folder "
                         "is required")
    return parts


def _find(kind, subdir, name, default):
    parts = _parts(name)
    looked = []
    for root in search_paths():
        folder = os.path.join(root, subdir) if subdir else root
        candidate = os.path.join(folder, *parts)
        if os.path.isfile(candidate):
            return candidate
        looked.append(folder)
    if default is not _MISSING:
        return default
    raise FileNotFoundError(f"{kind} {name!r} not found; looked in: {', '.join(looked)}")


def get_path(name, *, default=_MISSING):
    """Full path of the data file ``name`` (for example "textures\\ui\\ui.png")."""
    return _find("data file", "", name, default)


def get_shader_path(name, *, default=_MISSING):
    """Full path of the shader file ``name`` (for example "cone\\cone_vs.glsl")."""
    return _find("shader file", "shaders", name, default)


def get_texture_path(name, *, default=_MISSING):
    """Full path of the texture file ``name`` (for example "earth\\day_8192.png")."""
    return _find("texture file", "textures", name, default)
