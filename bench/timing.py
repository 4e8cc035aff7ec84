"""Times the Python functions of quellan_formats in a fresh interpreter, the
Python twin of `quellan_core_bench time`:

    python bench/timing.py MODULE_DIR [--rounds N] [--warm-up N] [--passes N] FUNCTION PATH...

prints the median microseconds of one pass, one call of FUNCTION per PATH
(with --passes, makes that many passes untimed, for callgrind).
FUNCTION is get_metadata_for_file, is_override or both (the first then the
second, as a mod manager scanning a folder does). Each measurement runs in a
process of its own because the C heap keeps what earlier calls taught it: after
a call that freed large blocks, glibc serves blocks of that size from the heap
instead of fresh pages, and later calls run faster than they would on their own.
"""

import argparse
import statistics
import sys
import time

ROUND_SECONDS = 0.02


def seconds_for(work, repetitions):
    start = time.perf_counter()
    for _ in range(repetitions):
        work()
    return time.perf_counter() - start


def median_microseconds(work, warm_up_rounds, rounds):
    """Untimed warm-up rounds, then timed rounds that each repeat the work for
    about ROUND_SECONDS; the same method as round_timer.cpp."""
    repetitions = max(1, round(ROUND_SECONDS / max(seconds_for(work, 1), 1e-9)))
    for _ in range(warm_up_rounds):
        seconds_for(work, repetitions)
    return statistics.median(seconds_for(work, repetitions) * 1e6 / repetitions for _ in range(rounds))


def calls_of(module, name):
    if name == "both":
        return [module.get_metadata_for_file, module.is_override]
    return [getattr(module, name)]


def one_pass(functions, paths):
    """One call of each function per package; a package that raises costs its
    call all the same."""

    def work():
        for path in paths:
            for function in functions:
                try:
                    function(path)
                except Exception:
                    pass

    return work


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("module_dir")
    parser.add_argument("--rounds", type=int, default=15)
    parser.add_argument("--warm-up", type=int, default=3)
    parser.add_argument("--passes", type=int, help="make exactly this many passes, untimed (for callgrind)")
    parser.add_argument("function", choices=["get_metadata_for_file", "is_override", "both"])
    parser.add_argument("paths", nargs="+")
    args = parser.parse_args()
    sys.path.insert(0, args.module_dir)
    import quellan_formats

    work = one_pass(calls_of(quellan_formats, args.function), args.paths)
    if args.passes is not None:
        seconds_for(work, args.passes)
        return
    print(f"median_us {median_microseconds(work, args.warm_up, args.rounds):.3f}")


if __name__ == "__main__":
    main()
