"""`python -m vesk`: check the installation on this machine.

Creates the hidden GL context, prints the driver, imports every module of
linvec and vesk and reports which ones load.
"""
import ctypes
import ctypes.util
import importlib
import pkgutil
import sys

import vesk


def gl_description() -> str:
    """Version and renderer of the current context, read through libGL."""
    name = ctypes.util.find_library("GL") or "libGL.so.1"
    try:
        lib = ctypes.CDLL(name)
    except OSError as e:
        return f"OpenGL library not found: {e}"
    lib.glGetString.restype = ctypes.c_char_p
    lib.glGetString.argtypes = [ctypes.c_uint]
    version, renderer = lib.glGetString(0x1F02), lib.glGetString(0x1F01)
    if not version:
        return "no OpenGL context could be created"
    return f"OpenGL {version.decode()} on {renderer.decode()}"


def main() -> int:
    from vesk.opengl import headless_gl

    headless_gl.create_test_gl_context()
    print(gl_description())
    import linvec

    failed = 0
    infos = list(pkgutil.walk_packages(linvec.__path__, "linvec."))
    infos += list(pkgutil.walk_packages(vesk.__path__, "vesk."))
    for info in infos:
        if info.name.startswith(("vesk._testing", "vesk.libvesk_core")) or info.name == "vesk.__main__":
            continue  # test-only modules and the shared frame library
        try:
            importlib.import_module(info.name)
            print(f"ok      {info.name}")
        except Exception as e:  # noqa: BLE001
            failed += 1
            print(f"FAILED  {info.name}: {type(e).__name__}: {e}")
    headless_gl.close_test_gl_context()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
