# Compiler and linker flags added only where the toolchain takes them, so that a configure
# on another toolchain succeeds; the ones left out are listed at the end of the configure.
include(CheckCXXCompilerFlag)
include(CheckLinkerFlag)

set_property(GLOBAL PROPERTY textfile_left_out "")

# flag_taken(KIND FLAG RESULT): whether the compiler (KIND compile) or the linker (link)
# takes FLAG without a warning; a flag it does not take is noted as left out.
function(flag_taken kind flag result)
  string(MAKE_C_IDENTIFIER "TEXTFILE_${kind}_${flag}" variable)
  set(CMAKE_REQUIRED_QUIET ON)
  if(kind STREQUAL compile)
    check_cxx_compiler_flag("${flag}" ${variable})
  else()
    check_linker_flag(CXX "${flag}" ${variable})
  endif()
  if(NOT ${variable})
    set_property(GLOBAL APPEND PROPERTY textfile_left_out "${flag}")
  endif()
  set(${result} ${${variable}} PARENT_SCOPE)
endfunction()

# use_flags(compile|link [TARGET NAME] FLAG...): each flag the compiler (or the linker)
# takes, for every target, or for the one named.
function(use_flags kind)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "TARGET" "")
  foreach(flag IN LISTS arg_UNPARSED_ARGUMENTS)
    flag_taken(${kind} "${flag}" taken)
    if(taken AND arg_TARGET)
      cmake_language(CALL target_${kind}_options ${arg_TARGET} PRIVATE "${flag}")
    elseif(taken)
      cmake_language(CALL add_${kind}_options "${flag}")
    endif()
  endforeach()
endfunction()

# c_library_fortifies(RESULT): whether the C library has checked buffer functions that
# -D_FORTIFY_SOURCE=3 turns on for C++ (glibc); musl has none, nor has macOS's for C++, and
# the flag is then left out.
function(c_library_fortifies result)
  include(CheckCXXSourceCompiles)
  set(CMAKE_REQUIRED_QUIET ON)
  set(CMAKE_REQUIRED_FLAGS "-O2 -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=3")
  check_cxx_source_compiles([[
#include <cstring>
#if !(__USE_FORTIFY_LEVEL > 0 || _USE_FORTIFY_LEVEL > 0)
#error no checked buffer functions
#endif
int main() { return 0; }]] TEXTFILE_C_LIBRARY_FORTIFIES)
  if(NOT TEXTFILE_C_LIBRARY_FORTIFIES)
    set_property(GLOBAL APPEND PROPERTY textfile_left_out -D_FORTIFY_SOURCE=3)
  endif()
  set(${result} ${TEXTFILE_C_LIBRARY_FORTIFIES} PARENT_SCOPE)
endfunction()

function(report_left_out_flags)
  get_property(left_out GLOBAL PROPERTY textfile_left_out)
  if(left_out)
    list(JOIN left_out " " left_out)
    message(STATUS "Flags this toolchain does not take, left out: ${left_out}")
  endif()
endfunction()
