#!/usr/bin/env bash
# End-to-end benchmark: quarn check over a Python tree (default: the machine's
# Python standard library) with the default and the strict profile, and
# flake8 / pyflakes over the same tree when installed. Prints, per tool:
# files, MB, median wall time, MB/s and peak resident memory.
#
#   bench/check_bench.sh [TREE] [RUNS]    (an empty TREE means the standard library)
#
# Single-threaded tools only are compared (flake8 runs with -j1). Needs
# hyperfine (Debian package) and GNU time (/usr/bin/time).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs="${2:-5}"
quarn="$root/build/release/quarn"
[ -x "$quarn" ] || "$root/scripts/quarn" --version >/dev/null

for tool in hyperfine /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing (apt-get install hyperfine time)" >&2; exit 2; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
if [ -n "${1:-}" ]; then
  tree="$1"
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

measure() {  # name, command...
  local name="$1"; shift
  (cd "$work/cwd" && hyperfine --runs "$runs" --warmup 1 -N -i --export-json "$work/h.json" "$*" >/dev/null 2>&1)
  local median
  median=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["results"][0]["median"])' "$work/h.json")
  local peak
  peak=$(cd "$work/cwd" && { /usr/bin/time -f '%M' "$@" >/dev/null 2>"$work/time.err" || true; } && tail -1 "$work/time.err")
  awk -v n="$name" -v f="$files" -v mb="$mb" -v t="$median" -v kb="$peak" \
    'BEGIN { printf "%-22s %6d files %7.1f MB %8.3f s %8.1f MB/s %8.1f MB peak\n", n, f, mb, t, mb / t, kb / 1024 }'
}

echo "tree: $tree"
measure "quarn (default)" "$quarn" check "$tree" --format json
measure "quarn (strict)" "$quarn" check "$tree" --format json --profile strict
if command -v flake8 >/dev/null; then measure "flake8 -j1" flake8 -j1 --exit-zero "$tree"; fi
for pyflakes in pyflakes pyflakes3; do
  if command -v "$pyflakes" >/dev/null; then measure "pyflakes" "$pyflakes" "$tree"; break; fi
done
