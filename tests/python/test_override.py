"""is_override: which stored paths are the module's own content, through whole packages."""

import pytest

import cases
from pakwriter import Compression, Entry, Package, meta_kvt
from quellan_formats import is_override


def description(path="Mods/Foo/meta.kvt", folder="Foo", **entry_fields):
    """A description entry; a `folder` of None leaves the "Folder" attribute out."""
    module_info = {} if folder is None else {"Folder": folder}
    return Entry(path, **{"data": meta_kvt(module_info), "compression": Compression.LZ4, **entry_fields})


def content(*paths):
    return [Entry(path, b"data", Compression.ZLIB) for path in paths]


MATERIAL_GROUPS = "Public/Engine/Timeline/MaterialGroups"

OVERRIDE_CASES = [
    pytest.param([description()], True, id="description-only"),
    pytest.param([description(), *content("Mods/Foo/Story/x.txt")], False, id="mods-content"),
    pytest.param([description(), *content("Public/Foo/Assets/a.dds")], False, id="public-content"),
    pytest.param([description(), *content(f"{MATERIAL_GROUPS}/g.bin")], False, id="material-groups-content"),
    pytest.param([*content("Public/Game/x.txt", "Mods/Bar/x.txt"), description()], True, id="other-folders"),
    pytest.param([description(), *content("mods/Foo/x.txt", "Public/foo/x.txt")], True, id="case-sensitive"),
    pytest.param([description(), *content("Mods/Foo/Meta.kvt")], False, id="Meta.kvt-is-content"),
    pytest.param([description(), *content("Mods/Foo/", "Public/Foo/", f"{MATERIAL_GROUPS}/", MATERIAL_GROUPS, "")],
                 True, id="bare-folders"),
    pytest.param([*content("Mods/Foo/x.txt"), description()], False, id="content-before-description"),
    pytest.param([description(folder="Bar"), *content("Mods/Foo/x.txt")], True, id="folder-differs-directory"),
    pytest.param([description(folder="Bar"), *content("Mods/Bar/x.txt")], False, id="folder-differs-mods"),
    pytest.param([description(folder="Bar"), *content("Public/Bar/x.txt")], False, id="folder-differs-public"),
    pytest.param([description(folder=None), *content("Mods/Foo/x.txt")], True, id="no-folder-named-folders"),
    pytest.param([description(folder=None), *content("Mods//x")], False, id="no-folder-mods"),
    pytest.param([description(folder=None), *content("Public//x")], False, id="no-folder-public"),
    pytest.param([description(), description("Mods/Bar/meta.kvt", "Bar"), *content("Mods/Bar/x.txt")], True,
                 id="first-description-decides"),
    pytest.param([description("Mods/Bar/meta.kvt", "Bar"), description(), *content("Mods/Bar/x.txt")], False,
                 id="first-description-decides-other-order"),
    pytest.param([description("Mods/A/B/meta.kvt"), description("Mods/meta.kvt"), *content("Mods/Foo/x.txt")], True,
                 id="no-description-path"),
    pytest.param([description(data=b"<save/>"), *content("Mods/Foo/x.txt")], True, id="unparsable-description"),
    pytest.param([description(compression=Compression.ZSTD), *content("Mods/Foo/x.txt")], True,
                 id="zstd-description"),
    pytest.param([], True, id="empty-table"),
]


@pytest.mark.parametrize("entries, expected", OVERRIDE_CASES)
def test_override_answer(write_package, entries, expected):
    assert is_override(write_package(Package(entries))) is expected


UNREADABLE = [pytest.param(param.values[0], id=param.id) for param in cases.UNREADABLE]


@pytest.mark.parametrize("package", UNREADABLE + cases.REFUSED_HEADERS)
def test_package_that_cannot_be_read_is_an_override(write_package, package):
    assert is_override(write_package(package)) is True
