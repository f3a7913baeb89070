#!/usr/bin/env bash
# Builds the benchmarks in Release and runs them; they print figures and never fail on time.
# scripts/bench.sh [NAME...]   (default: every benchmark)
set -euo pipefail
export LOCKET_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$LOCKET_ROOT/scripts/common.sh"

"$LOCKET_ROOT/scripts/install-deps.sh"
build="$LOCKET_ROOT/build-bench"
locket_build "$build" -DCMAKE_BUILD_TYPE=Release -DLOCKET_BENCH=ON
export QT_QPA_PLATFORM=offscreen

names=("$@")
if ((${#names[@]} == 0)); then
  mapfile -t names < <(find "$build/bench" -maxdepth 1 -type f -executable -name '*_bench' -printf '%f\n' | sort)
fi
for name in "${names[@]}"; do
  echo "== $name"
  "$build/bench/$name"
done
