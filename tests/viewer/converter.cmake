# The conversion of one recording, on a card made by the recorder tool's own entry points.
locket_test(test_viewer_converter
  SOURCES converter_test.cpp
  DEPS viewer_lib locket_record_lib)
