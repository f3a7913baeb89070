locket_test(test_files_trips
  SOURCES route_test.cpp
  DEPS files locket_record_lib)
