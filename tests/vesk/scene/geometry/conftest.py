"""Makes the shared mesh checks importable as `meshcheck` from this directory's tests."""
import os
import sys

_here = os.path.dirname(os.path.abspath(__file__))
if _here not in sys.path:
    sys.path.insert(0, _here)
