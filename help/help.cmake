# The help file talmox.chm, compiled from the HTML pages beside this file and put next to the
# program. It is part of every build: `make` installs the compiler (tools/build/install-deps.sh).
find_program(TALMOX_CHMCMD chmcmd)
if(NOT TALMOX_CHMCMD)
  message(FATAL_ERROR "chmcmd (Debian package fp-utils) is needed to build the help file; "
                      "`make deps` installs it")
endif()
file(GLOB TALMOX_HELP_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/help-src)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/talmox.chm
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_BINARY_DIR}/help-src
  COMMAND ${TALMOX_CHMCMD} talmox.hhp > chmcmd.log
  COMMAND ${CMAKE_COMMAND} -E copy talmox.chm ${CMAKE_BINARY_DIR}/talmox.chm
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/help-src
  DEPENDS ${TALMOX_HELP_SOURCES})
add_custom_target(talmox_help ALL DEPENDS ${CMAKE_BINARY_DIR}/talmox.chm)

# The help file holds every page, its contents and its index, and names that index.
if(TALMOX_TESTS)
  add_test(NAME help_file COMMAND bash ${CMAKE_SOURCE_DIR}/tools/test/check-help.sh
           ${CMAKE_BINARY_DIR}/talmox.chm ${CMAKE_CURRENT_LIST_DIR})
endif()
