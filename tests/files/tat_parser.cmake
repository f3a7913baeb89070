locket_test(test_tat_parser
  SOURCES tat_parser_test.cpp
  DEPS files tat base platform
  LABELS threaded)
# The card test runs the recorder tool.
if(TARGET locket-record)
  add_dependencies(test_tat_parser locket-record)
endif()
