locket_test(test_files_avi
  SOURCES avi_test.cpp
  DEPS files
  LABELS threaded)
