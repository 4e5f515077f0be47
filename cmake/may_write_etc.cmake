# For the install scripts: may_write_etc is ON when the install may put
# files into /etc. A staged install (DESTDIR) builds an image of the target
# system, so it may write its /etc; a direct one only as root.
set(may_write_etc OFF)
if(NOT "$ENV{DESTDIR}" STREQUAL "")
    set(may_write_etc ON)
else()
    execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(uid STREQUAL "0")
        set(may_write_etc ON)
    endif()
endif()
