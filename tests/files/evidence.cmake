# Sensor logs, knocks and the files a clip is handed over in, checked by readers nobody here wrote.
locket_test(test_files_evidence
  SOURCES
    sensor_export_test.cpp
    mp4_writer_test.cpp
  DEPS files locket_record_lib
  LABELS threaded)
