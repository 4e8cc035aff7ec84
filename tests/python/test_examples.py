"""The examples run end to end on the sample folder they write."""

import subprocess
import sys
from pathlib import Path

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"


def run_example(name, *args):
    command = [sys.executable, str(EXAMPLES / name), *map(str, args)]
    return subprocess.run(command, check=True, capture_output=True, text=True, timeout=60).stdout.splitlines()


def test_scan_lists_the_sample_folder(tmp_path):
    run_example("make_sample_mods.py", tmp_path)
    lines = run_example("scan_mods.py", tmp_path)
    assert [line.split(":")[0] for line in lines[:-1]] == sorted(path.name for path in tmp_path.glob("*.pak"))
    assert "Broken.pak: error: when reading .pak compressed table got failed to fill whole buffer" in lines
    assert [line.split()[-4] for line in lines if "[" in line] == ["[module]"] * 3 + ["[override]"]
    assert lines[-1] == "5 packages"
