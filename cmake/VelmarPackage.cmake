# The Debian package, velmar_<version>_amd64.deb, from what packaging/ and the
# programs install: `cmake --build --preset release --target package`.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmar)
set(CPACK_PACKAGE_VENDOR "Velmar")
set(CPACK_PACKAGE_CONTACT "Velmar developers <velmar-dev@velmar.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Control program for networked audio I/O frames")
# Lines of the long description stay under 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "Velmar finds the audio I/O frames on the network, shows their sync, sample
rate, power supplies, fans and input signals, and routes their channels through
the frame's crosspoint matrix. velmarctl does the same from scripts;
velmar-server keeps every frame of a facility connected and serves them over
HTTP and WebSocket, with Prometheus metrics; velmar-framesim simulates frames
for trying the program without hardware.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The Qt 6 runtime packages and the C++ runtime, as dpkg-shlibdeps finds them
# from the programs' own libraries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://velmar.org/")
# The service's configuration file belongs to the administrator: an upgrade
# keeps their edits (dpkg asks before replacing it).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/CompressDocs.cmake)
include(CPack)
