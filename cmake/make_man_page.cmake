# Writes a program's manual page at build time: what the program itself
# writes from its command-line tables (its undocumented --man), followed by
# the hand-written sections (JSON output, examples). With TEXT, also the page
# laid out as plain text, for systems without man.
#   cmake -DPROGRAM=... [-DEMULATOR=...] -DTAIL=... -DPAGE=... [-DTEXT=...] -P make_man_page.cmake
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${EMULATOR} "${PROGRAM}" --man
                OUTPUT_VARIABLE head ERROR_VARIABLE errors RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT head MATCHES "^\\.TH ")
    message(FATAL_ERROR "${PROGRAM} --man gave no manual page (${result}): ${errors}")
endif()
string(REPLACE "\r" "" head "${head}")  # a Windows program's text mode
file(READ "${TAIL}" tail)
file(WRITE "${PAGE}" "${head}${tail}")

if(TEXT)
    execute_process(COMMAND groff -man -Tutf8 -P-cbou "${PAGE}"
                    OUTPUT_VARIABLE text ERROR_VARIABLE errors RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "groff could not lay out ${PAGE} (${result}): ${errors}")
    endif()
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE "${TEXT}" "${text}")
endif()
