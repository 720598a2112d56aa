"""Creating and releasing buffers and bindings leaves GL names and memory flat."""

from glhelpers import run_fresh


def test_100k_buffers_and_bindings_leave_names_and_memory_flat():
    out = run_fresh("""
        import psutil
        from OpenGL import GL
        from linvec.vector3f import Vector3f
        from vesk.opengl import headless_gl
        from vesk.opengl.buffers.attrib_binding import (AttribBinding, VertexAttribute,
                                                        VertexDescription)
        from vesk.opengl.buffers.index_buffer import IntIndexBuffer
        from vesk.opengl.buffers.vertex_types import PosVertexBuffer

        headless_gl.create_test_gl_context()
        proc = psutil.Process()
        corner = Vector3f(1.0, 2.0, 3.0)

        def live_names():
            # Names are handed out from 1 up: a leak shows in this range.
            names = range(1, 2049)
            return (sum(1 for n in names if GL.glIsBuffer(n)),
                    sum(1 for n in names if GL.glIsVertexArray(n)))

        def cycle(count):
            for i in range(count):
                vb = PosVertexBuffer()
                vb.add(corner)
                vb.buffer_data()
                ib = IntIndexBuffer()
                ib.add(i)
                ib.buffer_data()
                description = VertexDescription()
                description.add(VertexAttribute(vb, 0, 3, 5126, False, 0))
                binding = AttribBinding(description, ib)
                del vb, ib, description, binding

        cycle(5000)  # warm up allocator pools and driver caches
        names0, rss0 = live_names(), proc.memory_info().rss
        cycle(100000)
        names1, rss1 = live_names(), proc.memory_info().rss
        print(*names0, *names1, rss1 - rss0)
    """)
    buffers0, arrays0, buffers1, arrays1, grown = map(int, out.split())
    assert (buffers0, arrays0) == (0, 0)
    assert (buffers1, arrays1) == (0, 0)
    assert grown < 4 * 1024 * 1024
