# Cross-compiles the 32-bit Windows product with MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(SETUP_MINGW_TRIPLET i686-w64-mingw32)
set(SETUP_WINE_LOADER wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
