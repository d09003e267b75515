# What `cmake --install` lays out beside the executable, and the Debian package
# built from the same by `cpack -G DEB`. Every name the desktop sees is the
# application id: the desktop entry, the AppStream metainfo and the icons.
set(FERROVANT_APP_ID "io.github.ferrovant.Ferrovant")

# The desktop entry names the installed executable, so it is configured at
# install time: `cmake --install DIR --prefix P` then still points at P/bin.
install(CODE "
    set(FERROVANT_DESKTOP_IN \"${CMAKE_SOURCE_DIR}/data/${FERROVANT_APP_ID}.desktop.in\")
    set(FERROVANT_DESKTOP_OUT \"${CMAKE_BINARY_DIR}/${FERROVANT_APP_ID}.desktop\")
    include(\"${CMAKE_SOURCE_DIR}/cmake/DesktopEntry.cmake\")
")
install(FILES ${CMAKE_BINARY_DIR}/${FERROVANT_APP_ID}.desktop DESTINATION share/applications)
configure_file(data/${FERROVANT_APP_ID}.metainfo.xml
               ${CMAKE_BINARY_DIR}/${FERROVANT_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/${FERROVANT_APP_ID}.metainfo.xml DESTINATION share/metainfo)
install(FILES data/icons/ferrovant.svg DESTINATION share/icons/hicolor/scalable/apps
        RENAME ${FERROVANT_APP_ID}.svg)
foreach(size IN ITEMS 16 22 24 32 48 64 128 256)
    install(FILES data/icons/ferrovant-${size}.png
            DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME ${FERROVANT_APP_ID}.png)
endforeach()

# The manual page and the Debian changelog, compressed without a time stamp
# so that two builds give the same bytes.
configure_file(data/ferrovant.1 ${CMAKE_BINARY_DIR}/ferrovant.1 @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/ferrovant.1.gz ${CMAKE_BINARY_DIR}/changelog.gz
                   COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/ferrovant.1 > ${CMAKE_BINARY_DIR}/ferrovant.1.gz
                   COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/data/debian/changelog
                           > ${CMAKE_BINARY_DIR}/changelog.gz
                   DEPENDS ${CMAKE_BINARY_DIR}/ferrovant.1 ${CMAKE_SOURCE_DIR}/data/debian/changelog
                   VERBATIM)
add_custom_target(ferrovant_docs ALL DEPENDS ${CMAKE_BINARY_DIR}/ferrovant.1.gz
                                             ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/ferrovant.1.gz DESTINATION share/man/man1)
install(FILES data/debian/copyright ${CMAKE_BINARY_DIR}/changelog.gz
        DESTINATION share/doc/ferrovant)

# The Debian package: `cpack -G DEB` in a Release build directory.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ferrovant)
set(CPACK_PACKAGE_VENDOR "The Ferrovant developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "file copy queue with two browsing panes")
set(CPACK_PACKAGE_DESCRIPTION
    "Ferrovant copies and moves files through a queue that survives restarts.\n\
Two browsing panes sit on top: the ticked files and directories of one pane\n\
are queued for copy or move into the other pane's directory, and the queue\n\
runs one file at a time, with stop, abort and a delayed start. A moved\n\
file's source is deleted only once its copy is on the disk.")
set(CPACK_PACKAGE_CONTACT "The Ferrovant developers <ferrovant@users.noreply.github.com>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The install runs with /usr as its prefix (the desktop entry's Exec), into
# the package's staging directory.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The X11 platform plugin is a package of its own; the font, the icon theme
# and the SVG icon engine only improve the looks.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wine, breeze-icon-theme, libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
