# The network endpoints compiled into the programs. Builds meant for tests
# and the demo point at loopback; only the release build carries the real
# hosts. Tests and the demo replace them at run time through environment
# variables (INSTALLER_UPDATE_URLS, INSTALLER_SPARE_DNS).
if(INSTALLER_RELEASE_ENDPOINTS)
  include(${CMAKE_CURRENT_LIST_DIR}/endpoints-release.cmake)
else()
  include(${CMAKE_CURRENT_LIST_DIR}/endpoints-loopback.cmake)
endif()
configure_file(${CMAKE_SOURCE_DIR}/src/BuildSettings.h.in ${CMAKE_BINARY_DIR}/generated/BuildSettings.h
               @ONLY)
