"""Measures quellan_formats on the benchmark packages and writes a Markdown report.

    python bench/run.py --build-dir build/bench --data build/bench-data [--before-build-dir DIR] [--quick]

For every package and function: the median microseconds per call over timed
rounds after warm-up, through Python and through the C++ core directly (so the
Python layer's share shows), beside the floor that reading, decompressing and
scanning the file table costs; the instructions of each whole core call and of
its hand-written floor; the peak memory that one call adds to a fresh process;
the worst cases; for the mods folder, the time to scan it whole; the XML
reader's instructions per byte; for the small module, the system
calls of one call and the Python layer's instructions. Every measurement runs
in fresh processes (see timing.py for why).

With --before-build-dir, a second build is measured in the same run: the timed
figures alternate between the two builds trial by trial, and every table shows
"before → after". scripts/bench is the usual way in.
"""

import argparse
import json
import os
import platform
import re
import shutil
import subprocess
import sys
import tempfile
from collections import Counter
from pathlib import Path

import generate
import report

BENCH_DIR = Path(__file__).resolve().parent
# The rows whose whole-call instructions are the figures of record.
BENCH_ROWS = ["small_mod.pak", "mod_5000.pak", "override_200000.pak", "lz4_meta.pak"]
PACKAGES = [*BENCH_ROWS, "aliased_1000.pak", "table_3000000.pak"]
# Python function -> the core function that it calls.
FUNCTIONS = {"get_metadata_for_file": "get_mod_info_from_pak", "is_override": "is_override"}
# Python function -> the core function it calls into (get_metadata_for_file
# wants the first description only).
CALLED_BY_PYTHON = {"get_metadata_for_file": "get_first_mod_info_from_pak", "is_override": "is_override"}
# The package whose calls are looked at closely: system calls, and the Python
# layer's instructions (callgrind, over this many calls).
SYSCALL_PACKAGE = "small_mod.pak"
CALLGRIND_PASSES = 20
# The descriptions whose instructions per byte are counted.
XML_PER_BYTE_PACKAGES = ["small_mod.pak", "lz4_meta.pak"]
XML_READERS = ["reader", "parse", "expat"]


class Plan:
    """Untimed warm-up rounds, then timed rounds (see timing.py). Each timed
    figure is measured `trials` times, the builds in turn, and the best trial is
    kept: other programs on a shared machine only ever add time."""

    def __init__(self, quick):
        self.warm_up_rounds = 1 if quick else 3
        self.rounds = 5 if quick else 15
        self.trials = 1 if quick else 3

    def arguments(self):
        return ["--rounds", str(self.rounds), "--warm-up", str(self.warm_up_rounds)]


def output_of(command):
    return subprocess.run(command, check=True, text=True, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout


def median_of(command):
    return float(re.search(r"median_us ([\d.]+)", output_of(command)).group(1))


class Layers:
    """The two ways into one build of the library: the Python module, driven by
    timing.py and one_call.py, and the C++ core, driven by quellan_core_bench."""

    def __init__(self, build_dir, plan):
        self.module_dir = str(next(build_dir.glob("src/python/quellan_formats*.so")).parent)
        self.core_bench = str(build_dir / "bench" / "quellan_core_bench")
        self.xml_bench = str(build_dir / "bench" / "quellan_xml_bench")
        self.plan = plan

    def python_microseconds(self, function, paths):
        return median_of([sys.executable, str(BENCH_DIR / "timing.py"), self.module_dir, *self.plan.arguments(),
                          function, *paths])

    def core_microseconds(self, function, paths):
        return median_of([self.core_bench, "time", *self.plan.arguments(), function, *paths])

    def compiler(self):
        return output_of([self.core_bench, "compiler"]).strip()

    def python_one_call(self, function, path):
        return [sys.executable, str(BENCH_DIR / "one_call.py"), self.module_dir, function, path]

    def core_one_call(self, function, path):
        return [self.core_bench, "once", function, path]


def peak_growth_kib(command):
    return int(output_of(command).split()[-1])


def syscalls_of(command):
    """The system calls between the "call begin" and "call end" markers, by name."""
    with tempfile.TemporaryDirectory() as folder:
        trace = Path(folder) / "trace"
        subprocess.run(["strace", "-f", "-qq", "-o", str(trace), *command], check=True, capture_output=True)
        counts = Counter()
        inside = False
        for line in trace.read_text().splitlines():
            if "call begin" in line:
                inside = True
            elif "call end" in line:
                break
            elif inside and (match := re.match(r"(?:\d+\s+)?(\w+)\(", line)):
                counts[match.group(1)] += 1
        return dict(counts)


def callgrind(command, *options):
    """Runs `command` under callgrind; (its standard output, callgrind_annotate's
    inclusive annotation of what was collected)."""
    with tempfile.TemporaryDirectory() as folder:
        out = Path(folder) / "callgrind.out"
        run = subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", *options, *command],
                             check=True, capture_output=True, text=True)
        return run.stdout, output_of(["callgrind_annotate", "--inclusive=yes", str(out)])


def instructions_of(annotation, function_pattern=re.escape("PROGRAM TOTALS")):
    match = re.search(r"^\s*([\d,]+) .*" + function_pattern, annotation, re.MULTILINE)
    return int(match.group(1).replace(",", ""))


# One function per figure: each measures one build once and returns a list of
# rows, whose text fields name the row and whose numbers are the figures.

def measure_call_instructions(layers, data):
    """The instructions of one whole core call, and of its hand-written floor
    (bench/call_floor.h), collected inside `measured_call`."""
    rows = []
    for package in BENCH_ROWS:
        row = {"package": package}
        for function in FUNCTIONS.values():
            for name in (function, f"floor_{function}"):
                _, annotation = callgrind(layers.core_one_call(name, str(data / package)),
                                          "--toggle-collect=*measured_call*")
                row[name] = instructions_of(annotation)
        rows.append(row)
    return rows


def measure_xml_instructions(layers, data):
    """Instructions of one reading of a description by each reader, per byte,
    collected inside the reading alone."""
    rows = []
    for package in XML_PER_BYTE_PACKAGES:
        row = {"package": package}
        for reader in XML_READERS:
            output, annotation = callgrind([layers.xml_bench, reader, str(data / package)], "--collect-atstart=no",
                                           "--toggle-collect=quellan::bench::*read_once*")
            row["bytes"] = int(re.search(r"document (\d+) bytes", output).group(1))
            row[reader] = instructions_of(annotation) / row["bytes"]
        rows.append(row)
    return rows


def measure_python_layer(layers, data):
    """Instructions per call spent in each Python function outside the core
    function it calls, counted by callgrind over CALLGRIND_PASSES calls."""
    path = str(data / SYSCALL_PACKAGE)
    rows = []
    for python_function, core_function in CALLED_BY_PYTHON.items():
        _, annotation = callgrind([sys.executable, str(BENCH_DIR / "timing.py"), layers.module_dir,
                                   "--passes", str(CALLGRIND_PASSES), python_function, path],
                                  f"--toggle-collect=quellan::python::*::{python_function}(*")
        total = instructions_of(annotation, re.escape(f"::{python_function}(_object*"))
        core = instructions_of(annotation, re.escape(f"read::{core_function}(std::"))
        rows.append({"function": python_function, "python_layer": (total - core) / CALLGRIND_PASSES,
                     "core": core / CALLGRIND_PASSES})
    return rows


def measure_syscalls(layers, data):
    path = str(data / SYSCALL_PACKAGE)
    rows = []
    for python_name, core_name in FUNCTIONS.items():
        rows.append({"function": python_name, "layer": "python",
                     "calls": syscalls_of(layers.python_one_call(python_name, path))})
        rows.append({"function": core_name, "layer": "core",
                     "calls": syscalls_of(layers.core_one_call(core_name, path))})
    return rows


def measure_memory(layers, data):
    rows = []
    for package in PACKAGES:
        path = str(data / package)
        for python_name, core_name in FUNCTIONS.items():
            rows.append({"package": package, "function": python_name,
                         "python_kib": peak_growth_kib(layers.python_one_call(python_name, path)),
                         "core_kib": peak_growth_kib(layers.core_one_call(core_name, path))})
    return rows


def measure_times(layers, data):
    rows = []
    for package in PACKAGES:
        path = [str(data / package)]
        for python_name, core_name in FUNCTIONS.items():
            rows.append({"package": package, "function": python_name,
                         "python_us": layers.python_microseconds(python_name, path),
                         "core_us": layers.core_microseconds(core_name, path)})
        rows.append({"package": package, "function": "floor", "core_us": layers.core_microseconds("floor", path)})
    return rows


def measure_folder(layers, data):
    paths = sorted(str(path) for path in (data / "mods").glob("*.pak"))
    return [{"function": python_name, "packages": len(paths),
             "python_us": layers.python_microseconds(python_name, paths),
             "core_us": layers.core_microseconds(core_name, paths)}
            for python_name, core_name in [*FUNCTIONS.items(), ("both", "both")]]


def measure_worst_cases(layers, data):
    """Each function on each hostile package, one call in a fresh process."""
    rows = []
    for package in generate.WORST_CASES:
        for function in FUNCTIONS:
            seconds, kib = output_of(layers.python_one_call(function, str(data / package))).split()
            rows.append({"package": package, "function": function, "seconds": float(seconds), "kib": int(kib)})
    return rows


def measure_hostile_documents(layers, data):
    """Metadata::parse on each of the costliest kinds of 16 MiB description."""
    output = output_of([layers.xml_bench, "hostile"])
    return [{"document": document, "ms": float(ms)} for document, ms in re.findall(r"^(.+): ([\d.]+) ms$", output,
                                                                                  re.MULTILINE)]


# Figure -> (how it is measured, whether it is timed, the tool it needs).
# Untimed figures are counted once per build; timed ones once per trial.
FIGURES = {
    "call_instructions": (measure_call_instructions, False, "valgrind"),
    "xml_instructions": (measure_xml_instructions, False, "valgrind"),
    "python_layer": (measure_python_layer, False, "valgrind"),
    "syscalls": (measure_syscalls, False, "strace"),
    "memory": (measure_memory, False, None),
    "times": (measure_times, True, None),
    "folder": (measure_folder, True, None),
    "worst_cases": (measure_worst_cases, True, None),
    "hostile_documents": (measure_hostile_documents, True, None),
}
# Figures where the most of the trials is kept: the memory a call may need. Of
# every other figure, a time, the least is kept.
MOST_KEPT = {"kib"}


def best_of(trials):
    """One list of rows from the trials' lists of the same rows."""
    def best(field, values):
        if not all(isinstance(value, (int, float)) for value in values):
            return values[0]
        return max(values) if field in MOST_KEPT else min(values)

    return [{field: best(field, [trial[i][field] for trial in trials]) for field in row}
            for i, row in enumerate(trials[0])]


def measure_builds(builds, data, trials):
    """{build name: {figure: rows}}. Each build is measured in turn, figure by
    figure and trial by trial, so that a change in the machine's load falls on
    both builds alike."""
    results = {name: {} for name in builds}
    for figure, (measure, timed, tool) in FIGURES.items():
        if tool and not shutil.which(tool):
            print(f"{tool} not found: no {figure.replace('_', ' ')}", file=sys.stderr)
            continue
        runs = {name: [] for name in builds}
        for _ in range(trials if timed else 1):
            for name, layers in builds.items():
                runs[name].append(measure(layers, data))
        for name in builds:
            results[name][figure] = best_of(runs[name])
    return results


def machine_description(layers):
    lscpu = subprocess.run(["lscpu"], capture_output=True, text=True).stdout
    model = re.search(r"Model name:\s+(.+)", lscpu)
    return {
        "cpu": model.group(1).strip() if model else platform.processor(),
        "cores": os.cpu_count(),
        "kernel": platform.release(),
        "compiler": layers.compiler(),
        "python": platform.python_version(),
        "load": os.getloadavg()[0],
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", type=Path, required=True, help="CMake build with QUELLAN_BUILD_BENCH=ON")
    parser.add_argument("--before-build-dir", type=Path, help="another such build, measured in the same run")
    parser.add_argument("--data", type=Path, required=True, help="folder written by bench/generate.py")
    parser.add_argument("--output", type=Path, help="also write the report here, and the figures beside it as JSON")
    parser.add_argument("--quick", action="store_true", help="fewer rounds: a rough look, not for BENCHMARKS.md")
    args = parser.parse_args()

    plan = Plan(args.quick)
    builds = {"after": Layers(args.build_dir, plan)}
    if args.before_build_dir:
        builds["before"] = Layers(args.before_build_dir, plan)
    results = {"machine": machine_description(builds["after"]), "rounds": plan.rounds, "trials": plan.trials,
               "table_buffers": {package: report.table_buffers(args.data / package) for package in PACKAGES}}
    results.update(measure_builds(builds, args.data, plan.trials))
    results["load_after"] = os.getloadavg()[0]

    text = report.markdown(results)
    print(text, end="")
    if args.output:
        args.output.write_text(text)
        args.output.with_suffix(".json").write_text(json.dumps(results, indent=1))


if __name__ == "__main__":
    main()
