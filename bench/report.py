"""Turns the figures that run.py gathers into the Markdown tables of BENCHMARKS.md."""

import struct

RECORD_SIZE = 272


def table_sizes(path):
    """The file table of the package at `path`: number of files, compressed and
    decompressed bytes."""
    with open(path, "rb") as package:
        package.seek(8)
        (table_offset,) = struct.unpack("<Q", package.read(8))
        package.seek(table_offset)
        count, compressed = struct.unpack("<II", package.read(8))
    return {"files": count, "compressed": compressed, "decompressed": count * RECORD_SIZE}


def mib(size):
    return f"{size / (1 << 20):.1f}"


def share(python_us, core_us):
    return f"{(python_us - core_us) / core_us * 100:+.1f} %"


def machine_lines(results):
    machine = results["machine"]
    return [
        f"Machine: {machine['cpu']}, {machine['cores']} cores, Linux {machine['kernel']}, {machine['compiler']}, "
        f"Python {machine['python']}; load average {machine['load']:.2f} at the start, "
        f"{results['load_after']:.2f} at the end. Each time is the median of {results['rounds']} rounds after "
        f"warm-up, the lowest of {results['trials']} such measurements.",
    ]


def table_lines(results):
    lines = ["| package | files | compressed table, MiB | decompressed table, MiB |", "|---|---:|---:|---:|"]
    for package, sizes in results["tables"].items():
        lines.append(f"| {package} | {sizes['files']:,} | {mib(sizes['compressed'])} | {mib(sizes['decompressed'])} |")
    return lines


def time_lines(results):
    floors = {row["package"]: row["core_us"] for row in results["packages"] if row["function"] == "floor"}
    lines = ["| package | function | Python, µs | C++ core, µs | Python layer adds | floor, µs |",
             "|---|---|---:|---:|---:|---:|"]
    for row in results["packages"]:
        if row["function"] != "floor":
            lines.append(f"| {row['package']} | {row['function']} | {row['python_us']:,.1f} | {row['core_us']:,.1f} "
                         f"| {share(row['python_us'], row['core_us'])} | {floors[row['package']]:,.1f} |")
    return lines


def memory_lines(results):
    lines = ["| package | function | Python, MiB | C++ core, MiB | both table buffers, MiB |", "|---|---|---:|---:|---:|"]
    for row in results["memory"]:
        sizes = results["tables"][row["package"]]
        lines.append(f"| {row['package']} | {row['function']} | {mib(row['python_kib'] * 1024)} "
                     f"| {mib(row['core_kib'] * 1024)} | {mib(sizes['compressed'] + sizes['decompressed'])} |")
    return lines


def folder_lines(results):
    lines = ["| functions | Python, ms | C++ core, ms | Python layer adds |", "|---|---:|---:|---:|"]
    for row in results["folder"]["rows"]:
        lines.append(f"| {row['function']} | {row['python_us'] / 1000:,.1f} | {row['core_us'] / 1000:,.1f} "
                     f"| {share(row['python_us'], row['core_us'])} |")
    return lines


# What a call may cost at most, whatever the package.
CALL_SECONDS_LIMIT = 1
CALL_MIB_LIMIT = 64


def worst_case_lines(results):
    lines = [f"| package | function | time, s (limit {CALL_SECONDS_LIMIT}) | memory, MiB (limit {CALL_MIB_LIMIT}) |",
             "|---|---|---:|---:|"]
    for row in results["worst_cases"]:
        lines.append(f"| {row['package']} | {row['function']} | {row['seconds']:.3f} | {mib(row['kib'] * 1024)} |")
    return lines


def syscall_lines(results):
    lines = ["| function | layer | total | by name |", "|---|---|---:|---|"]
    for row in results["syscalls"]:
        by_name = ", ".join(f"{name} {count}" for name, count in sorted(row["calls"].items()))
        lines.append(f"| {row['function']} | {row['layer']} | {sum(row['calls'].values())} | {by_name} |")
    return lines


def instruction_lines(results):
    lines = ["| function | Python layer | core | Python layer's share |", "|---|---:|---:|---:|"]
    for row in results["instructions"]:
        share_of_call = row["python_layer"] / (row["python_layer"] + row["core"]) * 100
        lines.append(f"| {row['function']} | {row['python_layer']:,.0f} | {row['core']:,.0f} | {share_of_call:.2f} % |")
    return lines


XML_READER_NAMES = {"reader": "our reader: every event, attribute and value",
                    "parse": "Metadata::parse (the whole parser)",
                    "expat": "expat, handlers doing nothing"}


def xml_lines(results):
    lines = ["| reader | MB/s | instructions per byte |", "|---|---:|---:|"]
    for row in results["xml"]:
        per_byte = "-" if row["instructions_per_byte"] is None else f"{row['instructions_per_byte']:.1f}"
        lines.append(f"| {XML_READER_NAMES[row['reader']]} | {row['mb_per_s']:,.0f} | {per_byte} |")
    return lines


def markdown(results, syscall_package, xml_package):
    sections = [
        machine_lines(results),
        table_lines(results),
        ["Time per call (floor: read, decompress and scan the table's names once, with plain calls):", "",
         *time_lines(results)],
        ["Peak memory that one call adds to a fresh process (growth of VmHWM):", "", *memory_lines(results)],
        [f"Scanning the mods folder ({results['folder']['packages']:,} packages), time per scan:", "",
         *folder_lines(results)],
        ["The worst cases: one call in a fresh process on each hostile package, the least time and the most "
         "memory of the trials:", "", *worst_case_lines(results)],
    ]
    sections.append([f"Reading the description of {xml_package} (callgrind counts the reading alone):", "",
                     *xml_lines(results)])
    if results["syscalls"]:
        sections.append([f"System calls of one call on {syscall_package}:", "", *syscall_lines(results)])
    if results["instructions"]:
        sections.append([f"Instructions per call on {syscall_package} (callgrind), inside the Python function "
                         "and outside the core function it calls, against the core function's own:", "",
                         *instruction_lines(results)])
    return "\n\n".join("\n".join(section) for section in sections) + "\n"
