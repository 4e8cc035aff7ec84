"""Writes the benchmark packages: deterministic, and shaped like the packages
that mod managers meet.

    python bench/generate.py build/bench-data

Every byte follows from fixed seeds, so two runs write identical files. The
packages are written with the test suite's package writer; nothing here knows
the file layout.
"""

import argparse
import hashlib
import random
import sys
import zlib
from pathlib import Path

from pakwriter import (HEADER_SIZE, RECORD_SIZE, Compression, Entry, Package, aliases_of, lz4_zeros_block,
                       meta_kvt, tag_of_distinct_keys, tag_of_one_key)

# The files below a package's own folders, and the game folders that overrides touch.
MODULE_SUBFOLDERS = [
    ("Mods/{folder}/Tales/PlainDoc/Quest", ".txt"),
    ("Mods/{folder}/Translations/Westish", ".wrds"),
    ("Mods/{folder}/Scrolls/quill/aidkits", ".qsc"),
    ("Public/{folder}/Tally/Assembled/Rows", ".txt"),
    ("Public/{folder}/SeedBlueprint", ".bpf"),
    ("Public/{folder}/Things/Surfaces/Glyph", ".pix"),
    ("Public/{folder}/Payload/Things/Performers/[BOX]_Plate", ".bpf"),
    ("Public/{folder}/Hud/Things/Popovers/GearGlyph", ".PIX"),
]
OVERRIDE_FOLDERS = [
    ("Public/Common/Things/Performers/_Moves/People/Materials", ".MV3"),
    ("Public/Common/Things/Surfaces/Performers/People/Faces", ".pix"),
    ("Public/CommonDev/Payload/Things/Flashes/Surfaces", ".bpf"),
    ("Public/Marlow/Tally/Assembled/Rows", ".txt"),
    ("Public/Game/Hud/Things/PadButtonPictures/gears_png", ".PIX"),
    ("Assembled/Public/Common/Things/Substance/Performers", ".bpf"),
    ("Translations/Westish/Parleys", ".wrds"),
    ("Mods/Common/Tales/Parleys/Travellers", ".pqj"),
]
# The most a stored file may decompress to.
LARGEST_DOCUMENT = 16 << 20
WORDS = ["Ash", "Bramble", "Cinder", "Dusk", "Ember", "Frost", "Gloom", "Haven", "Iron", "Jade",
         "Kestrel", "Lumen", "Mire", "Nettle", "Onyx", "Pyre", "Quill", "Rune", "Sable", "Thorn"]


def uuid_from(rng):
    return "{:08x}-{:04x}-4{:03x}-8{:03x}-{:012x}".format(
        rng.getrandbits(32), rng.getrandbits(16), rng.getrandbits(12), rng.getrandbits(12), rng.getrandbits(48))


def module_info(rng, folder, name):
    """A full description, with the fields that real ones carry besides the six read."""
    return {
        "Author": "Quellan Bench",
        "CharacterCreationLevelName": "",
        "Description": f"{name}: a benchmark module that adjusts several items, spells and dialogs.",
        "Folder": folder,
        "LobbyLevelName": "",
        "MD5": hashlib.md5(folder.encode()).hexdigest(),
        "MainMenuBackgroundVideo": "",
        "MenuLevelName": "",
        "Name": name,
        "NumPlayers": 4,
        "PhotoBooth": "",
        "PublishHandle": rng.getrandbits(40),
        "StartupLevelName": "",
        "Tags": "Items;Spells;Dialogs",
        "Type": "Add-on",
        "UUID": uuid_from(rng),
        "Version64": 36028797018963968 + rng.randrange(1 << 20),
    }


def dependency(rng, index, brief):
    """A dependency node; a brief one names the module by UUID and version alone."""
    identity = {"UUID": uuid_from(rng), "Version64": 36028797018963968 + rng.randrange(1 << 20)}
    if brief:
        return identity
    folder = f"{rng.choice(WORDS)}{rng.choice(WORDS)}_{index}"
    return {"Folder": folder, "MD5": hashlib.md5(folder.encode()).hexdigest(), "Name": folder.replace("_", " "),
            **identity}


def description(rng, folder, name, dependency_count, brief=False):
    dependencies = [dependency(rng, index, brief) for index in range(dependency_count)]
    return meta_kvt(module_info(rng, folder, name), dependencies)


def file_names(rng, folders, folder, count):
    """`count` distinct stored paths spread over `folders`."""
    names = []
    for index in range(count):
        parent, extension = folders[index % len(folders)]
        stem = f"{rng.choice(WORDS)}_{rng.choice(WORDS)}_{index:06d}"
        names.append(f"{parent.format(folder=folder)}/{stem}{extension}")
    return names


def stored_file(rng, name, smallest, largest):
    """A stored-as-is file of a size between `smallest` and `largest` bytes."""
    return Entry(name, rng.randbytes(rng.randint(smallest, largest)))


def module_package(rng, folder, file_count, meta_compression=Compression.ZLIB, dependency_count=4, brief=False):
    """A module: its description and `file_count - 1` files, mostly its own, some
    elsewhere, in the sorted order that packing tools write."""
    meta = Entry(f"Mods/{folder}/meta.kvt", description(rng, folder, folder, dependency_count, brief),
                 meta_compression)
    own = file_names(rng, MODULE_SUBFOLDERS, folder, (file_count - 1) * 4 // 5)
    other = file_names(rng, OVERRIDE_FOLDERS, folder, file_count - 1 - len(own))
    files = [stored_file(rng, name, 64, 1024) for name in own + other]
    return Package(sorted([meta, *files], key=lambda entry: entry.name))


def override_package(rng, file_count):
    """Game data only: every path is classified before the answer is known, and
    the one description is the last record, so finding it walks the whole table."""
    names = file_names(rng, OVERRIDE_FOLDERS, "Foo", file_count - 1)
    files = [stored_file(rng, name, 8, 64) for name in names]
    meta = Entry("Mods/Foo/meta.kvt", description(rng, "Foo", "Foo", 4), Compression.ZLIB)
    return Package([*files, meta])


def mods_folder_package(rng, index):
    """One package of a user's mods folder: mostly small modules, some pure
    overrides without a description."""
    folder = f"{rng.choice(WORDS)}{rng.choice(WORDS)}{index:04d}"
    if index % 20 == 19:
        names = file_names(rng, OVERRIDE_FOLDERS, folder, rng.randint(3, 30))
        return Package([stored_file(rng, name, 64, 1024) for name in names])
    compression = Compression.LZ4 if index % 3 == 0 else Compression.ZLIB
    return module_package(rng, folder, rng.randint(5, 40), compression, dependency_count=rng.randint(0, 4))


def aliased_package(copies):
    """Hostile: `copies` records that share one zlib stream of a description as
    large as a stored file may decompress to. A call stops once it has produced
    what one call may, so this costs four descriptions, not `copies`."""
    meta = zlib_entry("Mods/Foo/meta.kvt", meta_kvt({"Folder": "Foo", "Name": "Foo"}).ljust(LARGEST_DOCUMENT))
    return Package([meta, *aliases_of(meta, HEADER_SIZE, copies - 1)])


def hostile_table_package(records):
    """Hostile: a table of a few MB that decodes to `records` empty records."""
    return Package(number_of_files=records, table_block=lz4_zeros_block(records * RECORD_SIZE))


def lz4_length(extra: int) -> bytes:
    """The bytes that continue a length whose nibble is 15 by `extra` more."""
    return b"\xff" * (extra // 255) + bytes([extra % 255])


def near_folders_package(folder_size, records):
    """Hostile: 64 game folders of `folder_size` bytes that differ only in their
    last byte, then a 65th folder holding the rest of `records` paths, and the
    description last. Written by hand as the 65 first records, one match
    repeating the last of them, and the description's record: a few MB that
    make the override test note millions of paths before it learns its folder."""
    stem = "F" * (folder_size - 1)
    head = records_of(*(f"Public/{stem}{chr(48 + i)}/x" for i in range(65)))
    meta = Entry("Mods/Foo/meta.kvt", meta_kvt({"Folder": "Foo", "Name": "Foo"}))
    block = (lz4_sequence(head, RECORD_SIZE, (records - 66) * RECORD_SIZE) +
             lz4_sequence(meta.record(HEADER_SIZE)))
    return Package([meta], number_of_files=records, table_block=block)


def stored_table_package(stored_size):
    """Hostile: a table stored as `stored_size` bytes of literals, the worst a
    block can compress: the records of a stored table cost what they are."""
    records = stored_size // RECORD_SIZE
    rng = random.Random(6)
    names = b"".join(Entry(f"Public/Game/{rng.getrandbits(64):016x}").record(HEADER_SIZE) for _ in range(records))
    return Package(number_of_files=records, table_block=b"\xf0" + lz4_length(len(names) - 15) + names)


def far_matches_table_package(records, offset, match=32 << 10):
    """Hostile: a table of `records` records decoded from matches of `match`
    bytes `offset` back, after `offset` literals. A byte more than 4 KiB back,
    each copy's stores run just ahead of its loads by a multiple of 4 KiB plus
    a byte, which made a forward copy's loads wait for them."""
    total = records * RECORD_SIZE
    literals = bytes((i * 7 + 3) % 251 for i in range(offset))
    last = (total - offset - 5) % match + match
    count = (total - offset - 5 - last) // match
    block = (lz4_sequence(literals, offset, match) + lz4_sequence(b"", offset, match) * (count - 1) +
             lz4_sequence(b"", offset, last) + lz4_sequence(bytes(5)))
    return Package(number_of_files=records, table_block=block)


def lz4_sequence(literals, offset=0, length=0):
    """One LZ4 sequence: `literals`, then a match of `length` bytes `offset`
    back; without a match it is the last sequence of a block."""
    head = bytes([min(len(literals), 15) << 4 | (min(length - 4, 15) if length else 0)])
    if len(literals) >= 15:
        head += lz4_length(len(literals) - 15)
    if not length:
        return head + literals
    match = offset.to_bytes(2, "little")
    return head + literals + match + (lz4_length(length - 4 - 15) if length - 4 >= 15 else b"")


def repeated_records(records, count, before=b""):
    """A sequence that writes the records `before`, then `records` repeated
    until there are `count` records in all: one match, whatever `count`."""
    return lz4_sequence(before + records, len(records), count * RECORD_SIZE - len(before) - len(records))


def records_of(*names):
    return b"".join(Entry(name).record(HEADER_SIZE) for name in names)


# The most records a call walks; a table of more fails when the walk reaches
# the next. Packages of that many records are the slowest that still succeed.
WALKED_RECORDS = 1 << 22


def cycled_folders_package(records):
    """Hostile: 64 game folders cycled for `records` records, the description
    last: the override test keeps all 64 folders and walks the table once."""
    meta = Entry("Mods/Foo/meta.kvt", meta_kvt({"Folder": "Foo", "Name": "Foo"}))
    cycle = records_of(*(f"Public/Cyc{i:02d}/x" for i in range(64)))
    block = repeated_records(cycle, records - 1) + lz4_sequence(meta.record(HEADER_SIZE))
    return Package([meta], number_of_files=records, table_block=block)


def near_folders_then_three_package(records, meta=None):
    """Hostile: 64 near-identical game folders, then three more alternating for
    `records` records in all, the description last: one folder goes unkept, so
    the override test walks the table a second time."""
    meta = meta or Entry("Mods/Foo/meta.kvt", meta_kvt({"Folder": "Foo", "Name": "Foo"}))
    stem = "N" * 200
    near = records_of(*(f"Public/{stem}{i:02d}/x" for i in range(64)))
    three = records_of(*(f"Public/{stem}{i:02d}/x" for i in range(64, 67)))
    block = repeated_records(three, records - 1, before=near) + lz4_sequence(meta.record(HEADER_SIZE))
    return Package([meta], number_of_files=records, table_block=block)


def field_tags_description(size, keys=17):
    """A description of `size` bytes of `attribute` tags of `keys` keys each:
    each tag's keys go past what is compared one by one."""
    extra = "".join(f' k{i}=""' for i in range(keys - 2))
    tag = f'<attribute id="Name" value="Foo"{extra}/>'.encode()
    head = b'<save><node id="ModuleInfo"><attribute id="Folder" value="Foo"/>'
    tail = b"</node></save>"
    return head + tag * ((size - len(head) - len(tail)) // len(tag)) + tail


def zlib_entry(name, document):
    return Entry(name, compression=Compression.ZLIB, stored=zlib.compress(document, 9),
                 uncompressed_size=len(document))


def long_names_then_descriptions_package(records, descriptions, documents):
    """Hostile: 255-byte names under Mods/ that are no descriptions, then
    `descriptions` description records cycling over `documents`: more than a
    walk keeps, so the lookup walks the table twice and extracts each."""
    metas = [zlib_entry(f"Mods/F{i}/meta.kvt", document) for i, document in enumerate(documents)]
    offsets = [HEADER_SIZE]
    for meta in metas[:-1]:
        offsets.append(offsets[-1] + len(meta.stored_bytes()))
    cycle = b"".join(meta.record(offset) for meta, offset in zip(metas, offsets))
    name = "Mods/" + "n" * 250
    block = (repeated_records(records_of(name), records - descriptions) +
             repeated_records(cycle, descriptions - len(metas)) + lz4_sequence(cycle))
    return Package(metas, number_of_files=records, table_block=block)


def descriptions_package(*documents):
    """Hostile: one zlib description for each of `documents`, in order."""
    return Package([zlib_entry(f"Mods/F{i}/meta.kvt", document) for i, document in enumerate(documents)])


def largest_name_document(folder):
    """A description whose Name fills what a stored file may decompress to:
    kept by the lookup while the next description is read."""
    return meta_kvt({"Folder": folder, "Name": "n" * (LARGEST_DOCUMENT - 1024)}).ljust(LARGEST_DOCUMENT)


def kilobyte_document(index):
    """A description of just under 1 KiB, the least a description is charged:
    a call reads the most of these."""
    return meta_kvt({"Folder": f"F{index}", "Name": "n" * 560})


MODULE_INFO_NODE = '<node id="ModuleInfo"><attribute id="Folder" value="F"/></node>'


def module_after_distinct_keys():
    """A description as large as allowed whose tag of distinct keys, the most
    costly a document can make of each byte, repeats none."""
    return tag_of_distinct_keys(LARGEST_DOCUMENT, last="", tail="></node>" + MODULE_INFO_NODE + "</save>")


def module_after_deep_nesting():
    """A description as large as allowed of elements nested in one another,
    closed again, then the module's node."""
    levels = (LARGEST_DOCUMENT - 100) // len("<a></a>")
    return ("<save>" + "<a>" * levels + "</a>" * levels + MODULE_INFO_NODE + "</save>").encode()


# The slowest or largest packages of each hostile shape, within 40 MB: at the
# record limit where a shape walks the table, and past it where it fails there.
EIGHT_GIB_OF_RECORDS = (8 << 30) // RECORD_SIZE
WORST_CASES = {
    "near_folders_240.pak": lambda: near_folders_package(240, WALKED_RECORDS),
    "near_folders_8.pak": lambda: near_folders_package(8, WALKED_RECORDS),
    "stored_table_66mib.pak": lambda: stored_table_package(66 << 20),
    "far_matches_8gib.pak": lambda: far_matches_table_package(EIGHT_GIB_OF_RECORDS, 4097),
    "cycled_folders_8gib.pak": lambda: cycled_folders_package(EIGHT_GIB_OF_RECORDS),
    "cycled_folders_at_limit.pak": lambda: cycled_folders_package(WALKED_RECORDS),
    "near_folders_then_three_at_limit.pak": lambda: near_folders_then_three_package(WALKED_RECORDS),
    "near_folders_then_three_field_tags_at_limit.pak": lambda: near_folders_then_three_package(
        WALKED_RECORDS, zlib_entry("Mods/Foo/meta.kvt", field_tags_description(LARGEST_DOCUMENT))),
    "long_names_then_17_descriptions_at_limit.pak": lambda: long_names_then_descriptions_package(
        WALKED_RECORDS, 17, [kilobyte_document(0)]),
    "long_names_then_65536_descriptions_at_limit.pak": lambda: long_names_then_descriptions_package(
        WALKED_RECORDS, 1 << 16, [kilobyte_document(0), kilobyte_document(1)]),
    "tag_of_one_key.pak": lambda: descriptions_package(tag_of_one_key(LARGEST_DOCUMENT)),
    "largest_name_then_tag_of_one_key.pak": lambda: descriptions_package(
        largest_name_document("F"), tag_of_one_key(LARGEST_DOCUMENT)),
    "tag_of_distinct_keys.pak": lambda: descriptions_package(tag_of_distinct_keys(LARGEST_DOCUMENT)),
    "largest_name_then_tag_of_distinct_keys.pak": lambda: descriptions_package(
        largest_name_document("F"), tag_of_distinct_keys(LARGEST_DOCUMENT)),
    # A call extracts four descriptions as large as allowed, at most.
    "four_tags_of_distinct_keys.pak": lambda: descriptions_package(*[module_after_distinct_keys()] * 4),
    "four_deep_nestings.pak": lambda: descriptions_package(*[module_after_deep_nesting()] * 4),
}


def packages():
    """File name (relative to the data folder) -> package, built lazily."""
    yield "small_mod.pak", lambda: module_package(random.Random(1), "Foo", 200)
    yield "mod_5000.pak", lambda: module_package(random.Random(2), "Foo", 5000)
    yield "override_200000.pak", lambda: override_package(random.Random(3), 200_000)
    yield "lz4_meta.pak", lambda: module_package(random.Random(4), "Foo", 50, Compression.LZ4, 5000, brief=True)
    yield "aliased_1000.pak", lambda: aliased_package(1000)
    yield "table_3000000.pak", lambda: hostile_table_package(3_000_000)
    for name, build in WORST_CASES.items():
        yield name, build
    rng = random.Random(5)
    for index in range(1000):
        yield f"mods/{index:04d}.pak", lambda index=index: mods_folder_package(rng, index)


def generator_fingerprint():
    """Changes whenever this file or the package writer changes."""
    digest = hashlib.sha256()
    for source in (Path(__file__), Path(sys.modules[Package.__module__].__file__)):
        digest.update(source.read_bytes())
    return digest.hexdigest()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder", type=Path, help="folder to write the packages into")
    folder = parser.parse_args().folder
    stamp = folder / "generated.stamp"
    fingerprint = generator_fingerprint()
    if stamp.exists() and stamp.read_text() == fingerprint:
        print(f"benchmark packages in {folder} are up to date")
        return
    (folder / "mods").mkdir(parents=True, exist_ok=True)
    count = 0
    # The mods folder's packages share one random stream, so they are built in order.
    for name, build in packages():
        build().write(folder / name)
        count += 1
    stamp.write_text(fingerprint)
    print(f"wrote {count} benchmark packages to {folder}")


if __name__ == "__main__":
    main()
