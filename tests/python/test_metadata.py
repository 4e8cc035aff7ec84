"""get_metadata_for_file: the dict it returns and the exceptions it raises."""

import pytest

import cases
from pakwriter import Compression, Entry, Package, meta_kvt, module_package
from quellan_formats import get_metadata_for_file

KEYS = ["Folder", "MD5", "Name", "PublishHandle", "UUID", "Version64"]
DEFAULTS = {"Folder": "", "MD5": "", "Name": "", "PublishHandle": 0, "UUID": "", "Version64": 0}


def test_dict_carries_the_six_entries_in_order_and_nothing_else(write_package):
    module_info = {**cases.FOO_INFO, "Author": "someone", "Description": "more", "NumPlayers": 4}
    dependencies = [{"Folder": "Dep", "Name": "Dep", "UUID": "u", "Version64": 1}] * 3
    package = Package([Entry("Mods/Foo/meta.kvt", meta_kvt(module_info, dependencies), Compression.ZLIB)])
    metadata = get_metadata_for_file(write_package(package))
    assert list(metadata) == KEYS
    assert metadata == cases.FOO_INFO
    assert [type(value) for value in metadata.values()] == [str, str, str, int, str, int]


# A text of exactly the size kept in place, as a UUID is written.
UUID_40 = "01234567-89ab-cdef-0123-456789abcdef0123"


@pytest.mark.parametrize("module_info, expected", [
    pytest.param({}, {}, id="no-attributes"),
    pytest.param({"PublishHandle": 2**64 - 1, "Version64": -1}, {"PublishHandle": 2**64 - 1, "Version64": -1},
                 id="extremes"),
    pytest.param({"Version64": -2**63}, {"Version64": -2**63}, id="lowest-version"),
    pytest.param({"Name": " \u00c9t\u00e9 & <\u6f22> ", "UUID": "\U0001f600"},
                 {"Name": "\u00c9t\u00e9 & <\u6f22>", "UUID": "\U0001f600"}, id="non-ascii-text"),
    pytest.param({"UUID": UUID_40}, {"UUID": UUID_40}, id="uuid-of-40-bytes"),
    pytest.param({"UUID": UUID_40[:36] + '&<>"'}, {"UUID": UUID_40[:36] + '&<>"'}, id="uuid-of-40-bytes-escaped"),
    pytest.param({"UUID": f" {UUID_40}\u3000"}, {"UUID": UUID_40}, id="uuid-of-40-bytes-trimmed"),
])
def test_dict_values(write_package, module_info, expected):
    path = write_package(module_package(module_info, directory="Foo"))
    assert get_metadata_for_file(path) == {**DEFAULTS, **expected}


def test_two_calls_return_distinct_equal_dicts(foo_path):
    first, second = get_metadata_for_file(foo_path), get_metadata_for_file(foo_path)
    assert first == second and first is not second


def _description(folder, compression=Compression.LZ4):
    return Entry(f"Mods/{folder}/meta.kvt", meta_kvt({"Folder": folder}), compression)


FAILURES = cases.UNREADABLE + [
    pytest.param(Package([_description("B"), _description("A")]), "multiple meta.kvt in .pak", id="two-descriptions"),
    pytest.param(Package([_description("A"), _description("B", Compression.ZSTD)]),
                 "zstd-compressed data in .pak not currently supported", id="second-description-zstd"),
    pytest.param(Package([Entry("Mods/A/B/meta.kvt", meta_kvt({})), Entry("mods/A/meta.kvt", meta_kvt({})),
                          Entry("Mods/meta.kvt", meta_kvt({}))]), "no mod info found", id="no-description"),
    pytest.param(Package(), "no mod info found", id="empty-table"),
]


@pytest.mark.parametrize("package, message", FAILURES)
def test_failure_raises_plain_exception_with_message(write_package, package, message):
    path = write_package(package)
    with pytest.raises(Exception) as caught:
        get_metadata_for_file(path)
    assert type(caught.value) is Exception
    assert caught.value.args == (message.format(path=path),)
    assert caught.value.__cause__ is None


def test_message_keeps_a_nul_byte_of_the_path():
    with pytest.raises(Exception) as caught:
        get_metadata_for_file("mods/a\0b.pak")
    assert caught.value.args == ("when reading mods/a\0b.pak got file name contained an unexpected NUL byte",)


@pytest.mark.parametrize("package", cases.REFUSED_HEADERS)
def test_header_is_not_checked(write_package, package):
    assert get_metadata_for_file(write_package(package)) == cases.FOO_INFO
