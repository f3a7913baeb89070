locket_test(test_tat_parser
  SOURCES tat_parser_test.cpp
  DEPS files tat base platform
  LABELS threaded)
