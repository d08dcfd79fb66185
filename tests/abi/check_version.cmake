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
