cmake_minimum_required(VERSION 3.21)
# Checks that a Windows DLL imports only from DLLs every Windows system has
# (or that the build itself ships: blend2d.dll), never from a compiler
# runtime such as libgcc_s_seh-1.dll, libstdc++-6.dll or libwinpthread-1.dll.
#
# cmake -DOBJDUMP=<mingw objdump> -DLIBRARY=<dll> -P check_windows_imports.cmake
execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${LIBRARY} failed")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" lines "${out}")
set(allowed kernel32.dll msvcrt.dll user32.dll advapi32.dll winhttp.dll ws2_32.dll
            libblend2d.dll blend2d.dll normaliz.dll)
set(bad "")
set(all "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^DLL Name: *" "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll)
  list(APPEND all ${dll})
  if(NOT dll IN_LIST allowed AND NOT dll MATCHES "^api-ms-win-")
    list(APPEND bad ${dll})
  endif()
endforeach()
if(bad)
  message(FATAL_ERROR "${LIBRARY} imports from ${bad}; allowed: system DLLs and Blend2D")
endif()
message(STATUS "${LIBRARY} imports: ${all}")
