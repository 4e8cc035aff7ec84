"""Packages both functions must survive, shared by the metadata and override tests.

Each sound variant holds module content, so `is_override` answering True for it
comes from the failure and not from a package without content.
"""

import dataclasses

import pytest

from pakwriter import Compression, meta_kvt, module_package

FOO_INFO = {
    "Folder": "Foo",
    "MD5": "0123456789abcdef0123456789abcdef",
    "Name": "Foo Mod",
    "PublishHandle": 1234567890123,
    "UUID": "d0c0e7a2-4f65-4bd4-9d0a-8c7f4a7b1e11",
    "Version64": 36028797018963968,
}
FOO_CONTENT = ["Mods/Foo/Story/x.txt"]

# Messages that several test modules expect.
NO_MODULE_INFO = ("no node found with XPath "
                  "/save/region[@id='Config']/node[@id='root']/children/node[@id='ModuleInfo']")
MODULE_INFO_FAILED = "meta.kvt in the VOKA file didn't match expected schema due to failed to parse ModuleInfo node"


def foo_package(**package_fields):
    """The sound Foo package, with package-level fields replaced."""
    return dataclasses.replace(module_package(FOO_INFO, FOO_CONTENT), **package_fields)


def foo_with_description(**entry_fields):
    """The Foo package whose description entry has fields replaced."""
    package = foo_package()
    package.entries[0] = dataclasses.replace(package.entries[0], **entry_fields)
    return package


# (contents of the file, or None for no file; message of get_metadata_for_file)
UNREADABLE = [
    pytest.param(None, "when reading {path} got No such file or directory (os error 2)", id="missing"),
    pytest.param(b"", "when reading footer offset of {path} got failed to fill whole buffer", id="empty"),
    pytest.param(foo_package().to_bytes()[:12], "when reading footer offset of {path} got failed to fill whole buffer",
                 id="cut-in-header"),
    pytest.param(foo_package().to_bytes()[:-3], "when reading .pak compressed table got failed to fill whole buffer",
                 id="cut-in-table"),
    # A zip header whose bytes 8 to 15 happen to point at the end of the file.
    pytest.param(b"PK\x03\x04" + bytes(4) + (16).to_bytes(8, "little"),
                 "when reading .pak number of files contained files got failed to fill whole buffer", id="foreign"),
    pytest.param(foo_with_description(compression=Compression.ZSTD),
                 "zstd-compressed data in .pak not currently supported", id="zstd-description"),
    pytest.param(foo_with_description(flags=0x05),
                 "unknown compression type specified with 5 found when .pak compression flags for Mods/Foo/meta.kvt",
                 id="unknown-compression"),
    pytest.param(foo_with_description(stored=b"x\x9c not deflate", compression=Compression.ZLIB),
                 "tried to decompress Mods/Foo/meta.kvt but got corrupt deflate stream", id="corrupt-zlib"),
    pytest.param(foo_with_description(data=b"<save><region id='Config'/></save>"),
                 NO_MODULE_INFO, id="no-module-info"),
    pytest.param(foo_with_description(data=meta_kvt({"Version64": "1 2"})),
                 MODULE_INFO_FAILED, id="bad-number"),
]

# Header faults that only the override test checks for.
REFUSED_HEADERS = [
    pytest.param(foo_package(version=17), id="version-17"),
    pytest.param(foo_package(magic=b"ABCD"), id="foreign-magic"),
]
