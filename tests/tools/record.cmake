# locket-record: the recorder stand-in's parts and the cards it writes.
locket_test(test_record
  SOURCES
    record_stream_test.cpp
    record_sensor_test.cpp
    record_card_test.cpp
    record_options_test.cpp
    record_import_test.cpp
  DEPS locket_record_lib engine files tat
  LABELS threaded)
# Some tests run the tool itself.
add_dependencies(test_record locket-record)
