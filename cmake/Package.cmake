# The Debian package: `cpack -G DEB` in a build folder configured for the
# /usr prefix (scripts/package does both). It holds exactly what
# `cmake --install` installs; its dependencies are worked out from the
# programs by dpkg-shlibdeps.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "gantrell")
set(CPACK_PACKAGE_VENDOR "The Gantrell developers")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop update client for signed provider sites")
set(CPACK_PACKAGE_HOMEPAGE_URL "${PROJECT_HOMEPAGE_URL}")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(GANTRELL_MAINTAINER "Gantrell developers <support@gantrell.org>" CACHE STRING
    "The package's Maintainer field")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${GANTRELL_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION "net")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded as a Qt plugin (the window icon is an SVG), so dpkg-shlibdeps
# cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
# Qt's own translations: the standard dialogs and buttons Qt draws (the
# file dialog) in the user's language; the window's own texts are built in.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
# The long description; CPack puts the summary first and indents these
# lines itself ("." is an empty line).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Gantrell keeps software and data up to date from update providers the
user subscribes to, each known by a web address. It fetches each
provider's signed list, checks it against the provider's key and four
built-in authority keys, offers the items that are new and suit this
machine, and downloads and verifies them.
.
The package holds the windowed client (gantrell), the console client
(gantrell-cli) and the providers' publishing tool (gantrell-publish), a
menu entry, the type of subscription files (*.gantrell), and a daily
silent check as a systemd user timer, off until enabled.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The autostart entry lives in /etc, so it is a configuration file of the
# package.
set(gantrell_conffiles "${CMAKE_BINARY_DIR}/package/conffiles")
if(GANTRELL_AUTOSTART_DIR MATCHES "^/")
  file(WRITE ${gantrell_conffiles} "${GANTRELL_AUTOSTART_DIR}/gantrell-check.desktop\n")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${gantrell_conffiles})
endif()
include(CPack)
