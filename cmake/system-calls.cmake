# The calls beyond POSIX.1-2008 that the POSIX platform layer uses where the system has
# them (src/platform/platform_posix.cpp): each found one is TEXTFILE_HAS_<NAME>=1 for the
# program's sources, each missing one 0, and the layer then takes a way POSIX offers.
# With TEXTFILE_PORTABLE every one is 0, as on a system that has none of them, so that the
# POSIX ways run the whole test suite here.
include(CheckCXXSymbolExists)

set(textfile_calls_used "")
set(textfile_calls_left "")

# system_call(NAME SYMBOL HEADER): whether HEADER declares SYMBOL, as TEXTFILE_HAS_NAME.
function(system_call name symbol header)
  set(found 0)
  if(NOT TEXTFILE_PORTABLE)
    list(TRANSFORM textfile_posix_definitions PREPEND -D OUTPUT_VARIABLE CMAKE_REQUIRED_DEFINITIONS)
    check_cxx_symbol_exists(${symbol} ${header} TEXTFILE_FOUND_${name})
    if(TEXTFILE_FOUND_${name})
      set(found 1)
    endif()
  endif()
  target_compile_definitions(textfile_core PRIVATE TEXTFILE_HAS_${name}=${found})
  if(found)
    set(textfile_calls_used ${textfile_calls_used} ${symbol} PARENT_SCOPE)
  else()
    set(textfile_calls_left ${textfile_calls_left} ${symbol} PARENT_SCOPE)
  endif()
endfunction()

system_call(O_TMPFILE O_TMPFILE fcntl.h)              # a temporary file without a name
system_call(FALLOCATE FALLOC_FL_KEEP_SIZE fcntl.h)    # a reservation that keeps the size
system_call(PUNCH_HOLE FALLOC_FL_PUNCH_HOLE fcntl.h)  # a reservation given back
system_call(SEEK_HOLE SEEK_HOLE unistd.h)             # where a file's holes are
system_call(SENDFILE sendfile sys/sendfile.h)         # a copy within the system
system_call(SYNC_FILE_RANGE sync_file_range fcntl.h)  # write-back started early
system_call(SYNCFS syncfs unistd.h)                   # one file system synced
system_call(GETDENTS64 getdents64 dirent.h)           # /proc/self/fd listed in place
system_call(FULLFSYNC F_FULLFSYNC fcntl.h)            # a sync that reaches the media (macOS)
system_call(PREALLOCATE F_ALLOCATEALL fcntl.h)        # a reservation held for the file (macOS)

list(JOIN textfile_calls_used ", " used)
list(JOIN textfile_calls_left ", " left)
if(TEXTFILE_PORTABLE)
  message(STATUS "TEXTFILE_PORTABLE: the POSIX ways are taken instead of ${left}")
else()
  message(STATUS "System calls beyond POSIX used: ${used}")
  if(left)
    message(STATUS "Not on this system, so the POSIX ways are taken instead: ${left}")
  endif()
endif()
