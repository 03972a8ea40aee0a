# The spare DNS resolver: its own UDP DNS client on a worker thread.
add_library(sparedns STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/DnsClient.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/DnsMessage.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/DnsThread.cpp)
target_link_libraries(sparedns PUBLIC runtime ws2_32)
