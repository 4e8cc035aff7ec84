"""Fixtures shared by the Python tests: every package is written by pakwriter."""

import itertools

import pytest

import cases


@pytest.fixture
def write_package(tmp_path):
    """Writes a `pakwriter.Package` or raw bytes to a fresh file and returns its
    path as a str; for None, returns a path where no file exists."""
    counter = itertools.count()

    def write(package):
        path = tmp_path / f"package{next(counter)}.pak"
        if package is not None:
            path.write_bytes(package if isinstance(package, bytes) else package.to_bytes())
        return str(path)

    return write


@pytest.fixture
def foo_path(write_package):
    """The path of a sound package of the module Foo, with module content."""
    return write_package(cases.foo_package())
