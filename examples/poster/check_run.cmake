# Runs quillon-poster once and checks the outcome.
#
# cmake -DPROGRAM=... -DWORK_DIR=... [-DARGS=a;b;c] [-DEXPECT_EXIT=0]
#       [-DEXPECT_STDERR=regex] [-DEXPECT_STDOUT=regex] [-DREJECT_STDOUT=regex]
#       [-DEXPECT_PNGS=file;file] [-DPNG_WIDTH=n -DPNG_HEIGHT=n]
#       [-DPLAIN_LINES=ON] [-DPREPARE=command;args -DPREPARE_OUTPUT=file]
#       -P check_run.cmake
#
# PLAIN_LINES: standard output holds no carriage return.
#
# PREPARE runs first in WORK_DIR, its standard output saved to
# PREPARE_OUTPUT (to make a damaged input, for example).
#
# A PNG counts when it has the PNG signature and an IHDR of the expected
# size; relative file names are taken in WORK_DIR.
if(NOT DEFINED EXPECT_EXIT)
  set(EXPECT_EXIT 0)
endif()
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
if(DEFINED PREPARE)
  execute_process(COMMAND ${PREPARE} WORKING_DIRECTORY ${WORK_DIR}
                  OUTPUT_FILE ${WORK_DIR}/${PREPARE_OUTPUT} RESULT_VARIABLE prepare_rc)
  if(NOT prepare_rc EQUAL 0)
    message(FATAL_ERROR "preparing the input failed: ${prepare_rc}")
  endif()
endif()
execute_process(COMMAND ${PROGRAM} ${ARGS} WORKING_DIRECTORY ${WORK_DIR}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message(STATUS "exit ${rc}\nstdout: ${out}\nstderr: ${err}")
if(NOT rc STREQUAL EXPECT_EXIT)
  message(FATAL_ERROR "exit status ${rc}, expected ${EXPECT_EXIT}")
endif()
if(DEFINED EXPECT_STDERR AND NOT err MATCHES "${EXPECT_STDERR}")
  message(FATAL_ERROR "stderr does not match '${EXPECT_STDERR}'")
endif()
if(DEFINED EXPECT_STDOUT AND NOT out MATCHES "${EXPECT_STDOUT}")
  message(FATAL_ERROR "stdout does not match '${EXPECT_STDOUT}'")
endif()
if(DEFINED REJECT_STDOUT AND out MATCHES "${REJECT_STDOUT}")
  message(FATAL_ERROR "stdout matches '${REJECT_STDOUT}'")
endif()
if(PLAIN_LINES)
  string(FIND "${out}" "\r" cr)
  if(NOT cr EQUAL -1)
    message(FATAL_ERROR "stdout redraws a line with a carriage return")
  endif()
endif()
foreach(png ${EXPECT_PNGS})
  set(file ${png})
  if(NOT IS_ABSOLUTE ${file})
    set(file ${WORK_DIR}/${png})
  endif()
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "${png} was not written")
  endif()
  file(READ ${file} head LIMIT 24 HEX)
  if(NOT head MATCHES "^89504e470d0a1a0a0000000d49484452")
    message(FATAL_ERROR "${png} is not a PNG")
  endif()
  if(DEFINED PNG_WIDTH)
    string(SUBSTRING ${head} 32 8 w_hex)
    string(SUBSTRING ${head} 40 8 h_hex)
    math(EXPR w "0x${w_hex}")
    math(EXPR h "0x${h_hex}")
    if(NOT w EQUAL PNG_WIDTH OR NOT h EQUAL PNG_HEIGHT)
      message(FATAL_ERROR "${png} is ${w} x ${h}, expected ${PNG_WIDTH} x ${PNG_HEIGHT}")
    endif()
  endif()
endforeach()
