# The perspective library's per-element kernels as an object library: linked
# into libtorvik, and into its tests, which run every instruction-set level
# on the same inputs. Each per-ISA file gets its own target flags, and only
# that file; -ffp-contract=off comes from the top level for all of them.
file(GLOB torvik_kernel_sources CONFIGURE_DEPENDS
     ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  set(torvik_x86_kernels ON)
else()
  set(torvik_x86_kernels OFF)
  list(FILTER torvik_kernel_sources EXCLUDE REGEX "_(sse2|avx2|avx512)\\.cpp$")
endif()

add_library(torvik_kernels OBJECT ${torvik_kernel_sources})
set_target_properties(torvik_kernels PROPERTIES
  POSITION_INDEPENDENT_CODE ON
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)
target_include_directories(torvik_kernels
  PUBLIC  ${CMAKE_CURRENT_LIST_DIR}
  PRIVATE ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR}/perspective
          ${PROJECT_SOURCE_DIR}/common)
target_compile_options(torvik_kernels PRIVATE -Wall -Wextra -Wshadow -Wmissing-declarations
                                              $<$<BOOL:${QUILLON_WERROR}>:-Werror>)

if(torvik_x86_kernels)
  target_compile_definitions(torvik_kernels PUBLIC TORVIK_HAVE_X86_KERNELS)
  foreach(src IN LISTS torvik_kernel_sources)
    if(src MATCHES "_avx2\\.cpp$")
      set_source_files_properties(${src} PROPERTIES COMPILE_OPTIONS "-mavx2")
    elseif(src MATCHES "_avx512\\.cpp$")
      set_source_files_properties(${src} PROPERTIES COMPILE_OPTIONS "-mavx512f;-mavx512vl")
    endif()
  endforeach()
  # The deterministic SLEEF variants that the globe kernels call.
  find_path(TORVIK_SLEEF_INCLUDE_DIR sleef.h REQUIRED)
  find_library(TORVIK_SLEEF_LIBRARY sleef REQUIRED)
  target_include_directories(torvik_kernels SYSTEM PUBLIC ${TORVIK_SLEEF_INCLUDE_DIR})
  target_link_libraries(torvik_kernels PUBLIC ${TORVIK_SLEEF_LIBRARY})
endif()

target_link_libraries(torvik PRIVATE torvik_kernels)
