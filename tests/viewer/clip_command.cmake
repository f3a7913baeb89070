# The command-line clip export, run as the program itself.
locket_test(test_viewer_clip_command
  SOURCES clip_command_test.cpp
  DEPS locket_record_lib)
add_dependencies(test_viewer_clip_command locket-viewer)
