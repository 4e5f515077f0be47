# Run by `cmake --install` (and by cpack): a station as a system service.
# The unit pyrrow-station@.service names the program below the prefix of
# this install (which `cmake --install --prefix` may change, so it is
# written now), the sysusers.d file makes the user it runs as, and an
# example of a station's arguments goes where the unit reads them,
# /etc/pyrrow, for the prefixes /usr and /usr/local (below any other prefix
# otherwise). systemd reads units below /usr and /usr/local; systemd-sysusers
# reads /usr/lib/sysusers.d only (the Debian package runs it).
#   PYRROW_GENERATED_DIR: a folder of the build for the unit as written.
set(source "${CMAKE_CURRENT_LIST_DIR}/..")
set(prefix "${CMAKE_INSTALL_PREFIX}")
include("${CMAKE_CURRENT_LIST_DIR}/may_write_etc.cmake")

# One folder per destination: installs into several stages may run at once.
set(PYRROW_BINDIR "${prefix}/bin")
string(MD5 destination "$ENV{DESTDIR}|${prefix}")
set(unit "${PYRROW_GENERATED_DIR}/station-${destination}/pyrrow-station@.service")
configure_file("${source}/dist/linux/pyrrow-station@.service.in" "${unit}" @ONLY)
file(INSTALL "${unit}" DESTINATION "${prefix}/lib/systemd/system")
file(INSTALL "${source}/dist/linux/pyrrow.sysusers" DESTINATION "${prefix}/lib/sysusers.d" RENAME pyrrow.conf)
if(prefix STREQUAL "/usr" OR (prefix STREQUAL "/usr/local" AND may_write_etc))
    file(INSTALL "${source}/dist/linux/example.conf" DESTINATION "/etc/pyrrow")
else()
    file(INSTALL "${source}/dist/linux/example.conf" DESTINATION "${prefix}/etc/pyrrow")
endif()

if("$ENV{DESTDIR}" STREQUAL "")
    if(prefix STREQUAL "/usr" OR prefix STREQUAL "/usr/local")
        message(STATUS "Stations as services: once, make their user: sudo systemd-sysusers ${prefix}/lib/sysusers.d/pyrrow.conf")
    else()
        message(STATUS "Stations as services: systemd reads no units below ${prefix}; install below /usr or /usr/local")
    endif()
endif()
