"""Test-only extension modules that exercise the module frame."""
