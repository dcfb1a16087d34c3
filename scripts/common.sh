# Shared by scripts/quarn and scripts/test: install what is missing, build.
# Sourced, not run. Build chatter goes to standard error so that standard
# output carries only what quarn prints.

QUARN_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
QUARN_PACKAGES=(g++ cmake make pkg-config python3 libcli11-dev libtomlplusplus-dev
  nlohmann-json3-dev libfmt-dev googletest libgtest-dev libgmock-dev)

quarn_install_missing() {
  local missing=() pkg
  for pkg in "${QUARN_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
      sudo=(sudo -n)
    else
      echo "quarn: missing packages: ${missing[*]}" >&2
      echo "quarn: install them as root (apt-get install ${missing[*]}) or run this script as root or with sudo" >&2
      return 1
    fi
  fi
  echo "quarn: installing ${missing[*]}" >&2
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq >&2 &&
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}

# quarn_build DIR [cmake options...] [-- targets...]: configure when the
# directory is new or was configured with other options, then build
# everything or the targets (make rebuilds only what is stale).
quarn_build() {
  local dir="$1"; shift
  local log="$QUARN_ROOT/$dir.log" options=() targets=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do options+=("$1"); shift; done
  [ $# -gt 0 ] && shift && targets=(--target "$@")
  mkdir -p "$QUARN_ROOT/$dir"
  local stamp="$QUARN_ROOT/$dir/quarn-options"
  if [ ! -f "$QUARN_ROOT/$dir/CMakeCache.txt" ] || [ "$(cat "$stamp" 2>/dev/null)" != "${options[*]}" ]; then
    cmake -S "$QUARN_ROOT" -B "$QUARN_ROOT/$dir" "${options[@]}" >"$log" 2>&1 || { cat "$log" >&2; return 1; }
    printf '%s' "${options[*]}" >"$stamp"
  fi
  cmake --build "$QUARN_ROOT/$dir" -j "$(nproc)" "${targets[@]}" >"$log" 2>&1 || { cat "$log" >&2; return 1; }
}
