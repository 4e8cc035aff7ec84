"""What some tests need of the system beneath the module, which Linux alone
has, or Windows alone: the suite runs on both, and skips these elsewhere with
their reason."""

import sys

import pytest

ON_LINUX = sys.platform == "linux"
ON_WINDOWS = sys.platform == "win32"

needs_fifos = pytest.mark.skipif(not ON_LINUX, reason="FIFOs and /dev are Linux's")
needs_proc_and_rlimit_as = pytest.mark.skipif(
    not ON_LINUX, reason="reads /proc and caps the address space with RLIMIT_AS, which Linux alone has")
needs_elf = pytest.mark.skipif(
    not ON_LINUX, reason="the module is an ELF shared object on Linux alone; scripts/test-wheels checks a Windows "
                         "module's imports and exports with objdump")
on_windows = pytest.mark.skipif(not ON_WINDOWS, reason="Windows' own paths and devices")
