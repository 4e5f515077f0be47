# The Debian package (`cpack -G DEB` in a build configured for the prefix
# /usr): what the install rules put into /usr, the dependencies found by
# dpkg-shlibdeps, and the files Debian asks of every package.
set(CPACK_PACKAGE_NAME pyrrow)
set(CPACK_PACKAGE_VENDOR "the Pyrrow developers")
set(CPACK_PACKAGE_CONTACT "the Pyrrow developers <pyrrow@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware uploader for control units")
set(CPACK_PACKAGE_DESCRIPTION [[
Pyrrow uploads a firmware image into a control unit over a serial line,
TCP or USB HID. Three programs:
 - pyrrow, the window: pick the link, the port or address and the file,
   and the image goes over with progress on the bar and the taskbar button;
 - pyrrow-cli, for production lines and CI: flashes several units in
   parallel, with exit codes and JSON output for scripts;
 - pyrrow-sim, a simulator of control units on TCP, a serial line or USB,
   with faults on demand, for trying Pyrrow without a unit.
A udev rule lets the user at the machine open the USB device; a station
can run as a system service (pyrrow-station@NAME).]])
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_PACKAGE_NAME pyrrow)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Without bash-completion the completions in /usr/share/bash-completion are
# never loaded.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS bash-completion)
# The udev rule takes effect at install, not only at the next boot or replug,
# and the stations' user is made; the example station in /etc is the
# administrator's to change.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/dist/debian/postinst
                                       ${PROJECT_SOURCE_DIR}/dist/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian_files.cmake)

include(CPack)
