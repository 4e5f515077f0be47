# Run by cpack on the staged package before it is packed: the files Debian
# asks of every package, in the form it asks for them.
set(root "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${root}/share/doc/pyrrow")
set(source "${CMAKE_CURRENT_LIST_DIR}/..")

# The newest changelog entry names the package's version.
file(READ "${source}/dist/debian/changelog" changelog)
string(REGEX MATCH "^[^\n]*" top "${changelog}")
if(NOT top MATCHES "^pyrrow \\(${CPACK_PACKAGE_VERSION}\\) ")
    message(FATAL_ERROR "dist/debian/changelog starts with \"${top}\"; add an entry for ${CPACK_PACKAGE_VERSION}")
endif()

# file(INSTALL) would put DESTDIR, still set to the staging folder, in front.
file(MAKE_DIRECTORY "${doc}")
file(COPY_FILE "${source}/dist/debian/copyright" "${doc}/copyright")
# gzip -n: no name or time stamp, so the same sources give the same package.
execute_process(COMMAND gzip -9n -c "${source}/dist/debian/changelog"
                OUTPUT_FILE "${doc}/changelog.gz" COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND gzip -9n -c "${source}/README.md"
                OUTPUT_FILE "${doc}/README.md.gz" COMMAND_ERROR_IS_FATAL ANY)
foreach(page pyrrow pyrrow-cli pyrrow-sim)
    execute_process(COMMAND gzip -9nf "${root}/share/man/man1/${page}.1" COMMAND_ERROR_IS_FATAL ANY)
endforeach()

# What Debian's own packages leave out of their programs besides the symbols.
foreach(program pyrrow pyrrow-cli pyrrow-sim)
    execute_process(COMMAND strip --remove-section=.comment --remove-section=.note "${root}/bin/${program}"
                    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
