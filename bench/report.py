"""Turns the figures that run.py gathers into the Markdown tables of BENCHMARKS.md.

When a "before" build was measured too, each cell reads "before → after", and
each instruction count adds its change in per cent."""

import itertools
import struct

RECORD_SIZE = 272
# What a call may cost at most, whatever the package.
CALL_SECONDS_LIMIT = 1
CALL_MIB_LIMIT = 64
XML_READER_NAMES = {"reader": "our reader: every event, attribute and value",
                    "parse": "Metadata::parse (the whole parser)",
                    "expat": "expat, handlers doing nothing"}


def table_buffers(path):
    """The bytes of the package's file table, compressed and decompressed: what
    a reader holding the whole table would need."""
    with open(path, "rb") as package:
        package.seek(8)
        (table_offset,) = struct.unpack("<Q", package.read(8))
        package.seek(table_offset)
        count, compressed = struct.unpack("<II", package.read(8))
    return compressed + count * RECORD_SIZE


def mib(size):
    return f"{size / (1 << 20):.1f}"


def share(python_us, core_us):
    return f"{(python_us - core_us) / core_us * 100:+.1f} %"


class Pair:
    """One row of a figure, after and (when measured) before."""

    def __init__(self, after, before):
        self.after, self.before = after, before

    def __getitem__(self, field):
        return self.after[field]

    def cell(self, value, text, change=False):
        """`text(value(row))` after, preceded by the same before; `change` adds
        the change in per cent."""
        after = value(self.after)
        if self.before is None:
            return text(after)
        before = value(self.before)
        cell = f"{text(before)} → {text(after)}"
        return cell + f" ({(after - before) / before * 100:+.1f} %)" if change and before else cell

    def field(self, name, text, change=False):
        return self.cell(lambda row: row[name], text, change)


def pairs(results, figure):
    """The rows of `figure`, each after with its before."""
    after = results["after"][figure]
    before = results.get("before", {}).get(figure, [None] * len(after))
    return [Pair(a, b) for a, b in zip(after, before)]


def count(value):
    return f"{value:,.0f}"


def one_decimal(value):
    return f"{value:,.1f}"


def machine_lines(results):
    machine = results["machine"]
    return [
        f"**Machine**: {machine['cpu']}, {machine['cores']} cores, Linux {machine['kernel']}, {machine['compiler']}, "
        f"Python {machine['python']}; load average {machine['load']:.2f} at the start, "
        f"{results['load_after']:.2f} at the end. Each time is the median of {results['rounds']} rounds after "
        f"warm-up, the best of {results['trials']} such measurements"
        + (", before and after in turn." if "before" in results else "."),
    ]


def call_instruction_lines(results):
    lines = ["| package | get_mod_info_from_pak | its floor | is_override | its floor |", "|---|---:|---:|---:|---:|"]
    for row in pairs(results, "call_instructions"):
        cells = [row.field(name, count, change=True) for name in
                 ("get_mod_info_from_pak", "floor_get_mod_info_from_pak", "is_override", "floor_is_override")]
        lines.append(f"| {row['package']} | {' | '.join(cells)} |")
    return lines


def time_lines(results):
    rows = pairs(results, "times")
    floors = {row["package"]: row for row in rows if row["function"] == "floor"}
    lines = ["| package | function | Python, µs | C++ core, µs | Python layer adds | floor, µs |",
             "|---|---|---:|---:|---:|---:|"]
    for row in rows:
        if row["function"] != "floor":
            lines.append(f"| {row['package']} | {row['function']} | {row.field('python_us', one_decimal)} "
                         f"| {row.field('core_us', one_decimal)} "
                         f"| {row.cell(lambda r: share(r['python_us'], r['core_us']), str)} "
                         f"| {floors[row['package']].field('core_us', one_decimal)} |")
    return lines


def by_package(rows):
    """The rows grouped by package: [(package, its rows, one per function)]."""
    return [(package, list(group)) for package, group in itertools.groupby(rows, key=lambda row: row["package"])]


def memory_lines(results):
    lines = ["| package | get_metadata_for_file, MiB: Python | C++ core | is_override, MiB: Python | C++ core "
             "| both table buffers, MiB |", "|---|---:|---:|---:|---:|---:|"]
    for package, rows in by_package(pairs(results, "memory")):
        cells = [row.cell(lambda r: r[layer] * 1024, mib) for row in rows for layer in ("python_kib", "core_kib")]
        lines.append(f"| {package} | {' | '.join(cells)} | {mib(results['table_buffers'][package])} |")
    return lines


def folder_lines(results):
    lines = ["| functions | packages | Python, ms | C++ core, ms | Python layer adds |", "|---|---:|---:|---:|---:|"]
    for row in pairs(results, "folder"):
        lines.append(f"| {row['function']} | {row['packages']:,} "
                     f"| {row.cell(lambda r: r['python_us'] / 1000, one_decimal)} "
                     f"| {row.cell(lambda r: r['core_us'] / 1000, one_decimal)} "
                     f"| {row.cell(lambda r: share(r['python_us'], r['core_us']), str)} |")
    return lines


def worst_case_lines(results):
    lines = ["| package | get_metadata_for_file, s | MiB | is_override, s | MiB |", "|---|---:|---:|---:|---:|"]
    for package, rows in by_package(pairs(results, "worst_cases")):
        cells = [cell for row in rows for cell in (row.field("seconds", "{:.3f}".format),
                                                   row.cell(lambda r: r["kib"] * 1024, mib))]
        lines.append(f"| {package} | {' | '.join(cells)} |")
    return lines


def hostile_document_lines(results):
    lines = ["| document | Metadata::parse, ms |", "|---|---:|"]
    for row in pairs(results, "hostile_documents"):
        lines.append(f"| {row['document']} | {row.field('ms', '{:.1f}'.format)} |")
    return lines


def xml_instruction_lines(results):
    lines = ["| description | bytes | " + " | ".join(XML_READER_NAMES.values()) + " |",
             "|---|---:|" + "---:|" * len(XML_READER_NAMES)]
    for row in pairs(results, "xml_instructions"):
        cells = [row.field(reader, "{:.2f}".format, change=True) for reader in XML_READER_NAMES]
        lines.append(f"| {row['package']} | {row['bytes']:,} | {' | '.join(cells)} |")
    return lines


def syscall_lines(results):
    lines = ["| function | layer | total | by name |", "|---|---|---:|---|"]
    for row in pairs(results, "syscalls"):
        by_name = ", ".join(f"{name} {number}" for name, number in sorted(row["calls"].items()))
        lines.append(f"| {row['function']} | {row['layer']} | {row.cell(lambda r: sum(r['calls'].values()), str)} "
                     f"| {by_name} |")
    return lines


def python_layer_lines(results):
    lines = ["| function | Python layer | core | Python layer's share |", "|---|---:|---:|---:|"]
    for row in pairs(results, "python_layer"):
        share_of_call = row.cell(lambda r: r["python_layer"] / (r["python_layer"] + r["core"]) * 100, "{:.2f} %".format)
        lines.append(f"| {row['function']} | {row.field('python_layer', count, change=True)} "
                     f"| {row.field('core', count, change=True)} | {share_of_call} |")
    return lines


# (figure, caption, table): each section printed when its figure was measured.
SECTIONS = [
    ("call_instructions", "**Instructions per call** of the C++ core (callgrind, inside `measured_call`, one call in a "
                          "fresh process), beside its hand-written floor:", call_instruction_lines),
    ("xml_instructions", "**The XML reader's instructions per byte** (callgrind, inside the reading alone):",
     xml_instruction_lines),
    ("python_layer", "**The Python layer's instructions** per call on small_mod.pak (callgrind): inside the Python "
                     "function and outside the core function it calls, against the core function's own:",
     python_layer_lines),
    ("times", "**Time per call**, through Python and through the C++ core; the floor reads, decompresses and scans "
              "the table's names once, with plain calls:", time_lines),
    ("folder", "**The mods folder**, time per scan of all its packages:", folder_lines),
    ("memory", "**Peak memory** that one call adds to a fresh process (growth of VmHWM):", memory_lines),
    ("worst_cases", f"**The worst cases**: one call in a fresh process on each hostile package, the least time and "
                    f"the most memory of the trials (limits: {CALL_SECONDS_LIMIT} s, {CALL_MIB_LIMIT} MiB):",
     worst_case_lines),
    ("hostile_documents", "**The costliest 16 MiB descriptions** (`quellan_xml_bench hostile`, the median of five "
                          "parses):", hostile_document_lines),
    ("syscalls", "**System calls** of one call on small_mod.pak:", syscall_lines),
]


def markdown(results):
    sections = [machine_lines(results)]
    for figure, heading, lines in SECTIONS:
        if figure in results["after"]:
            sections.append([heading, "", *lines(results)])
    return "\n\n".join("\n".join(section) for section in sections) + "\n"
