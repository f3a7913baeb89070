#!/usr/bin/env bash
# Builds one libFuzzer target with clang and runs it: scripts/fuzz.sh TARGET SECONDS
# The corpus is kept in build-fuzz/corpus/TARGET between runs; LOCKET_FUZZ_BUILD picks another folder.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
target="${1:?usage: scripts/fuzz.sh TARGET SECONDS}"
seconds="${2:-60}"

build="${LOCKET_FUZZ_BUILD:-$here/build-fuzz}"
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLOCKET_WITH_GUI=OFF -DLOCKET_BENCH=OFF \
    -DLOCKET_FUZZ=ON -DLOCKET_SANITIZE=address,undefined \
    -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
fi
cmake --build "$build" --target "$target" -j"$(nproc)"
mkdir -p "$build/corpus/$target"
cd "$build"
"$build/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 "$build/corpus/$target"
