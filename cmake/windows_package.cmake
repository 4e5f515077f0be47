# Installing on Windows: pyrrow.exe, pyrrow-cli.exe and pyrrow-sim.exe in one
# folder, where the window keeps its settings file beside itself. The packages: an installer made by NSIS
# (Pyrrow-VERSION-win64.exe) that installs for the current user only, under
# the user's own programs folder, so that no administrator is needed and the
# settings file can be written; and the same files as a zip.
install(TARGETS pyrrow pyrrow-cli pyrrow-sim RUNTIME DESTINATION .)
# The command-line programs' manual pages as plain text, and the schema of
# their JSON output.
install(FILES ${PYRROW_MAN_TEXTS} docs/json-events.schema.json DESTINATION .)
# A short README (what each program is, how to start it, where the settings
# live) and the licence, with Windows line ends, as *.txt so that a double
# click opens them.
configure_file(dist/windows/README.txt.in ${PROJECT_BINARY_DIR}/generated/README.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(LICENSE ${PROJECT_BINARY_DIR}/generated/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${PROJECT_BINARY_DIR}/generated/README.txt ${PROJECT_BINARY_DIR}/generated/LICENSE.txt DESTINATION .)

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_NAME Pyrrow)
set(CPACK_PACKAGE_VENDOR Pyrrow)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Uploads firmware into a control unit over a serial line, TCP or USB")
set(CPACK_PACKAGE_FILE_NAME "Pyrrow-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Pyrrow)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Pyrrow)
set(CPACK_NSIS_PACKAGE_NAME "Pyrrow ${PROJECT_VERSION}")
set(CPACK_NSIS_MUI_ICON "${PROJECT_SOURCE_DIR}/res/pyrrow.ico")
set(CPACK_NSIS_MUI_UNIICON "${PROJECT_SOURCE_DIR}/res/pyrrow.ico")
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
set(CPACK_STRIP_FILES ON)
# The per-user installer script (dist/windows/NSIS.template.in) takes the
# place of CPack's own, which installs for all users as an administrator.
list(APPEND CMAKE_MODULE_PATH "${PROJECT_SOURCE_DIR}/dist/windows")
include(CPack)
