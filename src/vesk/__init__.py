"""vesk: OpenGL 4.x scene modules."""
