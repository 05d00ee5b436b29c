#!/usr/bin/env bash
# Runs every benchmark binary built in the given folder.
set -euo pipefail
build=${1:-build-bench}
shopt -s nullglob
benches=("$build"/bench/bench_*)
[[ ${#benches[@]} -gt 0 ]] || { echo "bench: no benchmarks built yet"; exit 0; }
for b in "${benches[@]}"; do
  [[ -x "$b" ]] || continue
  echo "== $(basename "$b")"
  "$b"
done
