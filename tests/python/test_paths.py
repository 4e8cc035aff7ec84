"""Paths as the system sees them: long ones, Windows' separators and device
names, a file held open elsewhere, and a file that changes between two calls.
Each gets a clear answer, and no call leaves the file open: on Windows a file
that a handle still holds cannot be replaced, so replacing it checks that."""

import os
from pathlib import Path

import pytest

import cases
from platforms import ON_WINDOWS, on_windows
from quellan_formats import get_metadata_for_file, is_override

FOO_BYTES = cases.foo_package().to_bytes()
CUT_IN_HEADER = "when reading footer offset of {path} got failed to fill whole buffer"


def system_path(path: Path) -> str:
    """`path` as Python itself must give it to Windows to write past MAX_PATH."""
    return "\\\\?\\" + str(path) if ON_WINDOWS else str(path)


def write_at_length(root: Path, length: int) -> str:
    """Writes the Foo package at a path of exactly `length` characters below `root`."""
    folder = root
    while len(str(folder)) < length - 60:
        folder = folder / ("d" * 50)
    os.makedirs(system_path(folder), exist_ok=True)
    path = folder / ("f" * (length - len(str(folder)) - len("/.pak")) + ".pak")
    Path(system_path(path)).write_bytes(FOO_BYTES)
    assert len(str(path)) == length
    return str(path)


def assert_reads_foo(path: str) -> None:
    assert get_metadata_for_file(path) == cases.FOO_INFO
    assert is_override(path) is False


def assert_refused(path: str, message: str) -> None:
    with pytest.raises(Exception) as caught:
        get_metadata_for_file(path)
    assert caught.value.args == (message.format(path=path),)
    assert is_override(path) is True


@pytest.mark.parametrize("length", [259, 260, 300, 1000])
def test_long_paths_read_like_any_other(tmp_path, length):
    assert_reads_foo(write_at_length(tmp_path, length))


@on_windows
@pytest.mark.parametrize("separators", [("/", "\\"), ("\\", "/")], ids=["slash-then-backslash", "backslash-then-slash"])
def test_mixed_separators_read_like_any_other(tmp_path, separators):
    (tmp_path / "mods").mkdir()
    (tmp_path / "mods" / "Foo.pak").write_bytes(FOO_BYTES)
    first, second = separators
    assert_reads_foo(str(tmp_path).replace("\\", first) + first + "mods" + second + "Foo.pak")


# A device name is a device in every folder. CON reads the console, which a
# process may lack (the runtime then finds no handle behind it); Windows 11 may
# take a device name with an extension for an ordinary name.
DEVICES = [
    pytest.param("NUL", ("not a regular file",), id="NUL"),
    pytest.param("CON", ("not a regular file", "Bad file descriptor (os error 9)"), id="CON"),
    pytest.param("aux.pak", ("not a regular file", "No such file or directory (os error 2)"), id="aux.pak"),
]


@on_windows
@pytest.mark.parametrize("name, answers", DEVICES)
def test_device_names_are_refused(tmp_path, monkeypatch, name, answers):
    monkeypatch.chdir(tmp_path)
    with pytest.raises(Exception) as caught:
        get_metadata_for_file(name)
    assert caught.value.args[0] in [f"when reading {name} got {answer}" for answer in answers]
    assert is_override(name) is True


def test_a_file_open_elsewhere_reads_like_any_other(tmp_path):
    path = tmp_path / "Foo.pak"
    path.write_bytes(FOO_BYTES)
    with open(path, "rb"), open(path, "r+b"):
        assert_reads_foo(str(path))


@on_windows
def test_a_file_locked_by_another_handle_is_refused(tmp_path):
    import ctypes
    from ctypes import wintypes

    path = tmp_path / "Foo.pak"
    path.write_bytes(FOO_BYTES)
    kernel32 = ctypes.WinDLL("kernel32", use_last_error=True)
    kernel32.CreateFileW.restype = wintypes.HANDLE
    generic_read, no_sharing, open_existing = 0x80000000, 0, 3
    handle = kernel32.CreateFileW(str(path), generic_read, no_sharing, None, open_existing, 0, None)
    assert handle not in (None, wintypes.HANDLE(-1).value)
    try:
        assert_refused(str(path), "when reading {path} got Permission denied (os error 13)")
    finally:
        kernel32.CloseHandle(wintypes.HANDLE(handle))
    assert_reads_foo(str(path))


def test_each_call_sees_the_file_as_it_is_then(tmp_path):
    path = tmp_path / "Foo.pak"
    replacement = tmp_path / "replacement.pak"
    path.write_bytes(FOO_BYTES)
    assert_reads_foo(str(path))
    with open(path, "r+b") as file:
        file.truncate(12)
    assert_refused(str(path), CUT_IN_HEADER)
    replacement.write_bytes(FOO_BYTES)
    os.replace(replacement, path)
    assert_reads_foo(str(path))
    os.remove(path)
    assert_refused(str(path), "when reading {path} got No such file or directory (os error 2)")
