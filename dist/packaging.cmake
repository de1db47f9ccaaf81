# Installation layout, the polkit action and the man page. The Debian package is built from
# debian/ (dpkg-buildpackage), which installs through these rules.

set(BRINDLEWAY_POLKIT_ACTION "org.brindleway.helper.autologin")
set(BRINDLEWAY_HELPER_PATH "${CMAKE_INSTALL_FULL_LIBEXECDIR}/brindleway-helper")
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  message(STATUS "polkit reads actions only from /usr/share/polkit-1/actions: configure with "
                 "-DCMAKE_INSTALL_PREFIX=/usr for an install or a package that pkexec can use")
endif()

# Never setuid: pkexec makes it root, and only for callers that polkit lets through.
install(TARGETS brindleway-helper
        RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}
        PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                    WORLD_READ WORLD_EXECUTE)

set(BRINDLEWAY_POLICY "${PROJECT_BINARY_DIR}/${BRINDLEWAY_POLKIT_ACTION}.policy")
configure_file(${CMAKE_CURRENT_LIST_DIR}/org.brindleway.helper.autologin.policy.in
               ${BRINDLEWAY_POLICY} @ONLY)
install(FILES ${BRINDLEWAY_POLICY} DESTINATION ${CMAKE_INSTALL_DATADIR}/polkit-1/actions
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# -n keeps the name and time stamp out of the archive, so the package builds reproducibly.
set(BRINDLEWAY_MAN_PAGE "${CMAKE_CURRENT_LIST_DIR}/brindleway-helper.8")
set(BRINDLEWAY_MAN_GZ "${PROJECT_BINARY_DIR}/brindleway-helper.8.gz")
add_custom_command(OUTPUT ${BRINDLEWAY_MAN_GZ}
                   COMMAND gzip -9n -c ${BRINDLEWAY_MAN_PAGE} > ${BRINDLEWAY_MAN_GZ}
                   DEPENDS ${BRINDLEWAY_MAN_PAGE} VERBATIM)
add_custom_target(man_page ALL DEPENDS ${BRINDLEWAY_MAN_GZ})
install(FILES ${BRINDLEWAY_MAN_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man8
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# The shapes of the --json answers, for the programs that read them.
install(FILES ${PROJECT_SOURCE_DIR}/docs/result.schema.json
              ${PROJECT_SOURCE_DIR}/docs/status.schema.json
        DESTINATION ${CMAKE_INSTALL_DOCDIR}
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
