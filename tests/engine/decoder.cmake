locket_test(test_engine_decoder
  SOURCES decoder_test.cpp
  DEPS engine locket_record_lib PkgConfig::FFMPEG locket_opencv
  LABELS threaded)
