# Shared by the Windows toolchain files: Debian's mingw-w64 compilers for the target
# MINGW_TARGET (with the win32 thread model, which needs no DLL of its own), and Wine as
# the emulator that runs the tests when WINE_LOADER is found.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${MINGW_TARGET}-gcc-win32)
set(CMAKE_CXX_COMPILER ${MINGW_TARGET}-g++-win32)
set(CMAKE_RC_COMPILER ${MINGW_TARGET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(WINE_LOADER NAMES ${WINE_LOADER_NAME} PATHS /usr/lib/wine NO_CACHE)
if(WINE_LOADER)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_LOADER})
endif()
