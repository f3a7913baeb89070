# Every library is found here once and handed out as an imported target.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavcodec libavutil libswscale)
pkg_check_modules(AVFORMAT REQUIRED IMPORTED_TARGET libavformat)
pkg_check_modules(SWRESAMPLE REQUIRED IMPORTED_TARGET libswresample)
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
pkg_check_modules(ALSA REQUIRED IMPORTED_TARGET alsa)
# CRC-32 with the processor's carry-less multiply: every packet read is checksummed whole.
pkg_check_modules(DEFLATE REQUIRED IMPORTED_TARGET libdeflate)

# Debian ships OpenCV's CMake config only with the umbrella package; the three
# modules we use are found by hand.
find_path(OPENCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
find_library(OPENCV_CORE_LIB opencv_core REQUIRED)
find_library(OPENCV_IMGPROC_LIB opencv_imgproc REQUIRED)
find_library(OPENCV_IMGCODECS_LIB opencv_imgcodecs REQUIRED)
add_library(locket_opencv INTERFACE)
target_include_directories(locket_opencv SYSTEM INTERFACE ${OPENCV_INCLUDE_DIR})
target_link_libraries(locket_opencv INTERFACE ${OPENCV_IMGCODECS_LIB} ${OPENCV_IMGPROC_LIB} ${OPENCV_CORE_LIB})

find_package(GTest REQUIRED)
if(LOCKET_BENCH)
  find_package(benchmark REQUIRED)
endif()

if(LOCKET_WITH_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets Svg WebEngineWidgets Network Test)
endif()
