# Read after CMake's own rules for the Zig toolchain (cmake/zig.cmake): Zig's Mach-O linker
# refuses the -v that CMake's macOS rules pass it to learn the compiler's ABI, word size
# among it, so only the compiler is asked to say what it runs.
set(CMAKE_C_VERBOSE_FLAG -v)
set(CMAKE_CXX_VERBOSE_FLAG -v)
