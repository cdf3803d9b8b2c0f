# Benchmark programs (run by `make bench`, never by the test suite).
add_executable(bench_crc ${CMAKE_SOURCE_DIR}/tools/bench/bench_crc.cpp)
target_link_libraries(bench_crc PRIVATE talmoxcore)
target_link_options(bench_crc PRIVATE -static)
add_executable(bench_sockpipe ${CMAKE_SOURCE_DIR}/tools/bench/bench_sockpipe.cpp)
target_link_libraries(bench_sockpipe PRIVATE talmoxcore)
target_link_options(bench_sockpipe PRIVATE -static)
