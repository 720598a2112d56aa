"""Meshes of sensor volumes: sectors, dome shells and view pyramids."""
