# Third-party libraries, all from Debian packages.

# libcurl for Windows is built from Debian's curl source package into a cache
# folder outside the tree; the script does nothing when it is already there.
execute_process(
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/build-curl
  OUTPUT_VARIABLE CURL_PREFIX
  OUTPUT_STRIP_TRAILING_WHITESPACE
  RESULT_VARIABLE curl_result)
if(NOT curl_result EQUAL 0)
  message(FATAL_ERROR "Building libcurl for Windows failed (scripts/build-curl)")
endif()
find_package(CURL CONFIG REQUIRED PATHS ${CURL_PREFIX} NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
set(CURL_EXE ${CURL_PREFIX}/bin/curl.exe CACHE INTERNAL "curl.exe built from the same sources")

# zlib from libz-mingw-w64-dev.
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)

# stb_image from libstb-dev: a header outside the cross sysroot.
find_path(STB_INCLUDE_DIR stb_image.h PATHS /usr/include/stb NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT STB_INCLUDE_DIR)
  message(FATAL_ERROR "stb_image.h not found (package libstb-dev)")
endif()
add_library(stb_image INTERFACE)
target_include_directories(stb_image SYSTEM INTERFACE ${STB_INCLUDE_DIR})
