# Cross-compiles the 64-bit Windows product with MinGW-w64; its programs run
# under the 64-bit loader of Debian's wine64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(SETUP_MINGW_TRIPLET x86_64-w64-mingw32)
set(SETUP_WINE_LOADER /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
