"""Lists the mod packages of a folder, as a mod manager would.

    python examples/scan_mods.py sample_mods

One line per *.pak file, sorted by file name: the module's name, folder, version
and UUID and whether it overrides game data, or why the package cannot be read.
"""

from __future__ import annotations

import argparse
from pathlib import Path

import quellan_formats


def describe(path: Path) -> str:
    try:
        info = quellan_formats.get_metadata_for_file(str(path))
    except Exception as error:  # every package failure is a plain Exception
        return f"{path.name}: error: {error}"
    kind = "override" if quellan_formats.is_override(str(path)) else "module"
    return (f"{path.name}: {info['Name']} [{kind}] folder={info['Folder']} "
            f"version={info['Version64']} uuid={info['UUID']}")


def main(argv: list[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder", type=Path, help="folder holding the .pak files")
    folder = parser.parse_args(argv).folder
    packages = sorted((path for path in folder.glob("*.pak") if path.is_file()), key=lambda path: path.name)
    for path in packages:
        print(describe(path))
    print(f"{len(packages)} packages")


if __name__ == "__main__":
    main()
