# The test bench: every test program runs under Wine in a prefix of this
# build folder, with one wineserver and one virtual X display for the whole
# run. Two fixture tests start and stop them, so a plain `ctest` works and
# leaves nothing running.
set(TESTBENCH_SCRIPT ${CMAKE_SOURCE_DIR}/tests/bench/testbench)
# Test programs run through the wrapper, which sets the prefix and display.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)

add_test(NAME testbench.start COMMAND ${TESTBENCH_SCRIPT} start ${CMAKE_BINARY_DIR})
set_tests_properties(testbench.start PROPERTIES FIXTURES_SETUP wine)
add_test(NAME testbench.stop COMMAND ${TESTBENCH_SCRIPT} stop ${CMAKE_BINARY_DIR})
set_tests_properties(testbench.stop PROPERTIES FIXTURES_CLEANUP wine)

set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# add_wine_test(NAME SOURCES... [LIBS ...] [ENVIRONMENT ...])
# One test program, one ctest entry, run under the bench.
function(add_wine_test name)
  cmake_parse_arguments(arg "" "" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBS} GTest::gtest GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine)
  if(arg_ENVIRONMENT)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${arg_ENVIRONMENT}")
  endif()
endfunction()
