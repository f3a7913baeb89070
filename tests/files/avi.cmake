locket_test(test_files_avi
  SOURCES
    avi_writer_test.cpp
    avi_extractor_test.cpp
  DEPS files
  LABELS threaded)
