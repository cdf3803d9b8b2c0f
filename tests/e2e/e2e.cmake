# End-to-end tests: two copies of talmox.exe on two simulated machines, driven by e2edriver.exe
# (tools/machines).
set(TALMOX_E2E_SCENARIOS)
foreach(link serial lan wan)
  foreach(what send_three name_conflict)
    list(APPEND TALMOX_E2E_SCENARIOS ${link}_${what})
  endforeach()
endforeach()
# Send Lists longer than one batch, over the LAN.
list(APPEND TALMOX_E2E_SCENARIOS lan_many)
# A receiver that asks its user first: accept and decline over both links, the time-out (its
# real 60 seconds) over the LAN.
list(APPEND TALMOX_E2E_SCENARIOS lan_ask serial_ask)
foreach(scenario ${TALMOX_E2E_SCENARIOS})
  add_test(NAME e2e_${scenario}
           COMMAND ${CMAKE_SOURCE_DIR}/tools/machines/e2e-scenario.sh ${scenario} ${CMAKE_BINARY_DIR})
  # Two machines each is what the shared cores carry: the scenarios run one at a time.
  set_tests_properties(e2e_${scenario} PROPERTIES
    TIMEOUT 180 SKIP_RETURN_CODE 77 RESOURCE_LOCK e2e_machines)
endforeach()
set_tests_properties(e2e_lan_many PROPERTIES TIMEOUT 400)
set_tests_properties(e2e_lan_ask PROPERTIES TIMEOUT 300)

# LAN discovery between two namespaces: the link routines on one side, an independent peer
# (tools/test/lan-discovery-peer.py) on the other.
add_executable(lanconnect ${CMAKE_CURRENT_LIST_DIR}/lanconnect.cpp)
target_link_libraries(lanconnect PRIVATE talmoxcore)
target_link_options(lanconnect PRIVATE -static)
add_test(NAME links_lan_discovery
         COMMAND ${CMAKE_SOURCE_DIR}/tools/test/lan-discovery.sh ${CMAKE_BINARY_DIR})
set_tests_properties(links_lan_discovery PROPERTIES
  TIMEOUT 120 SKIP_RETURN_CODE 77 RESOURCE_LOCK e2e_machines)

# Two copies sending to each other in turn, watched for growth, and batches cancelled at random
# moments on either side; `make soak` runs 200 batches and 100 cancels per link.
foreach(link lan serial)
  add_test(NAME e2e_turns_${link}
           COMMAND ${CMAKE_SOURCE_DIR}/tools/test/e2e-turns.sh ${link} 10 ${CMAKE_BINARY_DIR})
  add_test(NAME e2e_cancels_${link}
           COMMAND ${CMAKE_SOURCE_DIR}/tools/test/e2e-cancels.sh ${link} 4 ${CMAKE_BINARY_DIR})
  set_tests_properties(e2e_turns_${link} e2e_cancels_${link} PROPERTIES
    TIMEOUT 400 SKIP_RETURN_CODE 77 RESOURCE_LOCK e2e_machines)
endforeach()

# Batches through relays that damage the link (bit flips, split and delayed segments, closed
# connections; flipped, dropped and duplicated serial bytes): nothing corrupt or lost is
# kept. A short run here; `make soak` runs the long one.
foreach(link tcp serial)
  add_test(NAME e2e_damage_${link}
           COMMAND ${CMAKE_SOURCE_DIR}/tools/test/damage-soak.sh ${link} ${CMAKE_BINARY_DIR})
  set_tests_properties(e2e_damage_${link} PROPERTIES
    TIMEOUT 300 SKIP_RETURN_CODE 77 RESOURCE_LOCK e2e_machines ENVIRONMENT "DAMAGE_HANG_S=30")
endforeach()

# A hostile peer (random messages and garbage, seeded) against a copy of Talmox in answer mode
# over each link: it keeps answering, stays flat and writes nothing outside its destination.
# A short slice here; `make soak` runs ten minutes per link.
add_executable(hostilepeer ${CMAKE_CURRENT_LIST_DIR}/hostilepeer.cpp)
target_link_libraries(hostilepeer PRIVATE testsupport ws2_32)
target_link_options(hostilepeer PRIVATE -static)
foreach(link lan serial)
  add_test(NAME e2e_hostile_${link}
           COMMAND ${CMAKE_SOURCE_DIR}/tools/test/e2e-hostile.sh ${link} 45 ${CMAKE_BINARY_DIR})
  set_tests_properties(e2e_hostile_${link} PROPERTIES
    TIMEOUT 300 SKIP_RETURN_CODE 77 RESOURCE_LOCK e2e_machines)
endforeach()
