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
    "tab-separated data file. The quote service it reads from comes with it: the\n"
    "launcher starts one when none answers, and a systemd user service can keep one\n"
    "running all the time.")
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
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Qt's Wayland platform plugin: without it the program runs through XWayland on a Wayland desktop.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
set(CPACK_GENERATOR DEB)
include(CPack)
