locket_test(test_platform_ini
  SOURCES private_profile_test.cpp
  DEPS platform)
