"""Hostile files: both functions must answer, never crash or hang the interpreter,
and never set aside memory on the word of a size or count that the file declares.

Every call runs in a child interpreter, so that a crash fails one case instead of
ending the run, and so that the child's peak memory before and after the call can
be compared. The timeout only catches hangs; no case is about speed.
"""

import dataclasses
import json
import os
import subprocess
import sys
import textwrap
import zlib
from pathlib import Path
from typing import Callable, Mapping, Union

import pytest

import cases
from pakwriter import Compression, Package, lz4_block

MAX_GROWTH_KIB = 64 << 10
HANG_TIMEOUT_SECONDS = 60
U32_MAX = 0xFFFFFFFF
FOO_FILES = len(cases.foo_package().entries)

# Prints what the call gave and how far it raised the process's peak memory. The
# peak is read from /proc after resetting it: getrusage's ru_maxrss also holds the
# peak of the process that started the child, which hides any growth below it.
DRIVER = textwrap.dedent(
    """
    import json, sys
    import quellan_formats

    def kib(field):
        with open("/proc/self/status") as status:
            return next(int(line.split()[1]) for line in status if line.startswith(field + ":"))

    function = getattr(quellan_formats, sys.argv[1])
    with open("/proc/self/clear_refs", "w") as clear_refs:
        clear_refs.write("5")  # the peak starts again from the memory in use now
    before = kib("VmRSS")
    try:
        outcome = {"returned": function(sys.argv[2])}
    except BaseException as error:
        outcome = {"raised": type(error).__name__, "message": str(error)}
    outcome["growth_kib"] = kib("VmHWM") - before
    print(json.dumps(outcome))
    """
)


def call_in_child(function: str, path: str) -> dict:
    result = subprocess.run(
        [sys.executable, "-c", DRIVER, function, path],
        capture_output=True, text=True, timeout=HANG_TIMEOUT_SECONDS,
    )
    assert result.returncode == 0, f"the child died ({result.returncode}):\n{result.stderr}"
    return json.loads(result.stdout)


@dataclasses.dataclass(frozen=True)
class Raises:
    """`get_metadata_for_file` raises `Exception` with this message; "{path}"
    stands for the file's path. `prefix` keeps the reader's own trailing words
    (such as a position) out of the comparison, `suffix` the leading ones (such
    as a stored size)."""

    message: str
    prefix: bool = False
    suffix: bool = False

    def check(self, outcome: dict, path: str) -> None:
        expected = self.message.format(path=path)
        assert outcome.get("raised") == "Exception", outcome
        if self.prefix:
            assert outcome["message"].startswith(expected), outcome
        elif self.suffix:
            assert outcome["message"].endswith(expected), outcome
        else:
            assert outcome["message"] == expected, outcome


@dataclasses.dataclass(frozen=True)
class Returns:
    """`get_metadata_for_file` returns a dict holding these items."""

    items: Mapping[str, object]

    def check(self, outcome: dict, path: str) -> None:
        returned = outcome.get("returned")
        assert isinstance(returned, dict), outcome
        assert {key: returned.get(key) for key in self.items} == dict(self.items)


FOO = Returns({"Folder": "Foo", "Name": "Foo Mod"})


@dataclasses.dataclass(frozen=True)
class Hostile:
    make: Callable[[Path], str]  # writes the file into a directory, returns its path
    metadata: Union[Raises, Returns]  # what get_metadata_for_file does
    override: bool = True


def package(build: Callable[[], Package]) -> Callable[[Path], str]:
    def make(directory: Path) -> str:
        return str(build().write(directory / "hostile.pak"))

    return make


def existing(path: str) -> Callable[[Path], str]:
    return lambda directory: path


def directory_itself(directory: Path) -> str:
    return str(directory)


def fifo_without_writer(directory: Path) -> str:
    path = directory / "fifo.pak"
    os.mkfifo(path)
    return str(path)


def foo_with(compression: Compression, **entry_fields) -> Callable[[], Package]:
    return lambda: cases.foo_with_description(compression=compression, **entry_fields)


def zeros_declared_as_4_gib(compress: Callable[[bytes], bytes], compression: Compression,
                            expands_to: int) -> Callable[[], Package]:
    """A description whose stored bytes expand to `expands_to` zero bytes,
    declared as 4 GiB: the reader may only ever hold what the data really
    expands to, up to the limit on decompressed entries (and the XML reader a
    copy of what it parses)."""
    return lambda: cases.foo_with_description(compression=compression, stored=compress(expands_to),
                                              uncompressed_size=U32_MAX)


def lz4_zeros(size: int) -> bytes:
    return lz4_block(bytes(size))


def zlib_zeros(size: int) -> bytes:
    """A zlib stream of `size` zero bytes, made without holding them all."""
    compressor = zlib.compressobj()
    chunk = bytes(1 << 20)
    stream = [compressor.compress(chunk) for _ in range(size // len(chunk))]
    return b"".join(stream) + compressor.compress(bytes(size % len(chunk))) + compressor.flush()


DECOMPRESSED_LIMIT = 16 << 20


def with_description(document: bytes) -> Callable[[], Package]:
    return lambda: cases.foo_with_description(data=document)


def table_short_of(declared_files: int) -> Raises:
    """The failure for the Foo package's table when it declares `declared_files`."""
    return Raises("tried to decompress path of table but got the block decompressed to "
                  f"{FOO_FILES * 272} bytes but {declared_files * 272} were declared")


def module_info_node(extra_attributes: str = "") -> str:
    return (f'<node id="ModuleInfo"><attribute id="Folder" value="Foo"{extra_attributes}/>'
            '<attribute id="Name" value="Foo Mod"/></node>')


def deeply_nested(levels: int) -> bytes:
    return ("<save>" + "<node>" * levels + module_info_node() + "</node>" * levels + "</save>").encode()


def many_attributes(count: int) -> bytes:
    extra = "".join(f' a{i}="{i}"' for i in range(count))
    return f"<save>{module_info_node(extra)}</save>".encode()


def entity_expansion(levels: int) -> bytes:
    entities = ['<!ENTITY e0 "lol">'] + [f'<!ENTITY e{i} "{f"&e{i - 1};" * 10}">' for i in range(1, levels)]
    doctype = "<!DOCTYPE save [" + "".join(entities) + "]>"
    return f'{doctype}<save><node id="ModuleInfo"><attribute id="Name" value="&e{levels - 1};"/></node></save>'.encode()


SCHEMA = "meta.kvt in the VOKA file didn't match expected schema due to "
SHORT_READ = "failed to fill whole buffer"
NO_MODULE_INFO = "no node found with XPath /save/region[@id='Config']/node[@id='root']/children/node[@id='ModuleInfo']"

HOSTILE = [
    pytest.param(Hostile(package(lambda: cases.foo_package(number_of_files=U32_MAX)), table_short_of(U32_MAX)),
                 id="file-count-u32-max"),
    pytest.param(Hostile(package(lambda: cases.foo_package(number_of_files=FOO_FILES + 1)), table_short_of(FOO_FILES + 1)),
                 id="table-decompresses-short"),
    pytest.param(Hostile(package(lambda: cases.foo_package(table_size=U32_MAX)),
                         Raises(f"when reading .pak compressed table got {SHORT_READ}")), id="table-size-u32-max"),
    pytest.param(Hostile(package(foo_with(Compression.LZ4, size_on_disk=U32_MAX)),
                         Raises(f"when reading compressed Mods/Foo/meta.kvt from .pak got {SHORT_READ}")),
                 id="size-on-disk-u32-max"),
    # Plain data is the stored bytes whatever size is declared; an LZ4 block may
    # produce less than declared: both read fine.
    pytest.param(Hostile(package(foo_with(Compression.NONE, uncompressed_size=U32_MAX)), FOO, override=False),
                 id="plain-uncompressed-size-u32-max"),
    pytest.param(Hostile(package(foo_with(Compression.LZ4, uncompressed_size=U32_MAX)), FOO, override=False),
                 id="lz4-uncompressed-size-u32-max"),
    pytest.param(Hostile(package(foo_with(Compression.ZLIB, uncompressed_size=U32_MAX)),
                         Raises(f"tried to decompress Mods/Foo/meta.kvt but got {SHORT_READ}")),
                 id="zlib-uncompressed-size-u32-max"),
    pytest.param(Hostile(package(zeros_declared_as_4_gib(lz4_zeros, Compression.LZ4, DECOMPRESSED_LIMIT)),
                         Raises(NO_MODULE_INFO)), id="lz4-bomb-to-limit"),
    pytest.param(Hostile(package(zeros_declared_as_4_gib(zlib_zeros, Compression.ZLIB, DECOMPRESSED_LIMIT)),
                         Raises(f"tried to decompress Mods/Foo/meta.kvt but got {SHORT_READ}")),
                 id="zlib-bomb-to-limit"),
    pytest.param(Hostile(package(zeros_declared_as_4_gib(lz4_zeros, Compression.LZ4, 64 << 20)),
                         Raises(" and decompressed length 0xffffffff but got the block is corrupt or decompresses "
                                f"to more than {DECOMPRESSED_LIMIT} bytes", suffix=True)),
                 id="lz4-bomb-past-limit"),
    pytest.param(Hostile(package(zeros_declared_as_4_gib(zlib_zeros, Compression.ZLIB, 1 << 30)),
                         Raises("tried to decompress Mods/Foo/meta.kvt but got the data decompresses to more than "
                                f"the {DECOMPRESSED_LIMIT} bytes allowed")),
                 id="zlib-bomb-past-limit"),
    pytest.param(Hostile(package(lambda: cases.foo_package(table_offset=1 << 63)),
                         Raises("when seeking footer metadata of {path} got Invalid argument (os error 22)")),
                 id="footer-offset-2^63"),
    pytest.param(Hostile(package(lambda: cases.foo_package(table_offset=(1 << 64) - 1)),
                         Raises("when seeking footer metadata of {path} got Invalid argument (os error 22)")),
                 id="footer-offset-2^64-1"),
    pytest.param(Hostile(directory_itself, Raises("when reading footer offset of {path} got Is a directory (os error 21)")),
                 id="directory"),
    pytest.param(Hostile(fifo_without_writer,
                         Raises("when seeking header metadata of {path} got Illegal seek (os error 29)")),
                 id="fifo-without-writer"),
    pytest.param(Hostile(existing("/dev/zero"),
                         Raises("tried to decompress path of table but got expected another byte, found none")),
                 id="dev-zero"),
    pytest.param(Hostile(package(with_description(deeply_nested(100_000))), FOO, override=False),
                 id="nested-100000-levels"),
    pytest.param(Hostile(package(with_description(many_attributes(100_000))), FOO, override=False),
                 id="100000-attributes"),
    # Nothing in a document type declaration is interpreted: the reference stays unknown.
    pytest.param(Hostile(package(with_description(entity_expansion(10))),
                         Raises(SCHEMA + "failed to parse ModuleInfo node")),
                 id="entity-expansion"),
]


@pytest.fixture(scope="module")
def hostile_files(tmp_path_factory):
    """Each hostile file, written once for all the calls made on it."""
    made = {}

    def path_of(hostile: Hostile) -> str:
        if id(hostile) not in made:
            made[id(hostile)] = hostile.make(tmp_path_factory.mktemp("hostile"))
        return made[id(hostile)]

    return path_of


@pytest.mark.parametrize("hostile", HOSTILE)
def test_get_metadata_for_file_answers_within_bounds(hostile_files, hostile):
    path = hostile_files(hostile)
    outcome = call_in_child("get_metadata_for_file", path)
    hostile.metadata.check(outcome, path)
    assert outcome["growth_kib"] < MAX_GROWTH_KIB, outcome


@pytest.mark.parametrize("hostile", HOSTILE)
def test_is_override_answers_within_bounds(hostile_files, hostile):
    outcome = call_in_child("is_override", hostile_files(hostile))
    assert outcome.get("returned") is hostile.override, outcome
    assert outcome["growth_kib"] < MAX_GROWTH_KIB, outcome
