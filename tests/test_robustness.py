"""No Python call into the package crashes the interpreter, whatever it passes."""
import pytest

from glhelpers import run_fresh


@pytest.mark.parametrize("seed", [1, 2, 3])
def test_random_calls_do_not_crash(seed):
    out = run_fresh(f"""
        import fuzzcalls
        kinds, classes = fuzzcalls.run({seed}, 20000)
        print(kinds, classes)
    """)
    kinds, classes = map(int, out.split()[-2:])
    # The calls reach most classes with valid arguments, not only error paths.
    assert kinds >= classes // 2
