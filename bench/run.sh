#!/usr/bin/env bash
# Builds the program (release preset) and benchmarks it against cp, cat and
# the tag tools that are installed, on libraries generated here (no network).
# Work files go to tmpfs (/dev/shm) when it has room for them (about 8 GB),
# else to a temporary folder on disk.
#   bench/run.sh [library] [big] [small] [tail] [noise] [joined] [vbr] [vbrtag]   (default: all)
#   BENCH_RUNS=3 bench/run.sh big                     (runs per tool; default 5)
#   bench/run.sh --against OLD_BINARY big tail        (an older build in every round)
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -x /usr/bin/time ]; then
  echo "bench/run.sh needs GNU time for peak memory: apt-get install time" >&2
  exit 1
fi
cmake --preset default >/dev/null
cmake --build --preset default --target scourby >/dev/null
work=${BENCH_DIR:-}
if [ -z "$work" ]; then
  free_kb=$(df -k --output=avail /dev/shm 2>/dev/null | tail -1 || echo 0)
  if [ "${free_kb:-0}" -gt $((9 * 1024 * 1024)) ]; then work=/dev/shm/scourby-bench; else work=${TMPDIR:-/tmp}/scourby-bench; fi
fi
echo "work folder: $work"
python3 bench/run.py build/scourby "$work" "$@"
