"""Makes the shared mesh checks importable as `meshcheck` from this
directory's tests; the fixtures they share."""
import os
import sys

import pytest

_here = os.path.dirname(os.path.abspath(__file__))
if _here not in sys.path:
    sys.path.insert(0, _here)


@pytest.fixture(scope="session")
def Vector3():
    from linvec.vector3 import Vector3

    return Vector3
