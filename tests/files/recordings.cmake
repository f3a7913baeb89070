locket_test(test_files_recordings
  SOURCES recording_names_test.cpp
  DEPS files locket_record_lib tat base platform)
