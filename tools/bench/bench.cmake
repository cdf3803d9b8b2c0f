# Benchmark programs (run by `make bench`, never by the test suite).
add_executable(bench_crc ${CMAKE_SOURCE_DIR}/tools/bench/bench_crc.cpp)
target_link_libraries(bench_crc PRIVATE talmoxcore)
target_link_options(bench_crc PRIVATE -static)
add_executable(bench_listing ${CMAKE_SOURCE_DIR}/tools/bench/bench_listing.cpp ${TALMOX_RESOURCES})
target_link_libraries(bench_listing PRIVATE talmoxcore)
target_link_options(bench_listing PRIVATE -static)
add_executable(bench_sockpipe ${CMAKE_SOURCE_DIR}/tools/bench/bench_sockpipe.cpp)
target_link_libraries(bench_sockpipe PRIVATE talmoxcore mswsock)
target_link_options(bench_sockpipe PRIVATE -static)
# The worker is started the way the tests start it, without linking the tests' GoogleTest.
add_executable(bench_xfer ${CMAKE_SOURCE_DIR}/tools/bench/bench_xfer.cpp
               ${CMAKE_SOURCE_DIR}/tests/support/testenv.cpp)
target_include_directories(bench_xfer PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
target_link_libraries(bench_xfer PRIVATE talmoxcore)
target_link_options(bench_xfer PRIVATE -static)
