# Run by `cmake --install` (and by cpack) after the udev rule was put into
# lib/udev/rules.d below the prefix. udev reads /usr/lib/udev/rules.d and
# /etc/udev/rules.d only: for /usr there is nothing left to do, for
# /usr/local the rule is copied to /etc/udev/rules.d when that may be
# written, and otherwise the one command that activates it is printed.
set(rule "${CMAKE_INSTALL_PREFIX}/lib/udev/rules.d/70-pyrrow.rules")
set(reload "sudo udevadm control --reload && sudo udevadm trigger")

include("${CMAKE_CURRENT_LIST_DIR}/may_write_etc.cmake")

if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    if("$ENV{DESTDIR}" STREQUAL "")
        message(STATUS "USB access: the udev rule takes effect after: ${reload} (or replug the device)")
    endif()
elseif(CMAKE_INSTALL_PREFIX STREQUAL "/usr/local" AND may_write_etc)
    file(INSTALL "${CMAKE_CURRENT_LIST_DIR}/../dist/linux/70-pyrrow.rules" DESTINATION "/etc/udev/rules.d")
    if("$ENV{DESTDIR}" STREQUAL "")
        message(STATUS "USB access: the udev rule takes effect after: ${reload} (or replug the device)")
    endif()
else()
    message(STATUS "USB access: udev does not read rules below ${CMAKE_INSTALL_PREFIX}; to let the user at the machine open the device, run once:\n"
                   "   sudo cp ${rule} /etc/udev/rules.d/ && ${reload}")
endif()
