# Standalone Asio (Debian's libasio-dev), without Boost, for both builds: it
# has no CMake package of its own. See header_only.cmake.
if(NOT EXISTS /usr/include/asio.hpp)
    set(asio_FOUND FALSE)
    set(asio_NOT_FOUND_MESSAGE "standalone Asio is missing: install libasio-dev")
    return()
endif()
include(${CMAKE_CURRENT_LIST_DIR}/header_only.cmake)
pyrrow_header_only_target(asio::asio asio asio.hpp)
set_property(TARGET asio::asio PROPERTY INTERFACE_COMPILE_DEFINITIONS ASIO_STANDALONE ASIO_NO_DEPRECATED)
set_property(TARGET asio::asio PROPERTY INTERFACE_LINK_LIBRARIES Threads::Threads)
if(WIN32)
    # Windows 10's API; Winsock and its extensions.
    set_property(TARGET asio::asio APPEND PROPERTY INTERFACE_COMPILE_DEFINITIONS _WIN32_WINNT=0x0A00)
    set_property(TARGET asio::asio APPEND PROPERTY INTERFACE_LINK_LIBRARIES ws2_32 mswsock)
endif()
