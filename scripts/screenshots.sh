#!/usr/bin/env bash
# Makes a demo card and saves the windows and dialogs as PNG files under screenshots/, for people
# to look at. Runs offscreen; nothing is compared.
set -euo pipefail
export LOCKET_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$LOCKET_ROOT/scripts/common.sh"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

build="${LOCKET_BUILD:-$LOCKET_ROOT/build}"
locket_build "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
out="$LOCKET_ROOT/screenshots"
mkdir -p "$out"
card="$(mktemp -d)/card"
trap 'rm -rf "$(dirname "$card")"' EXIT
"$build/tools/locket-record/locket-record" "$card" --seconds 2 --quiet

# The recorder settings dialog, on a copy of the card's settings file.
settings="$(dirname "$card")/blackbox.cfg"
cp "$card/SETTING/blackbox.cfg" "$settings"
"$build/tools/settings-demo/locket-settings-demo" "$settings" --shot "$out/settings-en.png"
"$build/tools/settings-demo/locket-settings-demo" "$settings" --korean --shot "$out/settings-ko.png"
