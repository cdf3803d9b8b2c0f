# End-to-end tests: two copies of talmox.exe on two simulated machines, driven by e2edriver.exe
# (tools/machines).
# One run per link: only two real programs show that they agree. The other cases of the
# transfer run in process (tests/transfer.cpp); the long two-copy runs are `make soak`'s.
foreach(link serial lan)
  add_test(NAME e2e_${link}_send_three
           COMMAND ${CMAKE_SOURCE_DIR}/tools/machines/e2e-scenario.sh ${link}_send_three ${CMAKE_BINARY_DIR})
  # Two machines each is what the shared cores carry: the scenarios run one at a time.
  set_tests_properties(e2e_${link}_send_three PROPERTIES
    TIMEOUT 180 SKIP_RETURN_CODE 77 RESOURCE_LOCK e2e_machines)
endforeach()

# LAN discovery between two namespaces: the link routines on one side, an independent peer
# (tools/test/lan-discovery-peer.py) on the other.
add_executable(lanconnect ${CMAKE_CURRENT_LIST_DIR}/lanconnect.cpp)
target_link_libraries(lanconnect PRIVATE talmoxcore)
target_link_options(lanconnect PRIVATE -static)
add_test(NAME links_lan_discovery
         COMMAND ${CMAKE_SOURCE_DIR}/tools/test/lan-discovery.sh ${CMAKE_BINARY_DIR})
set_tests_properties(links_lan_discovery PROPERTIES
  TIMEOUT 120 SKIP_RETURN_CODE 77 RESOURCE_LOCK e2e_machines)
