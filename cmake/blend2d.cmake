# Chooses the Blend2D that the three libraries link, as the target
# blend2d::blend2d:
#   AUTO     the real library when find_package finds it, else the stand-in
#   REAL     the real library through find_package (fails when it is missing)
#   SOURCE   the real library built here from QUILLON_BLEND2D_SOURCE, a source
#            archive or an unpacked source tree (QUILLON_BLEND2D_SHA256 checks
#            an archive), as a shared library
#   STANDIN  the project's Cairo-backed stand-in (compat/blend2d)
# Sets QUILLON_BLEND2D_IS_STANDIN, QUILLON_BLEND2D_VERSION and, for a real
# library, QUILLON_BLEND2D_LIBRARY_DIR (where its shared library lives).

set(QUILLON_BLEND2D "AUTO" CACHE STRING "Blend2D to link: AUTO, REAL, SOURCE or STANDIN")
set_property(CACHE QUILLON_BLEND2D PROPERTY STRINGS AUTO REAL SOURCE STANDIN)
set(QUILLON_BLEND2D_SOURCE "" CACHE STRING
    "With QUILLON_BLEND2D=SOURCE: path to a Blend2D source archive or source tree")
set(QUILLON_BLEND2D_SHA256 "" CACHE STRING
    "With QUILLON_BLEND2D=SOURCE: expected SHA-256 of the archive (optional)")
option(QUILLON_BLEND2D_NO_JIT "With QUILLON_BLEND2D=SOURCE: build Blend2D without its JIT (asmjit)" ON)

string(TOUPPER "${QUILLON_BLEND2D}" quillon_blend2d_mode)
set(QUILLON_BLEND2D_IS_STANDIN OFF)
set(QUILLON_BLEND2D_LIBRARY_DIR "")
set(quillon_blend2d_from "")

# Reads BL_VERSION's three numbers from the headers under `include_dir`.
function(quillon_read_blend2d_version include_dir out_var)
  set(version "unknown version")
  foreach(header blend2d/core/api.h blend2d/api.h blend2d/blend2d.h)
    if(EXISTS "${include_dir}/${header}")
      file(STRINGS "${include_dir}/${header}" line
           REGEX "^#define BL_VERSION BL_MAKE_VERSION\\(")
      if(line MATCHES "BL_MAKE_VERSION\\(([0-9]+), *([0-9]+), *([0-9]+)\\)")
        set(version "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${CMAKE_MATCH_3}")
        break()
      endif()
    endif()
  endforeach()
  set(${out_var} "${version}" PARENT_SCOPE)
endfunction()

if(quillon_blend2d_mode STREQUAL "SOURCE")
  if(NOT QUILLON_BLEND2D_SOURCE)
    message(FATAL_ERROR "QUILLON_BLEND2D=SOURCE needs QUILLON_BLEND2D_SOURCE=<archive or source tree>")
  endif()
  get_filename_component(quillon_blend2d_path "${QUILLON_BLEND2D_SOURCE}" ABSOLUTE)
  if(NOT EXISTS "${quillon_blend2d_path}")
    message(FATAL_ERROR "QUILLON_BLEND2D_SOURCE: '${quillon_blend2d_path}' does not exist")
  endif()
  include(FetchContent)
  if(IS_DIRECTORY "${quillon_blend2d_path}")
    if(NOT EXISTS "${quillon_blend2d_path}/CMakeLists.txt")
      message(FATAL_ERROR "QUILLON_BLEND2D_SOURCE: '${quillon_blend2d_path}' holds no CMakeLists.txt")
    endif()
    FetchContent_Declare(blend2d SOURCE_DIR "${quillon_blend2d_path}")
  else()
    set(quillon_blend2d_hash "")
    if(QUILLON_BLEND2D_SHA256)
      set(quillon_blend2d_hash URL_HASH "SHA256=${QUILLON_BLEND2D_SHA256}")
    endif()
    FetchContent_Declare(blend2d URL "${quillon_blend2d_path}" ${quillon_blend2d_hash}
                         DOWNLOAD_EXTRACT_TIMESTAMP ON)
  endif()
  # Shared, so that the libraries and their host use one Blend2D: paths and
  # contexts cross between them. Its own tests and demos are not wanted.
  set(BLEND2D_STATIC OFF)
  set(BLEND2D_TEST OFF)
  set(BLEND2D_DEMOS OFF)
  set(BLEND2D_NO_JIT ${QUILLON_BLEND2D_NO_JIT})
  # A cross-build's Blend2D (the Windows stage) is compiled without debug
  # information, which costs a quarter of its compile time and is not read
  # under the emulator; the optimisation level stays as it is. The flags
  # hold for its folder only: ours keep theirs.
  set(quillon_flags_before "${CMAKE_CXX_FLAGS_RELWITHDEBINFO}")
  if(CMAKE_CROSSCOMPILING)
    string(REGEX REPLACE "(^| )-g( |$)" " " CMAKE_CXX_FLAGS_RELWITHDEBINFO
           "${CMAKE_CXX_FLAGS_RELWITHDEBINFO}")
  endif()
  FetchContent_MakeAvailable(blend2d)
  set(CMAKE_CXX_FLAGS_RELWITHDEBINFO "${quillon_flags_before}")
  # Its headers are a dependency's, as those of an installed package are:
  # our warnings do not apply to them.
  get_target_property(quillon_blend2d_inc blend2d INTERFACE_INCLUDE_DIRECTORIES)
  set_property(TARGET blend2d APPEND PROPERTY INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${quillon_blend2d_inc})
  quillon_read_blend2d_version("${blend2d_SOURCE_DIR}" QUILLON_BLEND2D_VERSION)
  set(quillon_blend2d_from "built from ${quillon_blend2d_path}")
  if(QUILLON_BLEND2D_NO_JIT)
    string(APPEND quillon_blend2d_from " (no JIT)")
  endif()
elseif(quillon_blend2d_mode STREQUAL "REAL")
  find_package(blend2d CONFIG REQUIRED)
elseif(quillon_blend2d_mode STREQUAL "AUTO")
  find_package(blend2d CONFIG QUIET)
elseif(NOT quillon_blend2d_mode STREQUAL "STANDIN")
  message(FATAL_ERROR "QUILLON_BLEND2D must be AUTO, REAL, SOURCE or STANDIN, not '${QUILLON_BLEND2D}'")
endif()

if(TARGET blend2d::blend2d)
  if(NOT quillon_blend2d_from)
    # An installed package: its headers tell the version (the package file
    # carries none), and its library's folder becomes the run path of the
    # installed libraries unless it is a system folder.
    get_target_property(quillon_blend2d_inc blend2d::blend2d INTERFACE_INCLUDE_DIRECTORIES)
    list(GET quillon_blend2d_inc 0 quillon_blend2d_inc)
    quillon_read_blend2d_version("${quillon_blend2d_inc}" QUILLON_BLEND2D_VERSION)
    get_target_property(quillon_blend2d_configs blend2d::blend2d IMPORTED_CONFIGURATIONS)
    set(quillon_blend2d_location "")
    foreach(config IN LISTS quillon_blend2d_configs)
      get_target_property(quillon_blend2d_location blend2d::blend2d IMPORTED_LOCATION_${config})
      if(quillon_blend2d_location)
        break()
      endif()
    endforeach()
    if(quillon_blend2d_location)
      get_filename_component(QUILLON_BLEND2D_LIBRARY_DIR "${quillon_blend2d_location}" DIRECTORY)
    endif()
    set(quillon_blend2d_from "installed at ${blend2d_DIR}")
  endif()
  message(STATUS "Blend2D: real library ${QUILLON_BLEND2D_VERSION}, ${quillon_blend2d_from}")
else()
  set(QUILLON_BLEND2D_IS_STANDIN ON)
  add_subdirectory(compat/blend2d)
  quillon_read_blend2d_version("${PROJECT_SOURCE_DIR}/compat/blend2d/include" QUILLON_BLEND2D_VERSION)
  message(STATUS "Blend2D: the project's stand-in for the ${QUILLON_BLEND2D_VERSION} C API "
                 "(libbl2dcompat, Cairo-backed); production builds should link the real Blend2D")
endif()
