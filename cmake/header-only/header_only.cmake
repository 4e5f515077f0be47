# CLI11, nlohmann-json and Asio are headers only and contain nothing of the
# build machine, so Debian's packages serve the Windows build as well. But
# their headers live in /usr/include beside the build machine's C library,
# which the cross compiler must never see: a folder of the build tree holds
# links to their own folders and files only, and the imported target names
# that folder.
function(pyrrow_header_only_target target)
    if(TARGET ${target})
        return()
    endif()
    set(root ${CMAKE_BINARY_DIR}/header-only)
    file(MAKE_DIRECTORY ${root})
    foreach(entry IN LISTS ARGN)
        if(NOT EXISTS ${root}/${entry})
            file(CREATE_LINK /usr/include/${entry} ${root}/${entry} SYMBOLIC)
        endif()
    endforeach()
    add_library(${target} INTERFACE IMPORTED)
    set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${root})
endfunction()
