#!/usr/bin/env bash
# Builds the fuzz preset and runs every fuzz target for the given number of
# seconds (default 60) on a fresh copy of its seed corpus, one after the
# other. Prints each target's final executions per second and coverage.
#   fuzz/run.sh [seconds]   FUZZ_SEED=N (default 1; 0: random)
#                           FUZZ_RUNS=N (stop each target after N inputs)
# Fails when a target crashes or finds an input that breaks an invariant;
# its log and the input are then kept and their folder is printed.
set -euo pipefail
seconds="${1:-60}"
# A fixed seed and a number of inputs give every machine, however fast, the
# same work: the same mutations from the same seed inputs (the seconds then
# only cap it). With a time alone, a faster machine goes further.
# FUZZ_SEED=0 lets libFuzzer pick a seed.
seed="${FUZZ_SEED:-1}"
budget="${FUZZ_RUNS:--1}"
cd "$(dirname "$0")/.."

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

targets=(frame_search frame_walk riff_wave id3v2 id3v1 clean_file)
work="$(mktemp -d "${TMPDIR:-/tmp}/scourby-fuzz-run.XXXXXX")"
failed=()
for target in "${targets[@]}"; do
  dir="$work/$target"
  mkdir -p "$dir/corpus" "$dir/crashes"
  cp fuzz/corpus/"$target"/* "$dir/corpus/"
  # A hang (10 s on one input) counts as a failure too.
  build-fuzz/fuzz/fuzz_"$target" -max_total_time="$seconds" -runs="$budget" -seed="$seed" -reload=0 -max_len=4096 -timeout=10 \
    -artifact_prefix="$dir/crashes/" "$dir/corpus" >"$dir/log" 2>&1 &
  pid=$!
  status=0
  wait "$pid" || status=$?
  # The target's scratch folder, left behind when it stopped on a crash.
  rm -rf "/dev/shm/scourby-fuzz-$pid"

  stats="$(grep -E '^#[0-9]+' "$dir/log" | tail -n 1 || true)"
  cov="$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<<"$stats")"
  ft="$(sed -nE 's/.* ft: ([0-9]+).*/\1/p' <<<"$stats")"
  execs="$(sed -nE 's/.* exec\/s: ([0-9]+).*/\1/p' <<<"$stats")"
  runs="$(sed -nE 's/^#([0-9]+).*/\1/p' <<<"$stats")"
  if [ "$status" -eq 0 ]; then
    printf '%-13s ok      %9s runs  exec/s: %-6s cov: %-5s ft: %s\n' "$target" "$runs" "$execs" "$cov" "$ft"
  else
    printf '%-13s FAILED  (exit %s) after %s runs\n' "$target" "$status" "$runs"
    grep -E 'Invariant failed|ERROR|SUMMARY|runtime error' "$dir/log" | head -n 5 || true
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "Fuzzing found problems in: ${failed[*]} (logs and inputs in $work)"
  exit 1
fi
rm -rf "$work"
