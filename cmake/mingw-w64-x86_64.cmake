# Cross-build for 64-bit Windows with Debian's mingw-w64 (the posix thread
# variant, which gives std::thread). Everything is linked statically, so the
# programs need no DLL beside them:
#   cmake -S . -B build/windows -G Ninja --toolchain cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PYRROW_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PYRROW_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PYRROW_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PYRROW_MINGW_TRIPLET}-windres)

# Libraries and headers of the target come from the mingw-w64 tree only.
set(CMAKE_FIND_ROOT_PATH /usr/${PYRROW_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# utfcpp is headers only, without any system header of the build machine, so
# Debian's package serves the target as well.
set(utf8cpp_DIR /usr/lib/x86_64-linux-gnu/cmake/utf8cpp CACHE PATH "utfcpp's CMake package")
# CLI11 and nlohmann-json likewise, through packages of our own that keep
# the rest of /usr/include out of sight (header-only/header_only.cmake).
set(CLI11_DIR ${CMAKE_CURRENT_LIST_DIR}/header-only CACHE PATH "CLI11's CMake package for the cross build" FORCE)
set(nlohmann_json_DIR ${CMAKE_CURRENT_LIST_DIR}/header-only CACHE PATH "nlohmann-json's CMake package for the cross build" FORCE)

# libgcc, libstdc++ and winpthread linked in: nothing to ship beside the .exe.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine; ctest starts them through it.
set(CMAKE_CROSSCOMPILING_EMULATOR wine CACHE STRING "How the build machine runs a Windows program")
