# The 64-bit QUAVR.DLL (Debian: g++-mingw-w64-x86-64-posix).
set(QUAVR_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
