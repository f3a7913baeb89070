locket_test(test_files_avi
  SOURCES
    avi_layout_test.cpp
  DEPS files
  LABELS threaded)
