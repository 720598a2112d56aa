"""PointerStatus against a pure-Python __slots__ class doing the same conversions.

Prints the time per operation and the ratio to the Python baseline measured
in the same run. Targets: construction <= 0.5x, reading x <= 1.0x.
"""
import argparse
import timeit

from vesk.scene.ui.pointer_status import PointerStatus


class PySlots:
    __slots__ = ("left_pressed", "middle_pressed", "right_pressed", "x", "y", "dx", "dy", "wheel")

    def __init__(self, left_pressed, middle_pressed, right_pressed, x, y, dx, dy, wheel):
        self.left_pressed = bool(left_pressed)
        self.middle_pressed = bool(middle_pressed)
        self.right_pressed = bool(right_pressed)
        self.x = int(x)
        self.y = int(y)
        self.dx = int(dx)
        self.dy = int(dy)
        self.wheel = float(wheel)


def best(stmt, glob, number, repeat):
    return min(timeit.repeat(stmt, globals=glob, number=number, repeat=repeat)) / number


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--number", type=int, default=200_000)
    ap.add_argument("--repeat", type=int, default=7)
    a = ap.parse_args()
    g = {"P": PointerStatus, "S": PySlots}
    g["p"] = PointerStatus(1, 0, 1, 10, -20, 3, -4, 0.1)
    g["s"] = PySlots(1, 0, 1, 10, -20, 3, -4, 0.1)
    rows = [
        ("construct (8 positional)", "P(1, 0, 1, 10, -20, 3, -4, 0.1)",
         "S(1, 0, 1, 10, -20, 3, -4, 0.1)", 0.5),
        ("read x", "p.x", "s.x", 1.0),
    ]
    print(f"{'operation':26} {'vesk ns':>9} {'python ns':>10} {'ratio':>7} {'target':>7}")
    for name, ours, base, target in rows:
        t_ours = best(ours, g, a.number, a.repeat)
        t_base = best(base, g, a.number, a.repeat)
        ratio = t_ours / t_base
        verdict = "ok" if ratio <= target else "MISSED"
        print(f"{name:26} {t_ours * 1e9:9.1f} {t_base * 1e9:10.1f} {ratio:7.2f} {target:6.1f}x {verdict}")


if __name__ == "__main__":
    main()
