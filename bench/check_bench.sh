#!/usr/bin/env bash
# End-to-end benchmark of `quarn check --format json` over a Python tree
# (default: a copy of the machine's Python standard library), with the
# default and the strict profile, on one core (taskset -c 0) and on every
# core the process may use. The runs of the four set-ups alternate, and each
# figure is the median of RUNS runs (the machines are shared and noisy).
#
#   bench/check_bench.sh [--compare] [TREE] [RUNS]   (an empty TREE means the standard library)
#
# Prints per profile: wall time and MB/s on one core and on all cores, the
# speed-up, and the peak resident memory of each. --compare also times
# flake8 -j1 and pyflakes when installed (single-threaded, slow).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
compare=0
if [ "${1:-}" = "--compare" ]; then compare=1; shift; fi
runs="${2:-7}"
quarn="$root/build/release/quarn"
[ -x "$quarn" ] || "$root/scripts/quarn" --version >/dev/null

for tool in /usr/bin/time taskset; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing (apt-get install time util-linux)" >&2; exit 2; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
if [ -n "${1:-}" ]; then
  tree="$(cd "$1" && pwd)"
else
  # The standard library proper: a copy without installed third-party
  # packages and caches.
  stdlib="$(python3 -c 'import sysconfig; print(sysconfig.get_paths()["stdlib"])')"
  tree="$work/stdlib"
  mkdir -p "$tree"
  (cd "$stdlib" && tar cf - --exclude=site-packages --exclude=dist-packages --exclude=__pycache__ .) | (cd "$tree" && tar xf -)
fi

files=$(find "$tree" -name '*.py' -type f -not -path '*/__pycache__/*' | wc -l)
bytes=$(find "$tree" -name '*.py' -type f -not -path '*/__pycache__/*' -print0 | du -cb --files0-from=- | tail -1 | cut -f1)
mb=$(awk -v b="$bytes" 'BEGIN { printf "%.1f", b / 1e6 }')

# Run from a directory whose configuration search ends at once, so the
# built-in profiles are what is measured.
mkdir -p "$work/cwd/.git"
cd "$work/cwd"

# One timed run (the shell's own timer, so that no wrapper process is
# counted): appends its wall seconds to the set-up's file.
TIMEFORMAT=%R
run_once() {  # name, command...
  local name="$1"; shift
  { time "$@" >/dev/null 2>&1; } 2>>"$work/$name.runs" || true
}

# Peak resident memory in KiB of one more, untimed run.
peak_of() {  # command...
  /usr/bin/time -f '%M' -o "$work/peak" "$@" >/dev/null 2>&1 || true
  tail -n 1 "$work/peak"
}

median() {  # file
  sort -n "$1" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

setups=()
for profile in default strict; do
  for cores in one all; do setups+=("$profile-$cores"); done
done
for _ in $(seq 0 "$runs"); do  # the first round warms the caches and is dropped
  for setup in "${setups[@]}"; do
    profile="${setup%-*}"
    pin=()
    [ "${setup#*-}" = "one" ] && pin=(taskset -c 0)
    run_once "$setup" "${pin[@]}" "$quarn" check "$tree" --format json --profile "$profile"
  done
done

echo "tree: $tree ($files files, $mb MB); all cores: $(nproc) CPUs; median of $runs runs"
printf '%-8s %10s %10s %10s %10s %9s %11s %11s\n' profile "1 core s" "MB/s" "all s" "MB/s" speed-up "1 core MiB" "all MiB"
for profile in default strict; do
  one=$(tail -n +2 "$work/$profile-one.runs" >"$work/one" && median "$work/one")
  all=$(tail -n +2 "$work/$profile-all.runs" >"$work/all" && median "$work/all")
  one_kb=$(peak_of taskset -c 0 "$quarn" check "$tree" --format json --profile "$profile")
  all_kb=$(peak_of "$quarn" check "$tree" --format json --profile "$profile")
  awk -v p="$profile" -v mb="$mb" -v o="$one" -v a="$all" -v ok="$one_kb" -v ak="$all_kb" 'BEGIN {
    printf "%-8s %10.3f %10.1f %10.3f %10.1f %8.2fx %11.1f %11.1f\n", p, o, mb / o, a, mb / a, o / a, ok / 1024, ak / 1024
  }'
done

if [ "$compare" = 1 ]; then
  others() {  # name, command...
    local name="$1"; shift
    run_once "$name" "$@"
    local kb
    kb=$(peak_of "$@")
    awk -v n="$name" -v mb="$mb" -v kb="$kb" '{ printf "%-12s %10.3f s %8.1f MB/s %8.1f MiB peak\n", n, $1, mb / $1, kb / 1024 }' "$work/$name.runs"
  }
  if command -v flake8 >/dev/null; then others "flake8 -j1" flake8 -j1 --exit-zero "$tree"; fi
  for pyflakes in pyflakes pyflakes3; do
    if command -v "$pyflakes" >/dev/null; then others pyflakes "$pyflakes" "$tree"; break; fi
  done
fi
