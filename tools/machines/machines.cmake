# The driver that acts as the user of a running copy on a simulated machine: `make run`'s
# demonstration, the benchmark and the two-copy tests all press its buttons through it.
add_executable(e2edriver ${CMAKE_CURRENT_LIST_DIR}/driver.cpp)
target_compile_options(e2edriver PRIVATE ${TALMOX_WARNINGS})
target_link_libraries(e2edriver PRIVATE comctl32 user32 kernel32 psapi version ole32 uuid)
target_link_options(e2edriver PRIVATE -static)
# The machines copy both programs in, so the program must be built first.
add_dependencies(e2edriver talmox)
