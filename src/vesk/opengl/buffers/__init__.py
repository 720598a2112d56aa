"""GL buffer objects: vertex and index buffers, vertex layouts and vertex array objects."""
