"""Random calls into every class, method, property and function of linvec
and vesk, with arguments of every kind: a crash here is a bug, an exception
is fine. Run it in its own process (`run(seed, iterations)`), so a crash
fails the calling test instead of ending the test run.
"""
import gc
import importlib
import pkgutil
import random
import re
import sys

SKIP = ("create_test_gl_context", "close_test_gl_context")
DUNDERS = ("__reduce__", "__setstate__", "__len__", "__getitem__", "__iter__", "__bool__")
NUMBERS = [0, 1, 2, 3, 7, -1, 0.5, 1e-9, 6.5, 100.0, True, False]


class Weird:
    """Every conversion hook misbehaves."""

    def __int__(self):
        return 2**70

    def __float__(self):
        raise RuntimeError("no float")

    def __index__(self):
        return -5

    def __len__(self):
        return -1

    def __iter__(self):
        return iter([1, None])

    def __bool__(self):
        raise ValueError("no bool")


def public_callables():
    import linvec
    import vesk

    classes, funcs = [], []
    for pkg, prefix in ((linvec, "linvec."), (vesk, "vesk.")):
        for info in pkgutil.walk_packages(pkg.__path__, prefix):
            if info.name.startswith(("vesk._testing", "vesk.libvesk", "vesk.__main__")):
                continue
            module = importlib.import_module(info.name)
            for name, obj in vars(module).items():
                if name.startswith("__") or name in SKIP:
                    continue
                if isinstance(obj, type) and obj.__module__ == module.__name__:
                    classes.append(obj)
                elif callable(obj) and getattr(obj, "__module__", None) == module.__name__:
                    funcs.append(obj)
    return classes, funcs


class Caller:
    def __init__(self, rng):
        from linvec.matrix4 import Matrix4
        from linvec.vector3 import Vector3
        from linvec.vector3f import Vector3f

        self.rng = rng
        self.instances = []
        self.made = set()  # classes constructed at least once
        self.arity = {}  # learnt from the argument-count messages
        self.base = [None, 0, 1, -1, 3, 2**31, 2**32, 2**63, -(2**63), 1.5, -0.0, float("nan"),
                     float("inf"), "x", "a\\b.glsl", "", b"", [], [1, 2, 3], (1.0, 2.0, 3.0), {},
                     {"x": 1}, object(), Weird(), Vector3(1, 2, 3), Vector3f(1, 2, 3),
                     Matrix4.identity(), True]

    @staticmethod
    def key(fn):
        if isinstance(fn, type):
            return fn
        return getattr(fn, "__module__", None), getattr(fn, "__qualname__", id(fn))

    def args(self, n):
        pool = self.base + self.instances[-20:]
        rng = self.rng
        return [rng.choice(NUMBERS) if rng.random() < 0.6 else rng.choice(pool) for _ in range(n)]

    def call(self, fn, most):
        known = self.arity.get(self.key(fn))
        n = known if known is not None and self.rng.random() < 0.85 else self.rng.randint(0, most)
        try:
            return fn(*self.args(n))
        except TypeError as e:
            m = re.search(r"takes (?:exactly|at most|at least) (\d+) positional"
                          r"|takes exactly (one) argument|takes (no) arguments", str(e))
            if m:
                found = m.group(1) or m.group(2) or m.group(3)
                self.arity[self.key(fn)] = int(found) if found.isdigit() else {"one": 1, "no": 0}[found]
            raise


def run(seed, iterations):
    from vesk.opengl import headless_gl

    headless_gl.create_test_gl_context()
    sys.unraisablehook = lambda u: None
    rng = random.Random(seed)
    classes, funcs = public_callables()
    c = Caller(rng)
    for _ in range(iterations):
        r = rng.random()
        try:
            if r < 0.35:
                o = c.call(rng.choice(classes), 9)
                c.instances.append(o)
                c.made.add(type(o))
            elif r < 0.45:
                c.call(rng.choice(funcs), 4)
            elif c.instances:
                o = rng.choice(c.instances)
                names = [n for n in dir(o) if not n.startswith("__") or n in DUNDERS]
                if not names:
                    continue
                name = rng.choice(names)
                attr = getattr(o, name)
                if callable(attr):
                    c.call(attr, 4)
                elif rng.random() < 0.3:
                    setattr(o, name, rng.choice(c.base))
                if rng.random() < 0.05:
                    memoryview(o)
                if rng.random() < 0.05:
                    repr(o)
                    bool(o)
                if rng.random() < 0.02 and len(c.instances) > 50:
                    del c.instances[:25]
                    gc.collect()
        except Exception:  # noqa: BLE001 - any exception is an acceptable answer
            pass
    kinds = len(c.made)
    del c
    gc.collect()
    headless_gl.close_test_gl_context()
    return kinds, len(classes)
