"""A hidden OpenGL context for tests (EGL on Linux)."""

def create_test_gl_context() -> None:
    """Make a hidden OpenGL 4.x context current on the calling thread.

    Does nothing while a context made by an earlier call is still open.
    Never raises; when no context can be made the thread has none."""

def close_test_gl_context() -> None:
    """Release the hidden context; afterwards no context is current. Never raises."""
