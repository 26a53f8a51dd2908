# Cross build of the same sources for Windows on x86-64 (g++-mingw-w64-x86-64):
#   cmake --preset windows-x86_64
# It exists for its tests: on a machine that cannot run 32-bit programs, Wine cannot run
# the 32-bit program, but its 64-bit loader (wine64) runs this one.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MINGW_TARGET x86_64-w64-mingw32)
set(WINE_LOADER_NAME wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
