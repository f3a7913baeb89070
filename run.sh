#!/usr/bin/env bash
# Installs what is needed, builds, makes a demo card if there is none, and opens the viewer on it.
set -euo pipefail
export LOCKET_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$LOCKET_ROOT/scripts/common.sh"

"$LOCKET_ROOT/scripts/install-deps.sh"
# Only what is run here; ./test.sh builds the tests and benchmarks.
locket_configure "$LOCKET_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$LOCKET_ROOT/build" -j"$(nproc)" --target locket-viewer locket-record

card="${LOCKET_CARD:-$LOCKET_ROOT/demo-card}"
if [ ! -d "$card/SETTING" ]; then
  echo "making the demo card in $card (about half a minute)"
  "$LOCKET_ROOT/build/tools/locket-record/locket-record" "$card" --min-kib 520
fi

viewer="$LOCKET_ROOT/build/viewer/locket-viewer"
if [ ! -x "$viewer" ]; then
  echo "run.sh: $viewer is missing after the build; the build output above says why" >&2
  exit 1
fi
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "run.sh: no display to open the viewer on; run it in a desktop session" >&2
  echo "(or under a virtual one: xvfb-run -a ./run.sh)" >&2
  exit 1
fi
# The web engine of the map page refuses to start as root unless its sandbox is off.
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
exec "$viewer" --card "$card" "$@"
