#!/usr/bin/env bash
# The viewer on a real X server under a window manager, driven by real input: what offscreen
# tests cannot see (a release the application never gets, a window manager applying full
# screen late). Double-clicks list rows and waits each time for the clock label to move, then
# Enter covers the whole screen and Enter again restores the window.
# Screenshot regions are compared only with themselves at another moment, never with a reference.
# xserver_smoke.sh VIEWER RECORDER; exits 77 (skipped) when no X server can start.
set -uo pipefail

viewer="$1"
recorder="$2"
clicks="${LOCKET_SMOKE_CLICKS:-10}"
# The clock moves between one and two seconds after an open on a quiet machine; the rest is
# room for a loaded one and a sanitizer build (4.5 s seen). A frozen clock never moves.
move_deadline_ms="${LOCKET_SMOKE_MOVE_MS:-8000}"

work="$(mktemp -d)"
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null
    wait "${pids[i]}" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAILED: $*"
  import -window root "$work/failure.png" 2>/dev/null &&
    cp "$work/failure.png" "${TMPDIR:-/tmp}/locket-xserver-smoke-failure.png" &&
    echo "screen saved in ${TMPDIR:-/tmp}/locket-xserver-smoke-failure.png"
  for log in xvfb openbox viewer; do
    [ -s "$work/$log.log" ] || continue
    echo "--- $log output (last lines, without the player's lines per picture)"
    grep -av '^\[[0-9]*\] dif' "$work/$log.log" | tail -n 30
  done
  exit 1
}

now_ms() { date +%s%3N; }

# until DEADLINE_MS COMMAND...: runs COMMAND every 50 ms until it succeeds or the time is up.
until_ms() {
  local end=$(($(now_ms) + $1))
  shift
  until "$@"; do
    (($(now_ms) > end)) && return 1
    sleep 0.05
  done
}

for tool in Xvfb openbox xdotool xprop import identify; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh installs it)"
done

# A display of its own: Xvfb picks a free number and writes it to descriptor 3.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
pids+=($xvfb_pid)
xvfb_settled() { [ -s "$work/display" ] || ! kill -0 "$xvfb_pid" 2>/dev/null; }
until_ms 10000 xvfb_settled
if [ ! -s "$work/display" ]; then
  echo "SKIPPED: Xvfb did not start"
  cat "$work/xvfb.log"
  exit 77
fi
export DISPLAY=":$(head -n 1 "$work/display")"
echo "display $DISPLAY"
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
wm_up() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
until_ms 30000 wm_up || fail "openbox did not start"

"$recorder" "$work/card" --only REC --count 3 --seconds 12 --size 320x180 --rear-size 160x90 \
  --fps 24 --min-kib 520 --quiet || fail "the card was not made"

mkdir -m 700 "$work/runtime"
# The map page's web engine refuses to run as root with its sandbox.
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="${QTWEBENGINE_CHROMIUM_FLAGS:---disable-gpu}"
XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb \
  LANG=C.UTF-8 LC_ALL=C.UTF-8 "$viewer" --card "$work/card" >"$work/viewer.log" 2>&1 &
pids+=($!)
viewer_pid=$!

find_window() {
  window="$(xdotool search --onlyvisible --name 'Brindle Road Locket KX2' 2>/dev/null | head -n 1)"
  [ -n "$window" ]
}
window_or_gone() { find_window || ! kill -0 "$viewer_pid" 2>/dev/null; }
until_ms 60000 window_or_gone
kill -0 "$viewer_pid" 2>/dev/null || fail "the viewer ended before its window showed"
[ -n "$window" ] || fail "no viewer window after 60 s"
echo "window $window"

# geometry: X Y W H of the viewer window on the screen. Looked up each time: Qt makes the
# window anew when the map page turns on composition through OpenGL.
geometry() {
  find_window && xdotool getwindowgeometry --shell "$window" 2>/dev/null |
    awk -F= '/^X=|^Y=|^WIDTH=|^HEIGHT=/ { printf "%s ", $2 }'
}
read -r screen_w screen_h < <(xdotool getdisplaygeometry)

# The listed rows and the clock, in window coordinates of the window layout.
rows_y=(110 124 138)
row_x=770
clock=(25 433 56 14)

# The window takes the size of its background once it is up.
window_placed() {
  read -r win_x win_y win_w win_h < <(geometry)
  [ "${win_w:-} ${win_h:-}" = "975 712" ]
}
until_ms 10000 window_placed || fail "the window is $(geometry), not 975x712"
clock_crop="${clock[2]}x${clock[3]}+$((win_x + clock[0]))+$((win_y + clock[1]))"
# clock_shot: the checksum of the clock region, empty while the label is not drawn there (the
# anti-aliased digits bring many colours; a window being made anew shows a blank region).
clock_shot() {
  import -window root -crop "$clock_crop" "$work/clock.png" 2>/dev/null || return
  local colours
  colours="$(identify -format %k "$work/clock.png" 2>/dev/null)"
  ((${colours:-0} > 20)) && md5sum <"$work/clock.png"
}

# The clock reads 00:00:00 until something plays; that picture, once drawn and steady, is the
# zero to compare with.
zero=""
steady_zero() {
  local a b
  a="$(clock_shot)"
  sleep 0.5
  b="$(clock_shot)"
  [ -n "$a" ] && [ "$a" = "$b" ] && zero="$a"
}
until_ms 30000 steady_zero || fail "the clock label is never drawn"

is_zero() { [ "$(clock_shot)" = "$zero" ]; }
moved() {
  local now
  now="$(clock_shot)"
  [ -n "$now" ] && [ "$now" != "$zero" ]
}

double_click() {
  # As a hand does it: the second press is held a moment, while the open already runs.
  xdotool mousemove $((win_x + row_x)) $((win_y + rows_y[$1])) click 1 sleep 0.08 \
    mousedown 1 sleep 0.15 mouseup 1
}

slowest=0
for ((i = 0; i < clicks; i++)); do
  row=$((i % 2 == 0 ? 0 : 2))
  # The open resets the clock to zero, then it must move on its own. Qt makes the window anew
  # once the map page has loaded (late on a loaded machine): clicks that reach the window
  # while that happens are lost, and are given again.
  attempt=1
  double_click "$row"
  until until_ms 5000 is_zero; do
    ((attempt++ < 3)) || fail "double-click $((i + 1)) on row $row did not open the recording"
    echo "double-click $((i + 1)): no open seen, double-clicking again"
    double_click "$row"
  done
  start=$(now_ms)
  until_ms "$move_deadline_ms" moved ||
    fail "double-click $((i + 1)): the clock stayed at 00:00:00 for ${move_deadline_ms} ms"
  took=$(($(now_ms) - start))
  ((took > slowest)) && slowest=$took
  echo "double-click $((i + 1)) (row $row): the clock moved after $took ms"
done
echo "slowest move after an open: $slowest ms"

# Enter: full screen; Enter again: the window as it was.
find_window && xdotool windowactivate --sync "$window" 2>/dev/null
xdotool key Return
covers() { [ "$(geometry)" = "0 0 $screen_w $screen_h " ]; }
until_ms 10000 covers || fail "Enter: the window is $(geometry), not the whole screen"
echo "Enter: the window covers the screen (${screen_w}x${screen_h})"
xdotool key Return
restored() {
  local x y w h
  read -r x y w h < <(geometry)
  [ "$w $h" = "975 712" ]
}
until_ms 10000 restored || fail "Enter again: the window is $(geometry), not 975x712"
echo "Enter again: the window is back at 975x712"

kill -0 "$viewer_pid" 2>/dev/null || fail "the viewer ended"
echo "PASSED"
