# The settings both MinGW-w64 toolchain files share: the Windows target, the
# posix thread model's compilers (GoogleTest needs std::mutex), the target
# folder for libraries and headers, and the Wine loader that runs what is
# built. The including file sets SETUP_MINGW_TRIPLET, CMAKE_SYSTEM_PROCESSOR
# and SETUP_WINE_LOADER first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${SETUP_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SETUP_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${SETUP_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${SETUP_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${SETUP_WINE_LOADER})
