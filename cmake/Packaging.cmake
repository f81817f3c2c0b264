# Installation layout and the Debian package. The program carries its map page and icons
# inside its own binary, so an installed lodvar needs nothing from the build tree.
include(GNUInstallDirs)

install(FILES ${PROJECT_SOURCE_DIR}/packaging/lodvar.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lodvar.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/db/schema.sql ${PROJECT_SOURCE_DIR}/db/demo.sql
              ${PROJECT_SOURCE_DIR}/db/demo_users.sql ${PROJECT_SOURCE_DIR}/db/README.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lodvar)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lodvar)
set(CPACK_PACKAGE_VENDOR "Kavex")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Client for the operators of a radio direction-finding network")
set(CPACK_PACKAGE_CONTACT "Lodvar maintainers <lodvar@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Debug sections name the build tree; the package carries none.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# Libraries come from the binaries; what Qt loads at run time (the browser process, the
# platform plugins) no linker sees, so it is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6webenginecore6-bin, qt6-qpa-plugins")
include(CPack)
