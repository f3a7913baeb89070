locket_test(test_tat
  SOURCES
    tat_library_test.cpp
    tat_writer_test.cpp
  DEPS tat
  LABELS threaded)
