# Install layout and the Debian package: the program, its menu entry and its
# icons in the hicolor theme; `cpack` in a build folder makes the .deb.
if(NOT KELVANE_GUI)
  return()  # without the window there is no kelvane program to install
endif()

include(GNUInstallDirs)
install(TARGETS kelvane kelvane-window RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
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
set(CPACK_PACKAGE_CONTACT "Kelvane developers <developers@kelvane.example>")
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
include(CPack)
