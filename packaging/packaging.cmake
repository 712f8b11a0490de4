# What `cmake --install` puts on a Linux system, and the .deb CPack makes of
# it. Included from the top directory, after the kivo target exists, so the
# install rules belong to the project rather than to a subdirectory.
include(GNUInstallDirs)

# The program alone: the tests, benchmarks and fuzz targets are for this tree.
install(TARGETS kivo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/kivo.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The manual page and the Debian changelog, compressed as Debian keeps them
# (gzip -n: no name or time inside, so the bytes depend on the text alone).
find_program(KIVO_GZIP gzip REQUIRED)
set(KIVO_DOC_DIR ${PROJECT_BINARY_DIR}/packaging)
foreach(pair "kivo.1;kivo.1.gz" "changelog;changelog.Debian.gz")
  list(GET pair 0 source)
  list(GET pair 1 compressed)
  add_custom_command(OUTPUT ${KIVO_DOC_DIR}/${compressed}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${KIVO_DOC_DIR}
                     COMMAND ${KIVO_GZIP} -9nc ${CMAKE_CURRENT_LIST_DIR}/${source}
                             > ${KIVO_DOC_DIR}/${compressed}
                     DEPENDS ${CMAKE_CURRENT_LIST_DIR}/${source} VERBATIM)
  list(APPEND KIVO_COMPRESSED_DOCS ${KIVO_DOC_DIR}/${compressed})
endforeach()
add_custom_target(kivo_docs ALL DEPENDS ${KIVO_COMPRESSED_DOCS})

# The licence in Debian's machine-readable form: the header names FLTK's
# licence, the body is LICENSE itself, indented as a DEP-5 text block.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE kivo_licence)
string(REGEX REPLACE "^.*\n(Permission is hereby granted)" "\\1" kivo_licence "${kivo_licence}")
string(STRIP "${kivo_licence}" kivo_licence)
string(REGEX REPLACE "\n\n" "\n.\n" kivo_licence "${kivo_licence}")
string(REGEX REPLACE "\n" "\n " EXPAT_TEXT " ${kivo_licence}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/copyright.in ${KIVO_DOC_DIR}/copyright @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)

install(FILES ${KIVO_DOC_DIR}/kivo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${KIVO_DOC_DIR}/copyright ${KIVO_DOC_DIR}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME kivo)
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
set(CPACK_PACKAGE_CONTACT "Kivo developers <kivo@kivo-monitor.org>")
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
# Packaged as Debian revision 1 of upstream 2.0.0.1, so its changelog is
# changelog.Debian.gz (a native package would name it changelog.gz).
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps reads the binary and names the libraries it really links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
