# Checks that a library's header and its file agree with the project version:
# <LIB>_VERSION_MAJOR/MINOR/PATCH in the header equal VERSION, and the SONAME
# recorded in the library is lib<name>.so.<major>.
#
# cmake -DREADELF=... -DLIBRARY=<.so> -DHEADER=<.h> -DNAME=<lib> -DVERSION=x.y.z -P check_version.cmake
foreach(var READELF LIBRARY HEADER NAME VERSION)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check_version.cmake needs -D${var}=...")
  endif()
endforeach()

string(TOUPPER "${NAME}" upper)
string(REPLACE "." ";" parts "${VERSION}")
list(GET parts 0 want_major)
set(index 0)
foreach(part MAJOR MINOR PATCH)
  list(GET parts ${index} want)
  math(EXPR index "${index} + 1")
  file(STRINGS "${HEADER}" line REGEX "^#define ${upper}_VERSION_${part} ")
  if(NOT line MATCHES "^#define ${upper}_VERSION_${part} +([0-9]+)$")
    message(FATAL_ERROR "${HEADER} does not define ${upper}_VERSION_${part} as a number")
  endif()
  if(NOT CMAKE_MATCH_1 EQUAL want)
    message(FATAL_ERROR "${upper}_VERSION_${part} is ${CMAKE_MATCH_1} in ${HEADER}; the project version is ${VERSION}")
  endif()
endforeach()

# A Windows DLL has no SONAME: its image version carries the major and
# minor numbers instead (READELF is then the MinGW objdump).
if(LIBRARY MATCHES "\\.dll$")
  execute_process(COMMAND ${READELF} -p ${LIBRARY} RESULT_VARIABLE rc OUTPUT_VARIABLE pe)
  list(GET parts 1 want_minor)
  if(NOT rc EQUAL 0 OR NOT pe MATCHES "MajorImageVersion[ \t]+([0-9]+)[^\n]*\nMinorImageVersion[ \t]+([0-9]+)")
    message(FATAL_ERROR "${READELF} -p ${LIBRARY} shows no image version")
  endif()
  if(NOT CMAKE_MATCH_1 EQUAL want_major OR NOT CMAKE_MATCH_2 EQUAL want_minor)
    message(FATAL_ERROR "${LIBRARY} has image version ${CMAKE_MATCH_1}.${CMAKE_MATCH_2}, expected ${want_major}.${want_minor}")
  endif()
  message(STATUS "lib${NAME} ${VERSION}: header and image version agree")
  return()
endif()

execute_process(COMMAND ${READELF} -d ${LIBRARY} RESULT_VARIABLE rc OUTPUT_VARIABLE dynamic)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${READELF} -d ${LIBRARY} failed")
endif()
if(NOT dynamic MATCHES "\\(SONAME\\)[^\n]*\\[([^]\n]+)\\]")
  message(FATAL_ERROR "${LIBRARY} has no SONAME")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL "lib${NAME}.so.${want_major}")
  message(FATAL_ERROR "${LIBRARY} has SONAME ${CMAKE_MATCH_1}, expected lib${NAME}.so.${want_major}")
endif()
message(STATUS "lib${NAME} ${VERSION}: header and SONAME agree")
