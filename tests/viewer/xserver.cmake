# The viewer on a real X server under a window manager (Xvfb, openbox, xdotool, ImageMagick's
# import), driven by real input; skipped only when no X server can start.
add_test(NAME ViewerOnXServer.DoubleClicksMoveTheClockAndEnterTogglesFullScreen
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/xserver_smoke.sh $<TARGET_FILE:locket-viewer>
    $<TARGET_FILE:locket-record>)
# Alone: its waits are for real time, which a busy machine stretches.
set_tests_properties(ViewerOnXServer.DoubleClicksMoveTheClockAndEnterTogglesFullScreen
  PROPERTIES LABELS xserver SKIP_RETURN_CODE 77 TIMEOUT 300 RUN_SERIAL TRUE)
