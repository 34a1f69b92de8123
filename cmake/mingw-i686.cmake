# The 32-bit QUAVR.DLL (Debian: g++-mingw-w64-i686-posix).
set(QUAVR_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
