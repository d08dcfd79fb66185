# Vector kernels with run-time CPU dispatch.
#
# A library folder may hold a kernels/ subfolder; its sources become the
# static library <lib>_kernels, linked privately into lib<lib> (its symbols
# stay hidden there) and available to the library's tests and benchmarks,
# which call the kernels with each dispatch level in turn. The file name
# says which instruction set a source is for:
#
#   kernels/<name>.cpp          baseline: scalar reference, set-up, dispatch
#   kernels/<name>_sse2.cpp     SSE2 (the x86-64 baseline)
#   kernels/<name>_avx2.cpp     AVX2 + FMA
#   kernels/<name>_avx512.cpp   AVX-512 F/DQ/VL (+ AVX2, FMA)
#
# The per-ISA sources include their instruction set's vocabulary header
# (common/simd_<isa>.h) and the family's vector body; common/README.md says
# how a kernel is added.
#
# Each instruction set's sources compile in their own object library with
# only their own flags, so nothing compiled for a wider set can be picked by
# the linker for code that runs everywhere. -ffp-contract=off is repeated for
# them: with -mfma the compiler would otherwise fuse multiplies and adds
# differently on each path. On other architectures the per-ISA sources are
# left out and the dispatchers fall back to the scalar code
# (QUILLON_SIMD_X86=0).
#
# The vector elementary functions come from SLEEF (libsleef-dev); only its
# deterministic variants are called: "cinz" (no FMA), which give the same
# bits on SSE2, AVX2 and AVX-512, and "finz" (FMA), which give the same bits
# on AVX2 and AVX-512 and are used only from those two levels.

include_guard(GLOBAL)

# The repository root, also when the fuzz targets are built on their own.
get_filename_component(QUILLON_ROOT_DIR "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)

if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$" AND CMAKE_SIZEOF_VOID_P EQUAL 8
   AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  set(QUILLON_SIMD_X86 ON)
else()
  set(QUILLON_SIMD_X86 OFF)
endif()

set(QUILLON_ISA_FLAGS_sse2 -msse2)
set(QUILLON_ISA_FLAGS_avx2 -mavx2 -mfma)
set(QUILLON_ISA_FLAGS_avx512 -mavx512f -mavx512dq -mavx512vl -mavx2 -mfma)

if(QUILLON_SIMD_X86 AND NOT TARGET quillon::sleef)
  find_path(SLEEF_INCLUDE_DIR sleef.h)
  find_library(SLEEF_LIBRARY sleef)
  if(NOT SLEEF_INCLUDE_DIR OR NOT SLEEF_LIBRARY)
    message(FATAL_ERROR "SLEEF not found: install libsleef-dev (scripts/install-deps.sh)")
  endif()
  add_library(quillon::sleef UNKNOWN IMPORTED)
  set_target_properties(quillon::sleef PROPERTIES
    IMPORTED_LOCATION ${SLEEF_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${SLEEF_INCLUDE_DIR})
  message(STATUS "SLEEF: ${SLEEF_LIBRARY}")
endif()

# Settings shared by the kernel library and its per-ISA object libraries.
function(quillon_kernel_target_settings target lib folder)
  set_target_properties(${target} PROPERTIES
    POSITION_INDEPENDENT_CODE ON
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_include_directories(${target} PUBLIC
    ${QUILLON_ROOT_DIR}/include ${QUILLON_ROOT_DIR}/common
    ${QUILLON_ROOT_DIR}/${folder} ${QUILLON_ROOT_DIR}/${folder}/kernels)
  if(QUILLON_SIMD_X86)
    target_compile_definitions(${target} PUBLIC QUILLON_SIMD_X86=1)
    target_link_libraries(${target} PUBLIC quillon::sleef)
  else()
    target_compile_definitions(${target} PUBLIC QUILLON_SIMD_X86=0)
  endif()
  target_compile_options(${target} PRIVATE -ffp-contract=off -Wall -Wextra -Wshadow
                                           -Wmissing-declarations
                                           $<$<BOOL:${QUILLON_WERROR}>:-Werror>)
endfunction()

# Builds <lib>_kernels from <folder>/kernels/*.cpp and links it into <lib>
# when that library is a target of this build.
function(quillon_kernels lib folder)
  file(GLOB sources CONFIGURE_DEPENDS "${QUILLON_ROOT_DIR}/${folder}/kernels/*.cpp")
  if(NOT sources)
    return()
  endif()
  set(baseline ${sources})
  set(isa_objects)
  foreach(isa sse2 avx2 avx512)
    set(isa_sources ${sources})
    list(FILTER isa_sources INCLUDE REGEX "_${isa}\\.cpp$")
    list(FILTER baseline EXCLUDE REGEX "_${isa}\\.cpp$")
    if(NOT isa_sources OR NOT QUILLON_SIMD_X86)
      continue()
    endif()
    add_library(${lib}_kernels_${isa} OBJECT ${isa_sources})
    quillon_kernel_target_settings(${lib}_kernels_${isa} ${lib} ${folder})
    target_compile_options(${lib}_kernels_${isa} PRIVATE ${QUILLON_ISA_FLAGS_${isa}})
    # Headers with inline code refuse to compile here (see cpu_dispatch.h).
    target_compile_definitions(${lib}_kernels_${isa} PRIVATE QUILLON_SIMD_ISA_SOURCE=1)
    list(APPEND isa_objects $<TARGET_OBJECTS:${lib}_kernels_${isa}>)
  endforeach()
  add_library(${lib}_kernels STATIC ${baseline} ${isa_objects})
  quillon_kernel_target_settings(${lib}_kernels ${lib} ${folder})
  if(TARGET ${lib})
    target_link_libraries(${lib} PRIVATE ${lib}_kernels)
  endif()
endfunction()

foreach(lib_folder ordane:geo velket:motion torvik:perspective)
  string(REPLACE ":" ";" lib_folder ${lib_folder})
  list(GET lib_folder 0 lib)
  list(GET lib_folder 1 folder)
  if(TARGET ${lib})
    quillon_kernels(${lib} ${folder})
  endif()
endforeach()
