# Cross build for Linux on 32-bit x86, the word size of the Windows program, with Debian's
# g++-i686-linux-gnu:
#   cmake --preset linux-i686
# Its tests run the program natively where this machine runs 32-bit x86 programs, and
# otherwise under qemu-i386 (Debian's qemu-user), which makes the host's own system calls.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TEXTFILE_TARGET_ROOT /usr/i686-linux-gnu)

set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)

set(CMAKE_FIND_ROOT_PATH ${TEXTFILE_TARGET_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The dynamic loader the programs ask for, started with --help, tells whether this machine
# runs them: it is installed (Debian's libc6-i386), and the kernel runs 32-bit programs (one
# without that support refuses it with "Exec format error").
execute_process(COMMAND /lib/ld-linux.so.2 --help
  RESULT_VARIABLE runs_natively OUTPUT_QUIET ERROR_QUIET)
if(NOT runs_natively EQUAL 0)
  find_program(QEMU_I386 qemu-i386 NO_CACHE)
  if(QEMU_I386)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${QEMU_I386} -L ${TEXTFILE_TARGET_ROOT})
  endif()
endif()
