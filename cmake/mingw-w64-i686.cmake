# Cross build for Windows on 32-bit x86, the program that ships (g++-mingw-w64-i686):
#   cmake --preset windows
# Tests run the program under Wine when it is installed.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MINGW_TARGET i686-w64-mingw32)
set(WINE_LOADER_NAME wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
