"""One call of a quellan_formats function in a fresh interpreter.

    python bench/one_call.py MODULE_DIR FUNCTION PATH

Prints the seconds the call took and the peak resident memory, in KiB, that it
added to the process. The
call stands between "call begin" and "call end" written to stderr with plain
write(2) calls, so that a system-call trace can be cut down to the call alone.
"""

import os
import re
import sys
import time


def peak_resident_kib():
    """VmHWM: unlike ru_maxrss, it starts afresh at exec instead of carrying the
    peak of the parent that spawned this process."""
    with open("/proc/self/status") as status:
        return int(re.search(r"^VmHWM:\s+(\d+)", status.read(), re.MULTILINE).group(1))


def main():
    module_dir, function_name, path = sys.argv[1:]
    sys.path.insert(0, module_dir)
    import quellan_formats

    function = getattr(quellan_formats, function_name)
    before = peak_resident_kib()
    os.write(2, b"call begin\n")
    start = time.perf_counter()
    try:
        function(path)
    except Exception:  # a package without a description raises; its cost is still the call's
        pass
    seconds = time.perf_counter() - start
    os.write(2, b"call end\n")
    print(f"{seconds:.6f} {peak_resident_kib() - before}")


if __name__ == "__main__":
    main()
