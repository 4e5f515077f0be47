# nlohmann-json for the cross build: see header_only.cmake.
include(${CMAKE_CURRENT_LIST_DIR}/header_only.cmake)
pyrrow_header_only_target(nlohmann_json::nlohmann_json nlohmann)
