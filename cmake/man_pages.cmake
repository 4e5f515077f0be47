# The manual pages of pyrrow-cli and pyrrow-sim, made at build time from the
# programs' own option tables (so they list what --help lists) and the
# hand-written sections in dist/man/. Installed as roff below share/man on
# Linux and as plain text beside the programs on Windows.
set(PYRROW_MAN_PAGES)
set(PYRROW_MAN_TEXTS)
foreach(program pyrrow-cli pyrrow-sim)
    if(NOT TARGET ${program})
        continue()
    endif()
    set(page ${PROJECT_BINARY_DIR}/generated/${program}.1)
    set(arguments -DPROGRAM=$<TARGET_FILE:${program}> -DTAIL=${PROJECT_SOURCE_DIR}/dist/man/${program}.1.tail
                  -DPAGE=${page})
    set(outputs ${page})
    if(WIN32)
        set(text ${PROJECT_BINARY_DIR}/generated/${program}.txt)
        # Under Wine, in the build's own prefix (the tests' one).
        set(emulator ${CMAKE_COMMAND} -E env WINEPREFIX=${PROJECT_BINARY_DIR}/wineprefix WINEDEBUG=-all
                     --unset=DISPLAY ${CMAKE_CROSSCOMPILING_EMULATOR})
        list(JOIN emulator "$<SEMICOLON>" emulator)
        list(APPEND arguments -DEMULATOR=${emulator} -DTEXT=${text})
        list(APPEND outputs ${text})
        list(APPEND PYRROW_MAN_TEXTS ${text})
    endif()
    add_custom_command(OUTPUT ${outputs}
                       COMMAND ${CMAKE_COMMAND} ${arguments} -P ${PROJECT_SOURCE_DIR}/cmake/make_man_page.cmake
                       DEPENDS ${program} ${PROJECT_SOURCE_DIR}/dist/man/${program}.1.tail
                               ${PROJECT_SOURCE_DIR}/cmake/make_man_page.cmake
                       COMMENT "Writing the manual page of ${program}"
                       VERBATIM)
    list(APPEND PYRROW_MAN_PAGES ${page})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${PYRROW_MAN_PAGES} ${PYRROW_MAN_TEXTS})
