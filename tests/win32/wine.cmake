# Windows test programs run under Wine, in a Wine prefix of the build's own
# (build/.../wineprefix). A fixture makes the prefix once and keeps one Wine
# server, one virtual display and one user of Wine's desktop running for
# all tests, so that each program starts in a fraction of a second and
# finds the desktop open; another stops them after the last test.
set(PYRROW_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(PYRROW_WINE_ENVIRONMENT "WINEPREFIX=${PYRROW_WINEPREFIX}" "WINEDEBUG=-all")
set(PYRROW_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/wine_run.sh)

add_executable(wine_desktop_keeper ${CMAKE_CURRENT_LIST_DIR}/desktop_keeper.cpp)
target_link_libraries(wine_desktop_keeper PRIVATE pyrrow_warnings)
add_test(NAME WinePrefixStart COMMAND ${CMAKE_CURRENT_LIST_DIR}/wine_prefix.sh start $<TARGET_FILE:wine_desktop_keeper>)
add_test(NAME WinePrefixStop COMMAND ${CMAKE_CURRENT_LIST_DIR}/wine_prefix.sh stop)
set_tests_properties(WinePrefixStart PROPERTIES FIXTURES_SETUP wine ENVIRONMENT "${PYRROW_WINE_ENVIRONMENT}" TIMEOUT 300)
set_tests_properties(WinePrefixStop PROPERTIES FIXTURES_CLEANUP wine ENVIRONMENT "${PYRROW_WINE_ENVIRONMENT}" TIMEOUT 60)

# A test that runs the Windows program target with the arguments given.
function(pyrrow_add_wine_test name target)
    add_test(NAME ${name} COMMAND ${PYRROW_WINE_RUN} $<TARGET_FILE:${target}> ${ARGN})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine ENVIRONMENT "${PYRROW_WINE_ENVIRONMENT}" TIMEOUT 300)
endfunction()
