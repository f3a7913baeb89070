#!/usr/bin/env bash
# Installs what is needed, builds, makes a demo card if there is none, and opens the viewer on it.
set -euo pipefail
export LOCKET_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$LOCKET_ROOT/scripts/common.sh"

"$LOCKET_ROOT/scripts/install-deps.sh"
locket_build "$LOCKET_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo

card="${LOCKET_CARD:-$LOCKET_ROOT/demo-card}"
recorder="$LOCKET_ROOT/build/tools/locket-record/locket-record"
if [ -x "$recorder" ] && [ ! -d "$card/SETTING" ]; then
  "$recorder" "$card"
fi

viewer="$LOCKET_ROOT/build/viewer/locket-viewer"
if [ -x "$viewer" ]; then
  exec "$viewer" --card "$card" "$@"
fi
echo "Built. The viewer window is not part of this build yet; the engine, the recorder tool"
echo "and the tests are (./test.sh runs them)."
