# The help file talmox.chm, compiled from the HTML pages beside this file and put next to the
# program. Without the compiler the build goes on without a help file.
find_program(TALMOX_CHMCMD chmcmd)
if(TALMOX_CHMCMD)
  file(GLOB TALMOX_HELP_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/help-src)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/talmox.chm
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_BINARY_DIR}/help-src
    COMMAND ${TALMOX_CHMCMD} talmox.hhp > chmcmd.log
    COMMAND ${CMAKE_COMMAND} -E copy talmox.chm ${CMAKE_BINARY_DIR}/talmox.chm
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/help-src
    DEPENDS ${TALMOX_HELP_SOURCES})
  add_custom_target(talmox_help ALL DEPENDS ${CMAKE_BINARY_DIR}/talmox.chm)
else()
  message(WARNING "chmcmd (package fp-utils) not found: no help file is built")
endif()
