# A Debian unstable root, shared by scripts/build-wheels and scripts/test-wheels
# (sourced, not run). Its CPython 3.14 and 3.15 need a newer glibc than this
# machine has, so they run only inside it (chroot); its GCC is the newest one.
# It is made once with debootstrap and reused; a root whose making did not end
# with the completion stamp, or that was made for other packages, is made anew.

UNSTABLE_ROOT=$PWD/build/debian-unstable
UNSTABLE_STAMP=$UNSTABLE_ROOT/.made-for
UNSTABLE_PACKAGES=(
  python3.14 python3.14-dev python3.14-venv python3.14-dbg
  python3.15 python3.15-dev python3.15-venv
  g++ make cmake zlib1g-dev liblz4-dev libexpat1-dev libgtest-dev
)
# Paths of the root that are mounts while something runs in it, innermost last.
UNSTABLE_MOUNTS=()

unstable_fail() {
  echo "unstable root: $*" >&2
  exit 1
}

# The Debian mirror that this machine's own apt sources use for its release,
# from either format of sources file.
debian_mirror() {
  local codename mirror
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || unstable_fail "/etc/os-release names no Debian release (VERSION_CODENAME)"
  mirror=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null | awk -v release="$codename" '
    /^deb[ \t]/ { sub(/\[[^]]*\][ \t]*/, ""); if ($3 == release) { print $2; exit } }
    /^[ \t]*$/ { uri = ""; serves = 0 }
    /^URIs:/ { uri = $2 }
    /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == release) serves = 1 }
    uri != "" && serves { print uri; exit }
  ')
  [ -n "$mirror" ] || unstable_fail "no apt source of this machine serves Debian $codename, so there is no mirror to make the root from"
  echo "$mirror"
}

# Makes the root unless a complete one for the same packages is there.
ensure_unstable_root() {
  local wanted="${UNSTABLE_PACKAGES[*]}"
  if [ -f "$UNSTABLE_STAMP" ] && [ "$(cat "$UNSTABLE_STAMP")" = "$wanted" ]; then
    return 0
  fi
  command -v debootstrap >/dev/null || scripts/install-deps debootstrap
  unmount_unstable_leftovers
  rm -rf --one-file-system "$UNSTABLE_ROOT"
  local mirror
  mirror=$(debian_mirror)
  echo "unstable root: making it in $UNSTABLE_ROOT from $mirror" >&2
  local packages
  packages=$(tr ' ' , <<<"$wanted")
  debootstrap --variant=minbase --include="$packages" unstable "$UNSTABLE_ROOT" "$mirror" >"$UNSTABLE_ROOT.log" 2>&1 \
    || unstable_fail "debootstrap could not make it (Debian unstable with $wanted); its log: $UNSTABLE_ROOT.log"
  # Written last: its presence means every package above is installed.
  echo "$wanted" >"$UNSTABLE_STAMP"
}

# A run killed before its trap could fire leaves mounts behind; they go before
# anything under the root is removed, lest the removal reach through them.
unmount_unstable_leftovers() {
  local target
  for target in $(awk -v root="$UNSTABLE_ROOT" 'index($2, root "/") == 1 {print $2}' /proc/self/mounts | sort -r); do
    umount "$target"
  done
}

# Everything that pip inside the root needs to reach the package index as it
# does here: the resolver configuration, the machine's pip configuration and
# the files its settings name (CA bundle, constraints). No index is named.
copy_network_settings_into_root() {
  local file
  for file in /etc/resolv.conf /etc/hosts $(pip_settings_files); do
    mkdir -p "$UNSTABLE_ROOT$(dirname "$file")"
    cp -L "$file" "$UNSTABLE_ROOT$file"
  done
}

pip_settings_files() {
  named_pip_settings_files | sort -u
}

named_pip_settings_files() {
  local config value
  for config in /etc/pip.conf /etc/xdg/pip/pip.conf "$HOME/.config/pip/pip.conf" "$HOME/.pip/pip.conf" ${PIP_CONFIG_FILE:-}; do
    [ -f "$config" ] || continue
    echo "$config"
    for value in $(grep -oE '/[^ ]+' "$config"); do
      [ -f "$value" ] && echo "$value"
    done
  done
  for value in $(env | sed -n 's/^PIP_[A-Z_]*=//p'); do
    [ -f "$value" ] && echo "$value"
  done
}

# Mounts /proc and, at the same path as here, this checkout (read-only) and a
# writable work directory inside it, so that paths mean the same in and out.
# The caller must call leave_unstable_root on every exit (trap).
enter_unstable_root() {
  local checkout=$1 work=$2
  copy_network_settings_into_root
  mount_in_root proc "/proc" -t proc
  mount_in_root "$checkout" "$checkout" --bind
  mount -o remount,bind,ro "$UNSTABLE_ROOT$checkout"
  mount_in_root "$work" "$work" --bind
}

mount_in_root() {
  local source=$1 target=$UNSTABLE_ROOT$2
  shift 2
  mkdir -p "$target"
  mount "$@" "$source" "$target" || unstable_fail "could not mount $source on $target"
  UNSTABLE_MOUNTS+=("$target")
}

leave_unstable_root() {
  local index
  for ((index = ${#UNSTABLE_MOUNTS[@]} - 1; index >= 0; index--)); do
    umount "${UNSTABLE_MOUNTS[index]}" || echo "unstable root: could not unmount ${UNSTABLE_MOUNTS[index]}" >&2
  done
  UNSTABLE_MOUNTS=()
}

# Runs a command in the root, in the same directory as here, with a clean
# environment but for pip's settings.
in_unstable_root() {
  local settings=()
  mapfile -t settings < <(env | grep -E '^PIP_' || true)
  chroot "$UNSTABLE_ROOT" /usr/bin/env -i -C "$PWD" PATH=/usr/local/bin:/usr/bin:/bin HOME=/root LANG=C.UTF-8 \
    PYTHONDONTWRITEBYTECODE=1 "${settings[@]}" "$@"
}
