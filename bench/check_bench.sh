#!/usr/bin/env bash
# End-to-end benchmark of `quarn check --format json` over a Python tree
# (default: a copy of the machine's Python standard library), with the
# default and the strict profile, on one core (taskset -c 0) and on every
# core the process may use; also with --remediation-prompt (on one core and
# on all) and on all cores under `ulimit -v 8000000`. The runs of the ten
# set-ups alternate, and each figure is the median of RUNS runs (the machines
# are shared and noisy); the first round warms the caches and is dropped.
#
#   bench/check_bench.sh [--compare] [TREE] [RUNS]   (an empty TREE means the standard library)
#
# Prints per profile: wall time and MB/s on one core and on all cores, the
# speed-up, and the peak resident memory of each; then, for the prompt and
# the limited runs, wall time and peak memory and their ratios to the plain
# check of the same profile and cores. The prompt is written into a
# temporary directory (mktemp -d, so TMPDIR chooses its file system).
# --compare also times flake8 -j1 and pyflakes when installed
# (single-threaded, slow).
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

# A set-up is PROFILE-CORES-KIND: CORES one or all, KIND plain, prompt (with
# --remediation-prompt) or limited (under ulimit -v, in a shell that execs
# quarn, so the timer sees one process).
setup_command() {  # set-up: its command line, into the array cmd
  local profile cores kind
  IFS=- read -r profile cores kind <<<"$1"
  cmd=()
  [ "$cores" = one ] && cmd=(taskset -c 0)
  [ "$kind" = limited ] && cmd+=(bash -c 'ulimit -v 8000000; exec "$@"' -)
  cmd+=("$quarn" check "$tree" --format json --profile "$profile")
  [ "$kind" = prompt ] && cmd+=(--remediation-prompt "$work/p.md")
  return 0
}

setups=()
for profile in default strict; do
  for cores in one all; do setups+=("$profile-$cores-plain" "$profile-$cores-prompt"); done
  setups+=("$profile-all-limited")
done
for _ in $(seq 0 "$runs"); do  # the first round warms the caches and is dropped
  for setup in "${setups[@]}"; do
    setup_command "$setup"
    run_once "$setup" "${cmd[@]}"
  done
done

declare -A wall peak
for setup in "${setups[@]}"; do
  wall[$setup]=$(tail -n +2 "$work/$setup.runs" >"$work/kept" && median "$work/kept")
  setup_command "$setup"
  peak[$setup]=$(peak_of "${cmd[@]}")
done

echo "tree: $tree ($files files, $mb MB); all cores: $(nproc) CPUs; median of $runs runs"
printf '%-8s %10s %10s %10s %10s %9s %11s %11s\n' profile "1 core s" "MB/s" "all s" "MB/s" speed-up "1 core MiB" "all MiB"
for profile in default strict; do
  awk -v p="$profile" -v mb="$mb" -v o="${wall[$profile-one-plain]}" -v a="${wall[$profile-all-plain]}" \
    -v ok="${peak[$profile-one-plain]}" -v ak="${peak[$profile-all-plain]}" 'BEGIN {
    printf "%-8s %10.3f %10.1f %10.3f %10.1f %8.2fx %11.1f %11.1f\n", p, o, mb / o, a, mb / a, o / a, ok / 1024, ak / 1024
  }'
done

# Each against the plain check of its profile and cores.
echo
printf '%-8s %-18s %8s %8s %9s %8s\n' profile "set-up" "s" "/ plain" "peak MiB" "/ plain"
for profile in default strict; do
  for kind in one-prompt all-prompt all-limited; do
    case "$kind" in
      one-prompt) label="prompt, 1 core" ;;
      all-prompt) label="prompt, all" ;;
      all-limited) label="-v 8000000, all" ;;
    esac
    setup="$profile-$kind"
    plain="$profile-${kind%-*}-plain"
    awk -v p="$profile" -v l="$label" -v s="${wall[$setup]}" -v ps="${wall[$plain]}" \
      -v k="${peak[$setup]}" -v pk="${peak[$plain]}" 'BEGIN {
      printf "%-8s %-18s %8.3f %7.2fx %9.1f %7.2fx\n", p, l, s, s / ps, k / 1024, k / pk
    }'
  done
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
