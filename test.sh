#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: once with AddressSanitizer and
# UndefinedBehaviorSanitizer, and the threaded layers again with ThreadSanitizer.
set -euo pipefail
export LOCKET_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$LOCKET_ROOT/scripts/common.sh"

"$LOCKET_ROOT/scripts/install-deps.sh"

# Headless: no display, no sound card, running as root.
export QT_QPA_PLATFORM=offscreen
export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu"
export XDG_RUNTIME_DIR="$(mktemp -d)"
chmod 700 "$XDG_RUNTIME_DIR"

jobs="$(nproc)"

echo "== build with address,undefined sanitizers"
locket_build "$LOCKET_ROOT/build-asan" -DCMAKE_BUILD_TYPE=Debug -DLOCKET_SANITIZE=address,undefined \
  -DLOCKET_BENCH=OFF
echo "== build with thread sanitizer (engine layers only)"
locket_build "$LOCKET_ROOT/build-tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLOCKET_SANITIZE=thread \
  -DLOCKET_WITH_GUI=OFF -DLOCKET_BENCH=OFF

echo "== tests under thread sanitizer"
(cd "$LOCKET_ROOT/build-tsan" && ctest -L threaded --output-on-failure -j"$jobs" --timeout 300)

echo "== every test under address,undefined sanitizers"
cd "$LOCKET_ROOT/build-asan"
ctest --output-on-failure -j"$jobs" --timeout 300

echo "== test code against the code it tests"
"$LOCKET_ROOT/scripts/test-ratio.sh" || true
