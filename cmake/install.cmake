# Installation: the program, its desktop entry and icons (the entry's name is
# what the taskbar progress refers to) and, for the USB link, the udev rule
# that gives the user at the machine access to the device.
include(GNUInstallDirs)

install(TARGETS pyrrow pyrrow-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The device simulator, where the system has what it needs (Linux).
if(TARGET pyrrow-sim)
    install(TARGETS pyrrow-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES dist/linux/pyrrow.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 32 48 64 128)
    install(FILES dist/linux/icons/${size}x${size}/pyrrow.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# The udev rule. Empty (the default): it goes to lib/udev/rules.d below the
# prefix, where udev reads it for the prefix /usr; for /usr/local it is also
# put into /etc/udev/rules.d when that can be written, and for any other
# prefix the install prints the command that activates it. The prefix is the
# one of the install (`cmake --install --prefix` may differ from the
# configured one), so the choice is made when installing.
# Build folders configured by 0.1 cached that version's computed default.
get_property(help CACHE PYRROW_UDEV_RULES_DIR PROPERTY HELPSTRING)
if(help STREQUAL "Where the udev rule is installed"
   AND PYRROW_UDEV_RULES_DIR MATCHES "^(/etc/udev/rules.d|/usr/lib/udev/rules.d)$")
    unset(PYRROW_UDEV_RULES_DIR CACHE)
endif()
set(PYRROW_UDEV_RULES_DIR "" CACHE PATH
    "Where the udev rule is installed (empty: below the prefix, and /etc/udev/rules.d for /usr/local)")
if(PYRROW_UDEV_RULES_DIR)
    install(FILES dist/linux/70-pyrrow.rules DESTINATION ${PYRROW_UDEV_RULES_DIR})
else()
    install(FILES dist/linux/70-pyrrow.rules DESTINATION lib/udev/rules.d)
    install(SCRIPT cmake/activate_udev_rule.cmake)
endif()

# A station as a system service (pyrrow-station@.service), its user and an
# example of its arguments; written for the prefix of the install.
install(CODE "set(PYRROW_GENERATED_DIR \"${PROJECT_BINARY_DIR}/generated\")")
install(SCRIPT cmake/install_station_service.cmake)

configure_file(dist/linux/pyrrow.1.in ${PROJECT_BINARY_DIR}/generated/pyrrow.1 @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/generated/pyrrow.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The command-line programs' manual pages (made at build time, see
# man_pages.cmake), their shell completions, and the schema of their JSON
# output, which the manual pages refer to.
install(FILES ${PYRROW_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES dist/completion/pyrrow-cli.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME pyrrow-cli)
install(FILES dist/completion/_pyrrow-cli DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
install(FILES dist/completion/pyrrow-cli.fish DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
if(TARGET pyrrow-sim)
    install(FILES dist/completion/pyrrow-sim.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
            RENAME pyrrow-sim)
    install(FILES dist/completion/_pyrrow-sim DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
    install(FILES dist/completion/pyrrow-sim.fish DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
endif()
install(FILES docs/json-events.schema.json DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pyrrow)
