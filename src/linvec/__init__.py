"""linvec: vectors, matrices, quaternions, transforms, rectangles and
double-single conversion for the vesk scene modules.

Each submodule defines one class (``linvec.vector3.Vector3``,
``linvec.matrix4.Matrix4``, ...). Matrices are stored column-major, the
order OpenGL takes them in.
"""
