# Compiler and linker flags shared by every build of the project's code: the
# main build (CMakeLists.txt), the vector kernels (cmake/simd_kernels.cmake)
# and the standalone fuzz build (fuzz/CMakeLists.txt). Each flag is probed
# for the toolchain at hand, so another compiler or linker configures
# cleanly and simply goes without what it lacks.
#
#   QUILLON_WARNING_FLAGS   warnings for the project's own code (+ -Werror
#                           with QUILLON_WERROR), as generator expressions
#                           per language
#   quillon_library_sources(<var> <folder>)
#                           the sources of the library built from <folder>
#   quillon_export_only_own_symbols(<target> <prefix>)
#                           the linker options that keep a shared library's
#                           exports to its own C functions

include_guard(GLOBAL)
include(CheckCCompilerFlag)
include(CheckCXXCompilerFlag)
include(CheckLinkerFlag)

get_filename_component(QUILLON_ROOT_DIR "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)

set(QUILLON_WARNING_FLAGS "")
foreach(flag -Wall -Wextra -Wconversion -Wdouble-promotion -Wshadow -Wmissing-declarations)
  string(MAKE_C_IDENTIFIER "QUILLON_CXX_HAS${flag}" cxx_var)
  check_cxx_compiler_flag(${flag} ${cxx_var})
  if(${cxx_var})
    list(APPEND QUILLON_WARNING_FLAGS $<$<COMPILE_LANGUAGE:CXX>:${flag}>)
  endif()
  if(CMAKE_C_COMPILER_LOADED)
    string(MAKE_C_IDENTIFIER "QUILLON_C_HAS${flag}" c_var)
    check_c_compiler_flag(${flag} ${c_var})
    if(${c_var})
      list(APPEND QUILLON_WARNING_FLAGS $<$<COMPILE_LANGUAGE:C>:${flag}>)
    endif()
  endif()
endforeach()
if(QUILLON_WERROR)
  list(APPEND QUILLON_WARNING_FLAGS -Werror)
endif()

# One glob, so that a library, its fuzz targets and anything else built from
# its folder compile the same files.
function(quillon_library_sources var folder)
  file(GLOB sources CONFIGURE_DEPENDS "${QUILLON_ROOT_DIR}/${folder}/*.cpp")
  # One platform's source per capability where the platforms differ:
  # <name>_winhttp.cpp / <name>_win32.cpp on Windows, the others elsewhere.
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "/http_download\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_(winhttp|win32)\\.cpp$")
  endif()
  set(${var} ${sources} PARENT_SCOPE)
endfunction()

# GNU ld, gold, lld and mold take all three; a linker that lacks one is told
# so at configure time and links without it (the export-list test then says
# whether the library still exports only its own symbols).
set(QUILLON_PROBE_VERSION_SCRIPT "${CMAKE_BINARY_DIR}/quillon_probe.map")
file(WRITE "${QUILLON_PROBE_VERSION_SCRIPT}" "{\n  global: main;\n  local: *;\n};\n")
check_linker_flag(CXX "LINKER:--no-undefined" QUILLON_LD_HAS_NO_UNDEFINED)
check_linker_flag(CXX "LINKER:--exclude-libs,ALL" QUILLON_LD_HAS_EXCLUDE_LIBS)
check_linker_flag(CXX "LINKER:--version-script=${QUILLON_PROBE_VERSION_SCRIPT}"
                  QUILLON_LD_HAS_VERSION_SCRIPT)
foreach(var QUILLON_LD_HAS_NO_UNDEFINED QUILLON_LD_HAS_EXCLUDE_LIBS QUILLON_LD_HAS_VERSION_SCRIPT)
  if(NOT ${var})
    message(WARNING "the linker lacks the option probed by ${var}; linking without it")
  endif()
endforeach()

function(quillon_export_only_own_symbols target prefix)
  # Only the library's own C exports leave it: hidden visibility covers our
  # code, and the version script also keeps out the template instantiations
  # that the C++ standard headers would otherwise give default visibility.
  if(QUILLON_LD_HAS_NO_UNDEFINED)
    target_link_options(${target} PRIVATE "LINKER:--no-undefined")
  endif()
  if(QUILLON_LD_HAS_EXCLUDE_LIBS)
    target_link_options(${target} PRIVATE "LINKER:--exclude-libs,ALL")
  endif()
  if(QUILLON_LD_HAS_VERSION_SCRIPT)
    set(version_script ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
    file(WRITE ${version_script} "{\n  global: ${prefix}*;\n  local: *;\n};\n")
    target_link_options(${target} PRIVATE "LINKER:--version-script=${version_script}")
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${version_script})
  endif()
endfunction()
