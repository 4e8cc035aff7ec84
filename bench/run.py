"""Measures quellan_formats on the benchmark packages and writes a Markdown report.

    python bench/run.py --build-dir build/bench --data build/bench-data [--quick]

For every package and function: the median microseconds per call over timed
rounds after warm-up, through Python and through the C++ core directly (so the
Python layer's share shows), beside the floor that reading, decompressing and
scanning the file table costs; the peak memory that one call adds to a fresh
process; for the mods folder, the time to scan it whole; for the small module,
the system calls of one call. Every measurement runs in fresh processes (see
timing.py for why). scripts/bench is the usual way in.
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
PACKAGES = ["small_mod.pak", "mod_5000.pak", "override_200000.pak", "lz4_meta.pak", "aliased_1000.pak",
            "table_3000000.pak"]
# Python function -> the core function that it calls.
FUNCTIONS = {"get_metadata_for_file": "get_mod_info_from_pak", "is_override": "is_override"}
# The package whose calls are looked at closely: system calls, and the Python
# layer's instructions (callgrind, over this many calls).
SYSCALL_PACKAGE = "small_mod.pak"
# The package whose large description measures the XML reader.
XML_PACKAGE = "lz4_meta.pak"
XML_READERS = ["reader", "parse", "expat"]
CALLGRIND_PASSES = 20


class Plan:
    """Untimed warm-up rounds, then timed rounds (see timing.py). The whole
    measurement is made `trials` times, alternating between the layers, and the
    lowest median is kept: other programs on a shared machine only ever add time."""

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
    """The two ways into the library: the Python module, driven by timing.py and
    one_call.py, and the C++ core, driven by quellan_core_bench."""

    def __init__(self, build_dir, plan):
        self.module_dir = str(next(build_dir.glob("src/python/quellan_formats*.so")).parent)
        self.core_bench = str(build_dir / "bench" / "quellan_core_bench")
        self.xml_bench = str(build_dir / "bench" / "quellan_xml_bench")
        self.plan = plan

    def microseconds(self, python_function, core_function, paths):
        """(Python, core) times of one pass over `paths`, the best of the trials."""
        python_us, core_us = [], []
        for _ in range(self.plan.trials):
            python_us.append(median_of([sys.executable, str(BENCH_DIR / "timing.py"), self.module_dir,
                                        *self.plan.arguments(), python_function, *paths]))
            core_us.append(self.core_microseconds(core_function, paths))
        return min(python_us), min(core_us)

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
        return counts


def inclusive_instructions(annotation, function_pattern):
    match = re.search(r"^\s*([\d,]+) .*" + function_pattern, annotation, re.MULTILINE)
    return int(match.group(1).replace(",", ""))


def python_layer_instructions(layers, python_function, core_function, path):
    """Instructions per call spent in the Python function outside the core
    function it calls, counted by callgrind over CALLGRIND_PASSES calls."""
    with tempfile.TemporaryDirectory() as folder:
        out = Path(folder) / "callgrind.out"
        entry = f"quellan::python::*::{python_function}("
        subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", f"--toggle-collect={entry}*",
                        sys.executable, str(BENCH_DIR / "timing.py"), layers.module_dir,
                        "--passes", str(CALLGRIND_PASSES), python_function, path], check=True, capture_output=True)
        annotation = output_of(["callgrind_annotate", "--inclusive=yes", str(out)])
    total = inclusive_instructions(annotation, re.escape(f"::{python_function}(_object*"))
    core = inclusive_instructions(annotation, re.escape(f"read::{core_function}(std::"))
    return {"function": python_function, "python_layer": (total - core) / CALLGRIND_PASSES,
            "core": core / CALLGRIND_PASSES}


def xml_instructions_per_byte(layers, reader, path):
    """Instructions of one reading of the description, per byte, counted by callgrind."""
    with tempfile.TemporaryDirectory() as folder:
        out = Path(folder) / "callgrind.out"
        run = subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", "--collect-atstart=no",
                              "--toggle-collect=quellan::bench::*read_once*", layers.xml_bench, reader, path],
                             check=True, capture_output=True, text=True)
        annotation = output_of(["callgrind_annotate", str(out)])
    document_bytes = int(re.search(r"document (\d+) bytes", run.stdout).group(1))
    total = int(re.search(r"^\s*([\d,]+) .*PROGRAM TOTALS", annotation, re.MULTILINE).group(1).replace(",", ""))
    return total / document_bytes


def measure_xml(layers, data):
    path = str(data / XML_PACKAGE)
    throughput = dict(re.findall(r"^(\w+) ([\d.]+) MB/s$", output_of([layers.xml_bench, "time", path]), re.MULTILINE))
    with_valgrind = shutil.which("valgrind") is not None
    return [{"reader": reader, "mb_per_s": float(throughput[reader]),
             "instructions_per_byte": xml_instructions_per_byte(layers, reader, path) if with_valgrind else None}
            for reader in XML_READERS]


def measure_python_layer(layers, data):
    path = str(data / SYSCALL_PACKAGE)
    return [python_layer_instructions(layers, python_name, core_name, path)
            for python_name, core_name in FUNCTIONS.items()]


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


def measure_packages(layers, data):
    rows = []
    for package in PACKAGES:
        path = str(data / package)
        for python_name, core_name in FUNCTIONS.items():
            python_us, core_us = layers.microseconds(python_name, core_name, [path])
            rows.append({"package": package, "function": python_name, "python_us": python_us, "core_us": core_us})
        floor_us = min(layers.core_microseconds("floor", [path]) for _ in range(layers.plan.trials))
        rows.append({"package": package, "function": "floor", "core_us": floor_us})
    return rows


def measure_memory(layers, data):
    rows = []
    for package in PACKAGES:
        path = str(data / package)
        for python_name, core_name in FUNCTIONS.items():
            rows.append({
                "package": package, "function": python_name,
                "python_kib": peak_growth_kib(layers.python_one_call(python_name, path)),
                "core_kib": peak_growth_kib(layers.core_one_call(core_name, path)),
            })
    return rows


def measure_worst_cases(layers, data, trials):
    """Each function on each hostile package, one call per fresh process: the
    least time and the most memory of `trials` calls."""
    rows = []
    for package in generate.WORST_CASES:
        for function in FUNCTIONS:
            calls = [output_of(layers.python_one_call(function, str(data / package))).split()
                     for _ in range(trials)]
            rows.append({"package": package, "function": function,
                         "seconds": min(float(seconds) for seconds, _ in calls),
                         "kib": max(int(kib) for _, kib in calls)})
    return rows


def measure_folder(layers, data):
    paths = sorted(str(path) for path in (data / "mods").glob("*.pak"))
    rows = []
    for python_name, core_name in [*FUNCTIONS.items(), ("both", "both")]:
        python_us, core_us = layers.microseconds(python_name, core_name, paths)
        rows.append({"function": python_name, "python_us": python_us, "core_us": core_us})
    return {"packages": len(paths), "rows": rows}


def measure_syscalls(layers, data):
    path = str(data / SYSCALL_PACKAGE)
    rows = []
    for python_name, core_name in FUNCTIONS.items():
        rows.append({"function": python_name, "layer": "python",
                     "calls": syscalls_of(layers.python_one_call(python_name, path))})
        rows.append({"function": core_name, "layer": "core",
                     "calls": syscalls_of(layers.core_one_call(core_name, path))})
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", type=Path, required=True, help="CMake build with QUELLAN_BUILD_BENCH=ON")
    parser.add_argument("--data", type=Path, required=True, help="folder written by bench/generate.py")
    parser.add_argument("--output", type=Path, help="also write the report here, and the figures beside it as JSON")
    parser.add_argument("--quick", action="store_true", help="fewer rounds: a rough look, not for BENCHMARKS.md")
    args = parser.parse_args()

    plan = Plan(args.quick)
    layers = Layers(args.build_dir, plan)
    results = {"machine": machine_description(layers), "rounds": plan.rounds, "trials": plan.trials,
               "tables": {package: report.table_sizes(args.data / package) for package in PACKAGES}}
    results["memory"] = measure_memory(layers, args.data)
    results["syscalls"] = measure_syscalls(layers, args.data) if shutil.which("strace") else []
    results["instructions"] = measure_python_layer(layers, args.data) if shutil.which("valgrind") else []
    results["packages"] = measure_packages(layers, args.data)
    results["folder"] = measure_folder(layers, args.data)
    results["worst_cases"] = measure_worst_cases(layers, args.data, plan.trials)
    results["xml"] = measure_xml(layers, args.data)
    results["load_after"] = os.getloadavg()[0]

    text = report.markdown(results, SYSCALL_PACKAGE, XML_PACKAGE)
    print(text, end="")
    if args.output:
        args.output.write_text(text)
        args.output.with_suffix(".json").write_text(json.dumps(results, indent=1))


if __name__ == "__main__":
    main()
