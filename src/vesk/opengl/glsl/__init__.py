"""GLSL shaders with include directives, compile messages mapped to their source, programs."""
