#!/usr/bin/env bash
# Runs every libFuzzer target for the given seconds on its seed corpus; fails on the first finding.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
shopt -s nullglob
targets=("$build"/fuzz/fuzz_*)
[[ ${#targets[@]} -gt 0 ]] || { echo "fuzz: no targets built in $build/fuzz"; exit 1; }
for t in "${targets[@]}"; do
  [[ -x "$t" ]] || continue
  name=$(basename "$t")
  corpus="$build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  seeds="$root/fuzz/seeds/${name#fuzz_}"
  [[ -d "$seeds" ]] && cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true
  echo "fuzz: $name for ${seconds}s"
  "$t" -max_total_time="$seconds" -print_final_stats=0 "$corpus" 2>"$build/fuzz/$name.log" \
    || { echo "fuzz: $name found a fault, see $build/fuzz/$name.log"; tail -40 "$build/fuzz/$name.log"; exit 1; }
  grep -E '^Done|^#[0-9]+.*DONE' "$build/fuzz/$name.log" | tail -1 || true
done
echo "fuzz: all targets ran clean"
