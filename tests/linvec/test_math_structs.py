"""float2 and float3: plain 32-bit records as Python objects."""
import pickle

import numpy as np
import pytest

from linvec.math_structs import float2, float3


@pytest.mark.parametrize("cls, n", [(float2, 2), (float3, 3)])
def test_record(cls, n):
    assert cls.__module__ == "linvec.math_structs"
    r = cls(*[0.1 * (i + 1) for i in range(n)])
    assert list(r) == [float(np.float32(0.1 * (i + 1))) for i in range(n)]
    assert list(cls()) == [0.0] * n
    a = np.asarray(r)
    assert a.dtype == np.float32 and a.shape == (n,)
    assert pickle.loads(pickle.dumps(r)) == r
    assert eval(repr(r), {cls.__name__: cls}) == r
    assert r != cls()
    with pytest.raises(TypeError):
        r + r  # a record, not a vector
