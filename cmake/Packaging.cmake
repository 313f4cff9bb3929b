# Install layout and the Debian package: the program, its private window
# program, its manual page, menu entry, icons and copyright; `cpack` in a
# build folder makes the .deb (scripts/package.sh builds it with Debian's
# hardening flags).
if(NOT KELVANE_GUI)
  return()  # without the window there is no kelvane program to install
endif()

include(GNUInstallDirs)
set(KELVANE_DOC_DIR "${CMAKE_INSTALL_DATADIR}/doc/kelvane")

# Debian ships manual pages and changelogs compressed, without a name or time
# stamp in the gzip header so that the package is reproducible.
set(compressed)
foreach(document kelvane.1 changelog)
  set(copy "${CMAKE_CURRENT_BINARY_DIR}/packaging/${document}")
  add_custom_command(
    OUTPUT "${copy}.gz"
    COMMAND "${CMAKE_COMMAND}" -E copy "${PROJECT_SOURCE_DIR}/packaging/${document}" "${copy}"
    COMMAND gzip -9nf "${copy}"
    DEPENDS "${PROJECT_SOURCE_DIR}/packaging/${document}"
    VERBATIM)
  list(APPEND compressed "${copy}.gz")
endforeach()
add_custom_target(kelvane_compressed_documents ALL DEPENDS ${compressed})

install(TARGETS kelvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS kelvane-window RUNTIME DESTINATION ${KELVANE_LIBEXEC_DIR})  # set in src/CMakeLists.txt
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/packaging/kelvane.1.gz" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/copyright "${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz" DESTINATION ${KELVANE_DOC_DIR})
install(FILES packaging/kelvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 32 48)
  install(FILES res/icons/kelvane-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME kelvane.png)
endforeach()
install(FILES res/icons/kelvane.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kelvane")
set(CPACK_PACKAGE_CONTACT "Kelvane developers <developers@kelvane.org>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "photo sorter that files photographs into folders by date")
set(CPACK_PACKAGE_DESCRIPTION
    "Kelvane reads the capture date from the Exif block of each JPEG in the\n"
    "folders it is given and moves the photograph into a YYYY-MM-DD sub-folder\n"
    "beside it, logging every step. It never writes into a picture and never\n"
    "replaces a file. It runs as a window that takes folders by drag and drop\n"
    "or, without a display, on the command line.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # kelvane_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps turns the libraries the program links (Qt 6 among them) into Depends.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The package's files and folders get Debian's modes (0644, 0755), whatever
# the umask of the build; the control files too.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
