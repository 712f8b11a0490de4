# What `cmake --install` puts on a Linux system, and the .deb CPack makes of
# it. Included from the top directory, after the kivo target exists, so the
# install rules belong to the project rather than to a subdirectory.
include(GNUInstallDirs)

# The program alone: the tests, benchmarks and fuzz targets are for this tree.
install(TARGETS kivo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/kivo.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The same icon the Windows exes carry, generated at build time: the two
# images as drawn, the larger sizes rendered from the scalable drawing.
foreach(size 16 32 48 64 128)
  install(FILES ${KIVO_ICON_PNG_DIR}/kivo-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME kivo.png)
endforeach()
install(FILES ${KIVO_ICON_PNG_DIR}/kivo.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kivo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Falvane")
set(CPACK_PACKAGE_CONTACT "Kivo developers <kivo@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small desktop performance monitor strip")
# Debian wants the long text as paragraphs; CPack puts the summary above it.
set(CPACK_PACKAGE_DESCRIPTION [=[
Kivo keeps one borderless strip, 450 x 14 pixels, at the top of the screen,
always on top and redrawn every second. Its text view is one green line on
black with the date, the memory in use, the free disk space, the network
receive and send rates, the battery charge and the processor load; its legacy
view shows two memory bars. A double-click frames the strip for moving and
sizing; the right-button menu holds the font, the refresh period and the view.

Settings are kept in ~/.config/kivo/kivo.reg in the format of a Windows
registry export, so they move to and from the Windows build of Kivo.]=])
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps reads the binary and names the libraries it really links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
