# Installs the build below a prefix in a scratch folder, so that the station
# service names the program just installed there, and has systemd-analyze
# verify the unit as installed, as an instance, with the manual page it
# names at hand: any complaint fails.
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -P verify_service.cmake
cmake_minimum_required(VERSION 3.25)

find_program(analyze systemd-analyze)
if(NOT analyze)
    message(FATAL_ERROR "systemd-analyze is missing: install the Debian package systemd")
endif()
set(stage "${WORK_DIR}/stage")
file(REMOVE_RECURSE "${WORK_DIR}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${stage}"
                OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "the install failed (${result}):\n${output}")
endif()
# The template's text under an instance's name (a link would be read as an alias).
set(instance "${WORK_DIR}/pyrrow-station@check.service")
file(COPY_FILE "${stage}/lib/systemd/system/pyrrow-station@.service" "${instance}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env "MANPATH=${stage}/share/man" ${analyze} verify "${instance}"
                OUTPUT_VARIABLE said ERROR_VARIABLE said RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT said STREQUAL "")
    message(FATAL_ERROR "systemd-analyze verify (exit ${result}):\n${said}")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
