#!/usr/bin/env bash
# `make bench`: runs every benchmark of the build folder; each prints its ratios against its peers.
set -euo pipefail
build=${1:-build-bench}
shopt -s nullglob
ran=0
for bench in "$build"/bench/*; do
  [ -f "$bench" ] && [ -x "$bench" ] || continue
  echo "== $(basename "$bench")"
  "$bench"
  ran=$((ran + 1))
done
[ "$ran" -gt 0 ] || echo "no benchmarks built yet"
