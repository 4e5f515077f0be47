# Installs the build into a staging folder (DESTDIR) for the prefixes people
# use and compares what arrived with what must: the programs, the desktop
# entry, icons, manual pages, shell completions and JSON schema, and the udev
# rule where udev reads it (or, below a prefix of one's own, nothing outside
# the prefix and the command that activates the rule). Also checks that the version reached the program.
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DVERSION=... [-DUDEV_RULES_DIR=...] -P check_install.cmake
cmake_minimum_required(VERSION 3.25)

set(activate "sudo cp /home/operator/.local/lib/udev/rules.d/70-pyrrow.rules /etc/udev/rules.d/ && sudo udevadm control --reload && sudo udevadm trigger")

# prefix | rule paths besides the one below the prefix | text the install prints | the example station
set(cases
    "/usr|||/etc/pyrrow/example.conf"
    "/usr/local|/etc/udev/rules.d/70-pyrrow.rules||/etc/pyrrow/example.conf"
    "/home/operator/.local||${activate}|/home/operator/.local/etc/pyrrow/example.conf")

set(failures "")
foreach(case IN LISTS cases)
    string(REPLACE "|" ";" fields "${case}")
    list(GET fields 0 prefix)
    list(GET fields 1 extra)
    list(GET fields 2 said)
    list(GET fields 3 station)

    set(expected bin/pyrrow bin/pyrrow-cli bin/pyrrow-sim share/applications/pyrrow.desktop
                 share/man/man1/pyrrow.1 share/man/man1/pyrrow-cli.1 share/man/man1/pyrrow-sim.1
                 share/doc/pyrrow/json-events.schema.json lib/systemd/system/pyrrow-station@.service
                 lib/sysusers.d/pyrrow.conf)
    foreach(program pyrrow-cli pyrrow-sim)
        list(APPEND expected share/bash-completion/completions/${program} share/zsh/vendor-completions/_${program}
                             share/fish/vendor_completions.d/${program}.fish)
    endforeach()
    foreach(size 16 32 48 64 128)
        list(APPEND expected share/icons/hicolor/${size}x${size}/apps/pyrrow.png)
    endforeach()
    list(TRANSFORM expected PREPEND "${prefix}/")
    list(APPEND expected "${station}")
    if(UDEV_RULES_DIR)
        # Asked for a place: the rule goes there and nowhere else.
        set(said "")
        if(IS_ABSOLUTE "${UDEV_RULES_DIR}")
            list(APPEND expected "${UDEV_RULES_DIR}/70-pyrrow.rules")
        else()
            list(APPEND expected "${prefix}/${UDEV_RULES_DIR}/70-pyrrow.rules")
        endif()
    else()
        list(APPEND expected "${prefix}/lib/udev/rules.d/70-pyrrow.rules" ${extra})
    endif()
    list(SORT expected)

    set(stage "${WORK_DIR}/stage")
    file(REMOVE_RECURSE "${stage}")
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${stage}
                            ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}"
                    OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE result)
    file(GLOB_RECURSE arrived LIST_DIRECTORIES false RELATIVE "${stage}" "${stage}/*")
    list(TRANSFORM arrived PREPEND "/")
    list(SORT arrived)

    if(NOT result EQUAL 0)
        string(APPEND failures "prefix ${prefix}: the install failed (${result}):\n${output}\n")
    elseif(NOT arrived STREQUAL expected)
        string(REPLACE ";" "\n  " want "${expected}")
        string(REPLACE ";" "\n  " got "${arrived}")
        string(APPEND failures "prefix ${prefix}: expected\n  ${want}\nbut the install holds\n  ${got}\n")
    else()
        if(said)
            string(FIND "${output}" "${said}" at)
            if(at EQUAL -1)
                string(APPEND failures "prefix ${prefix}: the install did not print\n  ${said}\nbut\n${output}\n")
            endif()
        endif()
        file(STRINGS "${stage}${prefix}/bin/pyrrow" version REGEX "^${VERSION}$")
        if(NOT version)
            string(APPEND failures "prefix ${prefix}: the program does not hold its version ${VERSION}\n")
        endif()
        file(STRINGS "${stage}${prefix}/lib/systemd/system/pyrrow-station@.service" start REGEX "^ExecStart=")
        if(NOT start MATCHES "^ExecStart=${prefix}/bin/pyrrow-cli flash --repeat ")
            string(APPEND failures "prefix ${prefix}: the service starts \"${start}\", not ${prefix}/bin/pyrrow-cli\n")
        endif()
    endif()
endforeach()
file(REMOVE_RECURSE "${WORK_DIR}")

if(failures)
    message(FATAL_ERROR "${failures}")
endif()
