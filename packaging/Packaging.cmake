# Install layout and the Debian package of the three programs. Included from the top
# CMakeLists once the program targets exist.
include(GNUInstallDirs)

set(QV_APP_ID org.quintavolte.Control)
# The date of the release that project(VERSION) names; the metainfo carries both.
set(QV_RELEASE_DATE 2026-12-11)

foreach(prog quintavolte quintavolte-cli quintavolte-sim)
  if(TARGET ${prog})
    install(TARGETS ${prog} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/packaging/${QV_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${PROJECT_SOURCE_DIR}/packaging/${QV_APP_ID}.metainfo.xml
               ${PROJECT_BINARY_DIR}/packaging/${QV_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/packaging/${QV_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/ui/resources/icon.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${QV_APP_ID}.svg)

# The bridge as a service: a unit per serial port, its configuration (a conffile, made its
# user's alone by postinst, which also creates that user).
install(FILES ${PROJECT_SOURCE_DIR}/packaging/quintavolte-mqtt@.service DESTINATION /lib/systemd/system)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/mqtt.conf DESTINATION /etc/quintavolte)
file(WRITE ${PROJECT_BINARY_DIR}/packaging/conffiles "/etc/quintavolte/mqtt.conf\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/postinst
    ${PROJECT_BINARY_DIR}/packaging/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# postinst creates the service's user.
set(CPACK_DEBIAN_PACKAGE_DEPENDS adduser)

# Manual pages carry the version and are installed compressed, as Debian expects.
set(_man_gz)
foreach(page quintavolte quintavolte-cli quintavolte-sim)
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.1 ${PROJECT_BINARY_DIR}/man/${page}.1 @ONLY)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/man/${page}.1.gz
                     COMMAND gzip -9nf -k ${PROJECT_BINARY_DIR}/man/${page}.1
                     DEPENDS ${PROJECT_BINARY_DIR}/man/${page}.1 VERBATIM)
  list(APPEND _man_gz ${PROJECT_BINARY_DIR}/man/${page}.1.gz)
endforeach()
add_custom_target(qv_manpages ALL DEPENDS ${_man_gz})
install(FILES ${_man_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Debian's documentation of every package: the copyright file and the changelog, compressed.
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.gz
                   COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog > ${PROJECT_BINARY_DIR}/packaging/changelog.gz
                   DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog VERBATIM)
add_custom_target(qv_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quintavolte)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quintavolte)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control program for the Quintavolte solar charge controller")
# Lines of the long description stay within 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "Watches and sets up the Quintavolte solar charge controller over a serial\n\
port (Modbus RTU): a window program, a command-line tool with settings backup\n\
and restore and an MQTT bridge, and a stand-in for the device on a\n\
pseudo-terminal.")
set(CPACK_PACKAGE_CONTACT "Quintavolte Control developers <quintavolte@example.org>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# Dependencies come from the libraries the programs link, not from a list kept by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The framework's own buttons and file dialogs in Russian; without it they stay English.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
# Package only what the programs need: the build of tests and benchmarks is not waited for.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)
