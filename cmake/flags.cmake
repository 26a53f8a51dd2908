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

function(report_left_out_flags)
  get_property(left_out GLOBAL PROPERTY textfile_left_out)
  if(left_out)
    list(JOIN left_out " " left_out)
    message(STATUS "Flags this toolchain does not take, left out: ${left_out}")
  endif()
endfunction()
