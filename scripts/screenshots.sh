#!/usr/bin/env bash
# Saves the real viewer window in its main states (full screen, the magnifier, an export's
# progress window, the seek bar with a knock and a clip band, and the clip export's menu among
# them) and the recorder settings dialog as PNG files
# under screenshots/, in English and in Korean, for people to look at; nothing is compared.
# Makes the demo card first when there is none.
# scripts/screenshots.sh [OUT_DIR]
set -euo pipefail
export LOCKET_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

"$LOCKET_ROOT/scripts/install-deps.sh"
build="$LOCKET_ROOT/build"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$LOCKET_ROOT" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target locket-record locket-viewer-shots \
  locket-settings-demo

card="${LOCKET_CARD:-$LOCKET_ROOT/demo-card}"
if [ ! -d "$card/SETTING" ]; then
  echo "making the demo card in $card"
  "$build/tools/locket-record/locket-record" "$card" --min-kib 520
fi

out="$(realpath -m "${1:-$LOCKET_ROOT/screenshots}")"
mkdir -p "$out"
rm -f "$out"/*.png

# The web engine refuses to run as root with its sandbox; the runtime folder must be private.
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="${QTWEBENGINE_CHROMIUM_FLAGS:---disable-gpu}"
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR="$(mktemp -d)"
  trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi

shots="$build/tools/viewer-shots/locket-viewer-shots"
# Only the driver's own lines; the window's trace lines would bury them.
driver() {
  "$@" | { grep -E '^(saved|FAILED|not on|no )' || true; }
}
run() {
  # A screen of its own: the pictures never depend on the desktop the script runs in.
  if command -v xvfb-run >/dev/null 2>&1; then
    QT_QPA_PLATFORM=xcb driver xvfb-run -a -s "-screen 0 1600x900x24" "$shots" "$card" "$out" "$@"
  else
    echo "xvfb-run is missing: rendering off screen, without the map page"
    QT_QPA_PLATFORM=offscreen driver "$shots" "$card" "$out" "$@"
  fi
}
run --lang en
run --lang ko

# The recorder settings dialog, on a copy of the card's settings file (its Save would write it).
settings="$(mktemp -d)"
cp "$card/SETTING/blackbox.cfg" "$settings/blackbox.cfg"
demo="$build/tools/settings-demo/locket-settings-demo"
QT_QPA_PLATFORM=offscreen "$demo" "$settings/blackbox.cfg" --shot "$out/settings-en.png"
QT_QPA_PLATFORM=offscreen "$demo" "$settings/blackbox.cfg" --korean --shot "$out/settings-ko.png"
rm -rf "$settings"
echo "screenshots in $out"
