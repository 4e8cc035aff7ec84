"""Writes VOKA mod packages (.pak) for the tests, the examples and the benchmarks.

A package is built from plain values, and every field that a reader checks can be
overridden on its own, so that a corrupt package differs from a sound one in
exactly one place:

    package = Package([Entry("Mods/Foo/meta.kvt", meta_kvt({"Folder": "Foo"}))])
    package.version = 17
    package.write(tmp_path / "old.pak")

Layout written: a 16-byte header (magic, u32 version, u64 table offset), the
stored files back to back, then the file table (u32 record count, u32 block
size, one LZ4 block of 272-byte records). Integers are little-endian.
"""

from __future__ import annotations

import dataclasses
import enum
import itertools
import struct
import zlib
from pathlib import Path
from typing import Mapping, Optional, Sequence, Union
from xml.sax.saxutils import quoteattr

import lz4.block

HEADER_SIZE = 16
RECORD_SIZE = 272
NAME_SIZE = 256


class Compression(enum.IntEnum):
    """The compression kind, the low four bits of a record's flags byte."""

    NONE = 0
    ZLIB = 1
    LZ4 = 2
    ZSTD = 3


def lz4_block(data: bytes) -> bytes:
    """One LZ4 block without the size prefix, as packages store them."""
    return lz4.block.compress(data, store_size=False)


def lz4_zeros_block(size: int) -> bytes:
    """An LZ4 block of `size` (at least 5) zero bytes, written by hand so that
    no buffer of that size is ever made: one literal zero, one match repeating
    it, and the empty literal run that ends the block. It expands about 255
    times, the most the format allows."""
    length = size - 1 - 4 - 15
    return b"\x1f\x00\x01\x00" + b"\xff" * (length // 255) + bytes([length % 255]) + b"\x00"


def _compress(data: bytes, compression: Compression) -> bytes:
    if compression == Compression.ZLIB:
        return zlib.compress(data)
    if compression == Compression.LZ4:
        return lz4_block(data)
    # Nothing here can write zstd; readers refuse it before looking at the bytes.
    return data


def _as_bytes(text: Union[str, bytes]) -> bytes:
    return text.encode() if isinstance(text, str) else text


@dataclasses.dataclass
class Entry:
    """One stored file. The `None` fields are derived from `data`; set one to
    write a record that lies about it."""

    name: Union[str, bytes]
    data: bytes = b""
    compression: Compression = Compression.NONE
    stored: Optional[bytes] = None  # the bytes written to the body
    flags: Optional[int] = None  # the whole flags byte
    offset: Optional[int] = None  # absolute, 48 bits
    size_on_disk: Optional[int] = None
    uncompressed_size: Optional[int] = None
    archive_part: int = 0

    def stored_bytes(self) -> bytes:
        return self.stored if self.stored is not None else _compress(self.data, self.compression)

    def record(self, body_offset: int) -> bytes:
        """The 272-byte table record, given where the stored bytes were written."""
        name = _as_bytes(self.name)
        if len(name) > NAME_SIZE:
            raise ValueError(f"entry name longer than {NAME_SIZE} bytes: {name!r}")
        offset = body_offset if self.offset is None else self.offset
        return struct.pack(
            "<256sIHBBII",
            name,
            offset & 0xFFFFFFFF,
            offset >> 32,
            self.archive_part,
            int(self.compression) if self.flags is None else self.flags,
            len(self.stored_bytes()) if self.size_on_disk is None else self.size_on_disk,
            len(self.data) if self.uncompressed_size is None else self.uncompressed_size,
        )


@dataclasses.dataclass
class Package:
    """A whole package. The `None` fields are derived from the entries."""

    entries: list[Entry] = dataclasses.field(default_factory=list)
    magic: bytes = b"VOKA"
    version: int = 18
    table_offset: Optional[int] = None
    number_of_files: Optional[int] = None
    table_size: Optional[int] = None  # the "bytes in table" field
    table_block: Optional[bytes] = None  # the compressed table itself

    def to_bytes(self) -> bytes:
        body = bytearray()
        records = bytearray()
        for entry in self.entries:
            records += entry.record(HEADER_SIZE + len(body))
            body += entry.stored_bytes()
        block = lz4_block(bytes(records)) if self.table_block is None else self.table_block
        table = struct.pack(
            "<II",
            len(self.entries) if self.number_of_files is None else self.number_of_files,
            len(block) if self.table_size is None else self.table_size,
        )
        offset = HEADER_SIZE + len(body) if self.table_offset is None else self.table_offset
        header = self.magic + struct.pack("<IQ", self.version, offset)
        return header + bytes(body) + table + block

    def write(self, path: Union[str, Path]) -> Path:
        path = Path(path)
        path.write_bytes(self.to_bytes())
        return path


def aliases_of(entry: Entry, offset: int, copies: int) -> list[Entry]:
    """`copies` records like `entry`, whose stored bytes are written at `offset`,
    that point at those bytes and store nothing of their own."""
    alias = dataclasses.replace(entry, stored=b"", offset=offset, size_on_disk=len(entry.stored_bytes()))
    return [alias] * copies


def meta_kvt(module_info: Mapping[str, Union[str, int]], dependencies: Sequence[Mapping] = ()) -> bytes:
    """A "meta.kvt" document: one module description node with an attribute per
    item of `module_info`, and one dependency node per item of `dependencies`."""

    def node(node_id: str, attributes: Mapping, indent: str) -> str:
        lines = [f'{indent}<node id="{node_id}">']
        lines += [
            f"{indent}  <attribute id={quoteattr(key)} value={quoteattr(str(value))}/>"
            for key, value in attributes.items()
        ]
        return "\n".join(lines + [f"{indent}</node>"])

    dependency_nodes = "\n".join(node("ModuleShortDesc", d, " " * 14) for d in dependencies)
    return f"""<?xml version="1.0" encoding="UTF-8"?>
<save>
  <region id="Config">
    <node id="root">
      <children>
        <node id="Dependencies">
          <children>
{dependency_nodes}
          </children>
        </node>
{node("ModuleInfo", module_info, " " * 8)}
      </children>
    </node>
  </region>
</save>
""".encode()


def module_package(
    module_info: Mapping[str, Union[str, int]],
    content: Sequence[str] = (),
    directory: Optional[str] = None,
    compression: Compression = Compression.LZ4,
) -> Package:
    """A module package: its description at Mods/<directory>/meta.kvt (the
    directory defaults to the description's "Folder"), then one small LZ4 file per
    stored path in `content`."""
    directory = module_info.get("Folder", "") if directory is None else directory
    description = Entry(f"Mods/{directory}/meta.kvt", meta_kvt(module_info), compression)
    files = [Entry(path, f"contents of {path}\n".encode(), Compression.LZ4) for path in content]
    return Package([description, *files])


# Documents of one `node` tag as long as a stored file may decompress to: the
# duplicate check of a tag's keys must cost what its distinct keys need.
NODE_TAG_HEAD = "<save><node "
NODE_TAG_TAIL = "></node></save>"


def tag_of_one_key(size: int) -> bytes:
    """A `node` tag of 16 distinct keys, then `a=''` over and over until the
    document is `size` bytes: every key after the first `a` repeats it."""
    head = NODE_TAG_HEAD + "".join(f"k{i}='' " for i in range(16))
    copies = (size - len(head) - len(NODE_TAG_TAIL)) // len("a=''")
    return (head + "a=''" * copies + NODE_TAG_TAIL).encode()


def tag_of_distinct_keys(size: int, last: str = "a=''", tail: str = NODE_TAG_TAIL) -> bytes:
    """A `node` tag of as many distinct keys as `size` bytes hold, the shortest
    first, then `last`, by default its first key again: the repeat comes after
    every other key. There is no `id`, after which the rest of the tag would go
    unread."""
    alphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
    room = size - len(NODE_TAG_HEAD) - len(last) - len(tail)
    attributes = []
    for length in itertools.count(1):
        for letters in itertools.product(alphabet, repeat=length):
            if letters == ("i", "d"):
                continue
            room -= length + 3
            if room < 0:
                return (NODE_TAG_HEAD + "".join(attributes) + last + tail).encode()
            attributes.append("".join(letters) + "=''")
    raise AssertionError("unreachable")
