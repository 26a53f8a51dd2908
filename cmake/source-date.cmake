# The time every dated output of the build carries, so that two builds of one commit are
# the same to the bit: SOURCE_DATE_EPOCH if it is set, else the time of the last commit,
# else (outside git) the start of 1980, the earliest time a ZIP archive can hold.
# Sets TEXTFILE_SOURCE_DATE (seconds since 1970), TEXTFILE_DATE (YYYY-MM-DD, UTC) and
# TEXTFILE_YEAR.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(TEXTFILE_SOURCE_DATE $ENV{SOURCE_DATE_EPOCH})
else()
  set(TEXTFILE_SOURCE_DATE 315532800)
  if(EXISTS ${CMAKE_SOURCE_DIR}/.git)
    execute_process(COMMAND git -C ${CMAKE_SOURCE_DIR} log -1 --format=%ct
      OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET
      RESULT_VARIABLE failed)
    if(NOT failed AND commit_time MATCHES "^[0-9]+$")
      set(TEXTFILE_SOURCE_DATE ${commit_time})
    endif()
  endif()
  # string(TIMESTAMP) takes its time from here.
  set(ENV{SOURCE_DATE_EPOCH} ${TEXTFILE_SOURCE_DATE})
endif()
string(TIMESTAMP TEXTFILE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP TEXTFILE_YEAR "%Y" UTC)

# CPack reads the time for the members of its archives from its own environment.
file(WRITE ${CMAKE_BINARY_DIR}/cpack-source-date.cmake
  "set(ENV{SOURCE_DATE_EPOCH} ${TEXTFILE_SOURCE_DATE})\n")
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/cpack-source-date.cmake)
