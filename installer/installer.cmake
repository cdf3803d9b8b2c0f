# The packages of this build's architecture, named with the version, in build/dist: the MSI
# (tools/build/make-msi.sh, Debian's wixl) and a portable zip, each holding the program and its help
# file. Every build makes them; `make dist` builds both architectures.
find_program(TALMOX_WIXL wixl)
if(NOT TALMOX_WIXL)
  message(FATAL_ERROR "wixl (Debian package wixl) is needed to build the installer; "
                      "`make deps` installs it")
endif()
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(TALMOX_ARCH x64)
else()
  set(TALMOX_ARCH x86)
endif()
get_filename_component(TALMOX_DIST_DIR ${CMAKE_BINARY_DIR}/../dist ABSOLUTE)
set(TALMOX_DIST_NAME talmox-${PROJECT_VERSION}-${TALMOX_ARCH})
set(TALMOX_DIST_MSI ${TALMOX_DIST_DIR}/${TALMOX_DIST_NAME}.msi)
set(TALMOX_DIST_ZIP ${TALMOX_DIST_DIR}/${TALMOX_DIST_NAME}.zip)
# The zip opens to one folder of the package's name; the package's icon waits beside the files.
set(stage ${CMAKE_BINARY_DIR}/dist-stage)
file(MAKE_DIRECTORY ${stage})
add_custom_command(OUTPUT ${TALMOX_DIST_MSI} ${TALMOX_DIST_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}/${TALMOX_DIST_NAME}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}/${TALMOX_DIST_NAME} ${TALMOX_DIST_DIR}
  # The packages of another version of this architecture are older ones: they go.
  COMMAND sh -c "rm -f \"$1\"/talmox-*-$2.msi \"$1\"/talmox-*-$2.zip" sh ${TALMOX_DIST_DIR} ${TALMOX_ARCH}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:talmox> ${CMAKE_BINARY_DIR}/talmox.chm
          ${CMAKE_SOURCE_DIR}/res/talmox.ico ${stage}/${TALMOX_DIST_NAME}
  COMMAND ${CMAKE_SOURCE_DIR}/tools/build/make-msi.sh ${TALMOX_ARCH} ${PROJECT_VERSION}
          ${stage}/${TALMOX_DIST_NAME} ${TALMOX_DIST_MSI}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${TALMOX_DIST_ZIP} --format=zip
          ${TALMOX_DIST_NAME}/talmox.exe ${TALMOX_DIST_NAME}/talmox.chm
  WORKING_DIRECTORY ${stage}
  DEPENDS talmox ${CMAKE_BINARY_DIR}/talmox.chm ${CMAKE_SOURCE_DIR}/res/talmox.ico
          ${CMAKE_SOURCE_DIR}/installer/talmox.wxs ${CMAKE_SOURCE_DIR}/tools/build/make-msi.sh
  VERBATIM)
add_custom_target(talmox_dist ALL DEPENDS ${TALMOX_DIST_MSI} ${TALMOX_DIST_ZIP})

# The package installed, started, upgraded and removed as a user would (tools/test/e2e-install.sh).
if(TALMOX_TESTS)
  add_test(NAME e2e_install_${TALMOX_ARCH}
           COMMAND ${CMAKE_SOURCE_DIR}/tools/test/e2e-install.sh ${TALMOX_ARCH} ${PROJECT_VERSION}
                   ${CMAKE_BINARY_DIR} ${TALMOX_DIST_DIR})
  set_tests_properties(e2e_install_${TALMOX_ARCH} PROPERTIES
    TIMEOUT 300 SKIP_RETURN_CODE 77 RESOURCE_LOCK e2e_machines)
endif()
