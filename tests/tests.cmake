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
endforeach()
