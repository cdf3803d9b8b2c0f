# The test programs: GoogleTest built from the machine's sources, run by ctest through Wine.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

enable_testing()
# Every test program starts through this wrapper: it gives the tests their own
# Wine prefix under the build folder and keeps Wine quiet.
set(TALMOX_WINE_RUN ${CMAKE_SOURCE_DIR}/tools/wine-run.sh)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TALMOX_WINE_RUN})

file(GLOB TALMOX_SUPPORT_SOURCES CONFIGURE_DEPENDS tests/support/*.cpp)
add_library(testsupport STATIC ${TALMOX_SUPPORT_SOURCES})
target_include_directories(testsupport PUBLIC tests/support)
target_link_libraries(testsupport PUBLIC talmoxcore gtest)

file(GLOB TALMOX_TEST_SOURCES CONFIGURE_DEPENDS tests/*.cpp)
foreach(src ${TALMOX_TEST_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src} ${TALMOX_RESOURCES})
  target_link_libraries(${name} PRIVATE testsupport gtest_main)
  target_link_options(${name} PRIVATE -static)
  add_test(NAME ${name} COMMAND ${TALMOX_WINE_RUN} $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "TALMOX_BUILD=${CMAKE_BINARY_DIR};TALMOX_SOURCE=${CMAKE_SOURCE_DIR}"
    TIMEOUT 600)
  # Tests whose names contain "serial" talk over the pseudo-terminal pair mapped as COM1/COM2,
  # and so do the Send List's sends to a scripted peer; those whose names start with "ui_" open
  # windows, on an Xvfb display of their own.
  if(name MATCHES "serial|^ui_sendlist")
    set_property(TEST ${name} APPEND PROPERTY FIXTURES_REQUIRED serialpair)
  endif()
  if(name MATCHES "^ui_")
    set_property(TEST ${name} APPEND PROPERTY FIXTURES_REQUIRED xdisplay)
  endif()
endforeach()

# The folders of src/ include one way only, and the code below the windows makes no window call.
add_test(NAME layers COMMAND bash ${CMAKE_SOURCE_DIR}/tools/check-layers.sh ${CMAKE_SOURCE_DIR}/src)

# The fixtures named above: the serial pair and the display.
add_test(NAME serial_pair_start COMMAND ${CMAKE_SOURCE_DIR}/tools/serial-pair.sh start ${CMAKE_BINARY_DIR})
add_test(NAME serial_pair_stop COMMAND ${CMAKE_SOURCE_DIR}/tools/serial-pair.sh stop ${CMAKE_BINARY_DIR})
set_tests_properties(serial_pair_start PROPERTIES FIXTURES_SETUP serialpair)
set_tests_properties(serial_pair_stop PROPERTIES FIXTURES_CLEANUP serialpair)
add_test(NAME xdisplay_start COMMAND ${CMAKE_SOURCE_DIR}/tools/xvfb.sh start ${CMAKE_BINARY_DIR})
add_test(NAME xdisplay_stop COMMAND ${CMAKE_SOURCE_DIR}/tools/xvfb.sh stop ${CMAKE_BINARY_DIR})
set_tests_properties(xdisplay_start PROPERTIES FIXTURES_SETUP xdisplay)
set_tests_properties(xdisplay_stop PROPERTIES FIXTURES_CLEANUP xdisplay)

# End-to-end tests of two copies of the program live in a file of their own.
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/e2e/e2e.cmake)
  include(${CMAKE_SOURCE_DIR}/tests/e2e/e2e.cmake)
endif()
