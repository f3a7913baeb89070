# A clip of a recording exported as MP4, GPX, CSV and checksums, read back by outside programs.
locket_test(test_export_clip
  SOURCES clip_converter_test.cpp
  DEPS export locket_record_lib
  LABELS threaded)
