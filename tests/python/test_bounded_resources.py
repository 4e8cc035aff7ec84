"""Hostile files: both functions must answer, never crash or hang the interpreter,
and never set aside memory on the word of a size or count that the file declares.

Every call runs in a child interpreter, so that a crash fails one case instead of
ending the run, and so that the child's peak memory before and after the call can
be compared. The child's address space is capped too, so that memory the call
cannot get must still end in a clean answer. The timeout only catches hangs; no
case is about speed.
"""

import contextlib
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
from pakwriter import (HEADER_SIZE, RECORD_SIZE, Compression, Entry, Package, aliases_of, lz4_block, lz4_zeros_block,
                       meta_kvt, tag_of_distinct_keys, tag_of_one_key)
from platforms import ON_LINUX, needs_fifos

MAX_GROWTH_KIB = 64 << 10
# What reading one description may add, the document itself included.
DESCRIPTION_GROWTH_KIB = 48 << 10
ADDRESS_SPACE_HEADROOM = 128 << 20
HANG_TIMEOUT_SECONDS = 60
U32_MAX = 0xFFFFFFFF
FOO_FILES = len(cases.foo_package().entries)

# Prints what the call gave and how far it raised the process's peak memory. The
# peak is read from /proc after resetting it: getrusage's ru_maxrss also holds the
# peak of the process that started the child, which hides any growth below it.
# AddressSanitizer's shadow memory needs terabytes of address space, so a child
# that runs under it is left uncapped. Only Linux has /proc and RLIMIT_AS:
# elsewhere the child checks the answer alone and reports no growth.
DRIVER = textwrap.dedent(
    """
    import json, sys
    import quellan_formats

    if sys.platform != "linux":
        function = getattr(quellan_formats, sys.argv[1])
        try:
            outcome = {"returned": function(sys.argv[2])}
        except BaseException as error:
            outcome = {"raised": type(error).__name__, "message": str(error)}
        print(json.dumps(dict(outcome, growth_kib=None)))
        sys.exit()

    import resource

    def kib(field):
        with open("/proc/self/status") as status:
            return next(int(line.split()[1]) for line in status if line.startswith(field + ":"))

    with open("/proc/self/maps") as maps:
        under_address_sanitizer = "libasan" in maps.read()
    if not under_address_sanitizer:
        cap = kib("VmSize") * 1024 + int(sys.argv[3])
        resource.setrlimit(resource.RLIMIT_AS, (cap, cap))
    function = getattr(quellan_formats, sys.argv[1])
    with open("/proc/self/clear_refs", "w") as clear_refs:
        clear_refs.write("5")  # the peak starts again from the memory in use now
    before = kib("VmRSS")
    try:
        outcome = {"returned": function(sys.argv[2])}
    except BaseException as error:
        outcome = {"raised": type(error).__name__, "message": str(error)}
    outcome["growth_kib"] = kib("VmHWM") - before
    outcome["sanitized"] = under_address_sanitizer
    print(json.dumps(outcome))
    """
)


def call_in_child(function: str, path: str) -> dict:
    result = subprocess.run(
        [sys.executable, "-c", DRIVER, function, path, str(ADDRESS_SPACE_HEADROOM)],
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
    # Writes the file into a directory and returns its path; whatever must stay
    # open meanwhile goes on the stack.
    make: Callable[[Path, contextlib.ExitStack], str]
    metadata: Union[Raises, Returns]  # what get_metadata_for_file does
    override: bool = True
    growth_limit_kib: int = MAX_GROWTH_KIB

    def check_growth(self, outcome: dict) -> None:
        # The peak memory is read from /proc, which Linux alone has.
        if not ON_LINUX:
            return
        # AddressSanitizer's shadow and quarantine count as the call's own: under
        # it, only the limit of a whole call holds.
        limit = MAX_GROWTH_KIB if outcome["sanitized"] else self.growth_limit_kib
        assert outcome["growth_kib"] < limit, outcome


def package(build: Callable[[], Package]) -> Callable[[Path, contextlib.ExitStack], str]:
    def make(directory: Path, _open: contextlib.ExitStack) -> str:
        return str(build().write(directory / "hostile.pak"))

    return make


def existing(path: str) -> Callable[[Path, contextlib.ExitStack], str]:
    return lambda directory, _open: path


def directory_itself(directory: Path, _open: contextlib.ExitStack) -> str:
    return str(directory)


def fifo_without_writer(directory: Path, _open: contextlib.ExitStack) -> str:
    path = directory / "fifo.pak"
    os.mkfifo(path)
    return str(path)


def fifo_with_silent_writer(directory: Path, open_meanwhile: contextlib.ExitStack) -> str:
    """A FIFO that this process holds open for writing and never writes to: a
    read from it would wait for ever."""
    path = fifo_without_writer(directory, open_meanwhile)
    writer = os.open(path, os.O_RDWR)  # opening for writing alone would wait for a reader
    open_meanwhile.callback(os.close, writer)
    return path


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


def stored_records(count: int) -> bytes:
    """An LZ4 block of `count` empty records stored as one literal run: the
    block is as large as the table, and a call must not hold it whole."""
    size = count * RECORD_SIZE - 15
    return b"\xf0" + b"\xff" * (size // 255) + bytes([size % 255]) + bytes(count * RECORD_SIZE)


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


def aliased(copies: int) -> Callable[[], Package]:
    """`copies` records of Mods/F/meta.kvt that all point at one zlib stream of a
    description as large as a stored file may decompress to: a package of a few
    KiB whose every record would cost the whole of that size."""

    def build() -> Package:
        document = meta_kvt({"Folder": "F", "Name": "F"}).ljust(DECOMPRESSED_LIMIT)
        record = Entry("Mods/F/meta.kvt", compression=Compression.ZLIB, stored=zlib.compress(document, 9),
                       uncompressed_size=len(document))
        return Package([record, *aliases_of(record, HEADER_SIZE, copies - 1)])

    return build


def kept_name_then_escaped_name() -> Package:
    """Two descriptions as large as a stored file may decompress to, each a
    `Name` that fills it: the first is kept while the second, whose every 64th
    byte is escaped, is read. The second is unescaped straight into its field,
    so the call holds the kept copy, the document and one copy of its `Name`."""

    def description(folder: str, name: str) -> Entry:
        document = meta_kvt({"Folder": folder, "Name": name}).ljust(DECOMPRESSED_LIMIT)
        return Entry(f"Mods/{folder}/meta.kvt", compression=Compression.ZLIB, stored=zlib.compress(document, 9),
                     uncompressed_size=len(document))

    name_size = DECOMPRESSED_LIMIT - 1024
    return Package([description("F", "n" * name_size),
                    description("G", ("x" * 63 + "&") * (name_size // 68))])


def largest_name_then(document: bytes) -> Callable[[], Package]:
    """A description whose Name fills what a stored file may decompress to,
    kept while `document` is read."""
    first = meta_kvt({"Folder": "F", "Name": "n" * (DECOMPRESSED_LIMIT - 1024)}).ljust(DECOMPRESSED_LIMIT)
    return lambda: Package([Entry(f"Mods/{folder}/meta.kvt", text, Compression.ZLIB)
                            for folder, text in (("F", first), ("G", document))])


def repeat_of_a(at: int) -> Raises:
    """The duplicate error of a key `a` at byte `at` of the document."""
    return Raises(f"meta.kvt in the VOKA file didn't match expected schema due to duplicate attribute 'a' at byte {at}")


def zlib_description(document: bytes) -> Callable[[], Package]:
    return lambda: cases.foo_with_description(data=document, compression=Compression.ZLIB)


def unclosed_nesting(levels: int) -> bytes:
    return b"<save>" + b"<a>" * levels


def empty_dependencies(size: int) -> bytes:
    """A document of `size` bytes at most, nothing but empty dependency nodes."""
    node = b'<node id="ModuleShortDesc"></node>'
    return b"<save>" + node * ((size - len("<save></save>")) // len(node)) + b"</save>"


def entity_expansion(levels: int) -> bytes:
    entities = ['<!ENTITY e0 "lol">'] + [f'<!ENTITY e{i} "{f"&e{i - 1};" * 10}">' for i in range(1, levels)]
    doctype = "<!DOCTYPE save [" + "".join(entities) + "]>"
    return f'{doctype}<save><node id="ModuleInfo"><attribute id="Name" value="&e{levels - 1};"/></node></save>'.encode()


TAG_OF_ONE_KEY = tag_of_one_key(DECOMPRESSED_LIMIT)
TAG_OF_DISTINCT_KEYS = tag_of_distinct_keys(DECOMPRESSED_LIMIT)
SECOND_A_OF_ONE_KEY = repeat_of_a(TAG_OF_ONE_KEY.index(b" a=''") + 5)
REPEAT_OF_DISTINCT_KEYS = repeat_of_a(TAG_OF_DISTINCT_KEYS.rindex(b"a=''"))
SHORT_READ = "failed to fill whole buffer"
NOT_REGULAR = Raises("when reading {path} got not a regular file")
NO_MODULE_INFO = Raises(cases.NO_MODULE_INFO)

HOSTILE = [
    pytest.param(Hostile(package(lambda: cases.foo_package(number_of_files=U32_MAX)), table_short_of(U32_MAX)),
                 id="file-count-u32-max"),
    pytest.param(Hostile(package(lambda: cases.foo_package(number_of_files=FOO_FILES + 1)), table_short_of(FOO_FILES + 1)),
                 id="table-decompresses-short"),
    # 3 MB of table that expand to 3,000,000 empty records: walked through a
    # window, never held whole.
    pytest.param(Hostile(package(lambda: Package(number_of_files=3_000_000,
                                                 table_block=lz4_zeros_block(3_000_000 * RECORD_SIZE))),
                         Raises("no mod info found")), id="table-expands-255-times"),
    # 66 MiB of table stored as it is: read in pieces, never held whole.
    pytest.param(Hostile(package(lambda: Package(number_of_files=(66 << 20) // RECORD_SIZE,
                                                 table_block=stored_records((66 << 20) // RECORD_SIZE))),
                         Raises("no mod info found")), id="table-stored-66-mib"),
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
                         NO_MODULE_INFO), id="lz4-bomb-to-limit"),
    pytest.param(Hostile(package(zeros_declared_as_4_gib(zlib_zeros, Compression.ZLIB, DECOMPRESSED_LIMIT)),
                         Raises(f"tried to decompress Mods/Foo/meta.kvt but got {SHORT_READ}")),
                 id="zlib-bomb-to-limit"),
    # liblz4 writes the zeros as one byte, one match and the five literals that
    # end every block: the decoder stops at the match, which ends 5 bytes short.
    pytest.param(Hostile(package(zeros_declared_as_4_gib(lz4_zeros, Compression.LZ4, 64 << 20)),
                         Raises(" and decompressed length 0xffffffff but got provided output is too small for the "
                                f"decompressed data, actual {DECOMPRESSED_LIMIT}, expected {(64 << 20) - 5}",
                                suffix=True)),
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
    # Linux opens a directory and fails its first read; Windows refuses to open it.
    pytest.param(Hostile(directory_itself, Raises("when reading footer offset of {path} got Is a directory (os error 21)"
                                                  if ON_LINUX else "when reading {path} got Permission denied (os error 13)")),
                 id="directory"),
    pytest.param(Hostile(fifo_without_writer, NOT_REGULAR), id="fifo-without-writer", marks=needs_fifos),
    pytest.param(Hostile(fifo_with_silent_writer, NOT_REGULAR), id="fifo-with-silent-writer", marks=needs_fifos),
    pytest.param(Hostile(existing("/dev/urandom"), NOT_REGULAR), id="dev-urandom", marks=needs_fifos),
    pytest.param(Hostile(package(with_description(deeply_nested(100_000))), FOO, override=False),
                 id="nested-100000-levels"),
    pytest.param(Hostile(package(zlib_description(unclosed_nesting(5_000_000))), NO_MODULE_INFO),
                 id="nested-5000000-levels"),
    # Four records use up what one call may extract; the fifth is refused.
    pytest.param(Hostile(package(aliased(1000)),
                         Raises("tried to decompress Mods/F/meta.kvt but got the data decompresses to more than "
                                "the 0 bytes allowed")),
                 id="1000-aliased-records"),
    pytest.param(Hostile(package(kept_name_then_escaped_name), Raises("multiple meta.kvt in .pak")),
                 id="kept-16-mib-name-then-escaped-name"),
    pytest.param(Hostile(package(zlib_description(empty_dependencies(DECOMPRESSED_LIMIT))), NO_MODULE_INFO),
                 id="16-mib-of-dependencies"),
    pytest.param(Hostile(package(with_description(many_attributes(100_000))), FOO, override=False),
                 id="100000-attributes"),
    # A tag's duplicate check holds what its distinct keys need: a key met four
    # million times costs no more than one met once.
    pytest.param(Hostile(package(zlib_description(TAG_OF_ONE_KEY)), SECOND_A_OF_ONE_KEY,
                         growth_limit_kib=DESCRIPTION_GROWTH_KIB), id="16-mib-tag-of-one-key"),
    pytest.param(Hostile(package(zlib_description(TAG_OF_DISTINCT_KEYS)), REPEAT_OF_DISTINCT_KEYS,
                         growth_limit_kib=DESCRIPTION_GROWTH_KIB), id="16-mib-tag-of-distinct-keys"),
    pytest.param(Hostile(package(largest_name_then(TAG_OF_ONE_KEY)), SECOND_A_OF_ONE_KEY),
                 id="kept-16-mib-name-then-tag-of-one-key"),
    # Nothing in a document type declaration is interpreted: the reference stays unknown.
    pytest.param(Hostile(package(with_description(entity_expansion(10))),
                         Raises(cases.MODULE_INFO_FAILED)),
                 id="entity-expansion"),
]


@pytest.fixture(scope="module")
def hostile_files(tmp_path_factory):
    """Each hostile file, written once for all the calls made on it."""
    made = {}
    with contextlib.ExitStack() as open_meanwhile:

        def path_of(hostile: Hostile) -> str:
            if id(hostile) not in made:
                made[id(hostile)] = hostile.make(tmp_path_factory.mktemp("hostile"), open_meanwhile)
            return made[id(hostile)]

        yield path_of


@pytest.mark.parametrize("hostile", HOSTILE)
def test_get_metadata_for_file_answers_within_bounds(hostile_files, hostile):
    path = hostile_files(hostile)
    outcome = call_in_child("get_metadata_for_file", path)
    hostile.metadata.check(outcome, path)
    hostile.check_growth(outcome)


@pytest.mark.parametrize("hostile", HOSTILE)
def test_is_override_answers_within_bounds(hostile_files, hostile):
    outcome = call_in_child("is_override", hostile_files(hostile))
    assert outcome.get("returned") is hostile.override, outcome
    hostile.check_growth(outcome)
