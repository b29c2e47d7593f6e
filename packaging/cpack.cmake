# `cpack -G DEB` in a build directory makes kolpex_<version>_<arch>.deb for /usr, whatever prefix
# the build itself was configured with.
set(CPACK_PACKAGE_NAME kolpex)
set(CPACK_PACKAGE_VENDOR "The Kolpex developers")
set(CPACK_PACKAGE_CONTACT "The Kolpex developers <kolpex@users.noreply.github.com>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://github.com/kolpex/kolpex")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop stock-quote viewer")
set(CPACK_PACKAGE_DESCRIPTION
    "Kolpex opens the securities of one of seven markets, sorts and searches them,\n"
    "and shows quote windows that chart the intraday course beside some thirty key\n"
    "figures, refresh themselves on a timer, print, and can keep their samples in a\n"
    "tab-separated data file. It quotes live prices from the first start: the quote\n"
    "service it reads from comes with it, each run starts one of its own, and a\n"
    "systemd user service can keep one running all the time.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
# The installed tree, not the build tree's prefix, decides every path inside the package (the
# systemd units name the service by its absolute path when installed).
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps names the run-time libraries: Qt, and libmicrohttpd12 for the quote service.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Qt's Wayland platform plugin: without it the program runs through XWayland on a Wayland desktop.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
set(CPACK_GENERATOR DEB)
include(CPack)
