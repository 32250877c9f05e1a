#!/usr/bin/env bash
# `make fuzz`: runs each libFuzzer target for SECONDS, starting from and adding to its corpus.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-30}
here=$(cd "$(dirname "$0")" && pwd)
for target in "$build"/fuzz/*_fuzz; do
  name=$(basename "$target")
  corpus="$here/corpus/$name"
  mkdir -p "$corpus"
  echo "== $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 "$corpus"
done
