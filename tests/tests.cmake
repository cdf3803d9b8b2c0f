# The test programs: GoogleTest built from the machine's sources, run by ctest through Wine.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

enable_testing()
# Every test program starts through this wrapper: it gives the tests their own
# Wine prefix under the build folder and keeps Wine quiet.
set(TALMOX_WINE_RUN ${CMAKE_SOURCE_DIR}/tools/machines/wine-run.sh)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TALMOX_WINE_RUN})

file(GLOB TALMOX_SUPPORT_SOURCES CONFIGURE_DEPENDS tests/support/*.cpp)
add_library(testsupport STATIC ${TALMOX_SUPPORT_SOURCES})
target_include_directories(testsupport PUBLIC tests/support)
target_link_libraries(testsupport PUBLIC talmoxcore gtest)

# A test program of tests/NAME.cpp and what it needs besides Wine, given as its labels: "cable"
# is the pseudo-terminal pair mapped as COM1 and COM2, "display" an Xvfb display; each label
# brings the fixture of the same name. All the programs share one Wine prefix, made once in
# the build folder, and ctest runs them one at a time.
function(talmox_test name)
  add_executable(${name} tests/${name}.cpp ${TALMOX_RESOURCES})
  target_link_libraries(${name} PRIVATE testsupport gtest_main)
  target_link_options(${name} PRIVATE -static)
  add_test(NAME ${name} COMMAND ${TALMOX_WINE_RUN} $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "TALMOX_BUILD=${CMAKE_BINARY_DIR};TALMOX_SOURCE=${CMAKE_SOURCE_DIR}"
    TIMEOUT 600 LABELS "${ARGN}" FIXTURES_REQUIRED "${ARGN}")
  list(APPEND TALMOX_TESTS_DECLARED ${CMAKE_SOURCE_DIR}/tests/${name}.cpp)
  set(TALMOX_TESTS_DECLARED ${TALMOX_TESTS_DECLARED} PARENT_SCOPE)
endfunction()

# The transfer over both links: the serial cases on the cable, the socket ones on loopback.
talmox_test(transfer cable)
talmox_test(ui_filepane display)
# The Send List's sends go to a scripted peer on the cable.
talmox_test(ui_sendlist_status cable display)
talmox_test(ui_settings cable display)

# A program left out above would never run.
file(GLOB TALMOX_TEST_SOURCES CONFIGURE_DEPENDS tests/*.cpp)
list(REMOVE_ITEM TALMOX_TEST_SOURCES ${TALMOX_TESTS_DECLARED})
if(TALMOX_TEST_SOURCES)
  message(FATAL_ERROR "test programs not declared in tests/tests.cmake: ${TALMOX_TEST_SOURCES}")
endif()

# The folders of src/ include one way only, and the code below the windows makes no window call.
add_test(NAME layers COMMAND bash ${CMAKE_SOURCE_DIR}/tools/test/check-layers.sh ${CMAKE_SOURCE_DIR}/src)

# The fixtures that the labels above name: the cable and the display.
add_test(NAME cable_start COMMAND ${CMAKE_SOURCE_DIR}/tools/test/serial-pair.sh start ${CMAKE_BINARY_DIR})
add_test(NAME cable_stop COMMAND ${CMAKE_SOURCE_DIR}/tools/test/serial-pair.sh stop ${CMAKE_BINARY_DIR})
set_tests_properties(cable_start PROPERTIES FIXTURES_SETUP cable)
set_tests_properties(cable_stop PROPERTIES FIXTURES_CLEANUP cable)
add_test(NAME display_start COMMAND ${CMAKE_SOURCE_DIR}/tools/test/xvfb.sh start ${CMAKE_BINARY_DIR})
add_test(NAME display_stop COMMAND ${CMAKE_SOURCE_DIR}/tools/test/xvfb.sh stop ${CMAKE_BINARY_DIR})
set_tests_properties(display_start PROPERTIES FIXTURES_SETUP display)
set_tests_properties(display_stop PROPERTIES FIXTURES_CLEANUP display)

# End-to-end tests of two copies of the program live in a file of their own.
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/e2e/e2e.cmake)
  include(${CMAKE_SOURCE_DIR}/tests/e2e/e2e.cmake)
endif()
