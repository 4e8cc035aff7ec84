"""Writes a folder of sample mod packages to try examples/scan_mods.py on.

    python examples/make_sample_mods.py sample_mods

Three module packages, one package that overrides game data, and one broken
package, all written with the test suite's package writer, tests/pakwriter
(scripts/python-env installs it; `python -m pip install tests/pakwriter` does
elsewhere).
"""

import argparse
from pathlib import Path

from pakwriter import Compression, Package, module_package


def module_info(folder, name, version, uuid):
    return {"Folder": folder, "MD5": "", "Name": name, "PublishHandle": 0, "UUID": uuid, "Version64": version}


def sample_packages():
    """File name -> package."""
    broken = module_package(module_info("Broken", "Broken", 1, "2f1d7c59-0000-4000-8000-000000000005"))
    return {
        "Archery.pak": module_package(
            module_info("Archery", "Better Archery", 36028797018963968, "2f1d7c59-0000-4000-8000-000000000001"),
            ["Mods/Archery/Stats/bows.txt", "Public/Archery/Assets/bow.dds"]),
        "Campfire.pak": module_package(
            module_info("Campfire", "Campfire Stories", 144115188075855872, "2f1d7c59-0000-4000-8000-000000000002"),
            ["Mods/Campfire/Story/camp.txt"], compression=Compression.ZLIB),
        "Glow.pak": module_package(
            module_info("Glow", "Glowing Materials", 1, "2f1d7c59-0000-4000-8000-000000000003"),
            ["Public/Engine/Timeline/MaterialGroups/glow.bin"]),
        "SharperSwords.pak": module_package(
            module_info("SharperSwords", "Sharper Swords", 2, "2f1d7c59-0000-4000-8000-000000000004"),
            ["Public/Game/Assets/sword.dds"]),
        # The table claims more bytes than the file holds, as after an interrupted download.
        "Broken.pak": Package(broken.entries, table_size=4096),
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder", type=Path, help="folder to write the packages into")
    folder = parser.parse_args().folder
    folder.mkdir(parents=True, exist_ok=True)
    packages = sample_packages()
    for name, package in packages.items():
        package.write(folder / name)
    print(f"wrote {len(packages)} packages to {folder}")


if __name__ == "__main__":
    main()
