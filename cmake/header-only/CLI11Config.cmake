# CLI11 for the cross build: see header_only.cmake.
include(${CMAKE_CURRENT_LIST_DIR}/header_only.cmake)
pyrrow_header_only_target(CLI11::CLI11 CLI)
