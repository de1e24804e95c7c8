# Run by `cmake --install` (and by CPack for the package): installs
# velmar-server's unit and configuration file where the system looks for them.
# Under /usr, as a distribution package installs, that is /etc/velmar and
# systemd's own unit folder; under any other prefix (/usr/local, a test's
# folder), beside the programs, so nothing outside the prefix is touched.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(sysconfdir /etc)
  set(unitdir ${VELMAR_SYSTEMD_UNIT_DIR})
else()
  set(sysconfdir ${CMAKE_INSTALL_PREFIX}/etc)
  set(unitdir ${CMAKE_INSTALL_PREFIX}/lib/systemd/system)
endif()

set(VELMAR_SERVER_BINDIR ${CMAKE_INSTALL_PREFIX}/bin)
set(VELMAR_SERVER_CONF ${sysconfdir}/velmar/server.conf)
configure_file(${VELMAR_PACKAGING_DIR}/velmar-server.service
               ${VELMAR_PACKAGING_BINARY_DIR}/velmar-server.service @ONLY)

# file(INSTALL) puts DESTDIR in front of these absolute folders itself.
file(INSTALL ${VELMAR_PACKAGING_BINARY_DIR}/velmar-server.service DESTINATION ${unitdir}
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(INSTALL ${VELMAR_PACKAGING_DIR}/server.conf DESTINATION ${sysconfdir}/velmar
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
