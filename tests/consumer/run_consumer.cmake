# Installs the build into a fresh prefix, then builds and runs the consumer
# project twice against it: through find_package and through pkg-config.
#
# cmake -DBUILD_DIR=... -DWORK_DIR=... -DSOURCE_DIR=... -DC_COMPILER=...
#       -DVERSION=... [-DEXTRA_FLAGS=...] -P run_consumer.cmake
foreach(var BUILD_DIR WORK_DIR SOURCE_DIR C_COMPILER VERSION)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "run_consumer.cmake needs -D${var}=...")
  endif()
endforeach()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " cmd "${ARGN}")
    message(FATAL_ERROR "failed (${rc}): ${cmd}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

# Everything installed must find its libraries by itself.
unset(ENV{LD_LIBRARY_PATH})

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(f include/ordane.h include/velket.h include/torvik.h
          lib/cmake/ordane/ordaneConfig.cmake lib/cmake/ordane/ordaneConfigVersion.cmake
          lib/pkgconfig/ordane.pc lib/pkgconfig/velket.pc lib/pkgconfig/torvik.pc)
  # GNUInstallDirs may choose lib64 or a multiarch folder; accept any.
  string(REPLACE "lib/" "" tail "${f}")
  file(GLOB_RECURSE found "${prefix}/*/${tail}")
  if(NOT EXISTS ${prefix}/${f} AND NOT found)
    message(FATAL_ERROR "the install is missing ${f}")
  endif()
endforeach()
file(GLOB_RECURSE pc_files "${prefix}/*/ordane.pc")
list(GET pc_files 0 ordane_pc)
get_filename_component(pc_dir ${ordane_pc} DIRECTORY)
get_filename_component(lib_dir ${pc_dir} DIRECTORY)

# Each installed library finds Blend2D (and everything else) through its own
# run path.
foreach(lib ordane velket torvik)
  file(GLOB so "${lib_dir}/lib${lib}.so.*.*")
  run(ldd ${so})
  if(last_output MATCHES "([^\n\t ]+) => not found")
    message(FATAL_ERROR "${so} does not find ${CMAKE_MATCH_1}:\n${last_output}")
  endif()
endforeach()

# 1. find_package
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/cmake-build
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_C_COMPILER=${C_COMPILER}
    "-DCMAKE_C_FLAGS=${EXTRA_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${EXTRA_FLAGS}"
    -DCMAKE_BUILD_TYPE=RelWithDebInfo)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-build)
run(${WORK_DIR}/cmake-build/consumer)
message(STATUS "find_package consumer: ${last_output}")

# 2. pkg-config
find_program(PKG_CONFIG NAMES pkg-config REQUIRED)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
run(${PKG_CONFIG} --modversion ordane velket torvik)
string(REGEX MATCHALL "[^\n]+" versions "${last_output}")
foreach(v ${versions})
  if(NOT v STREQUAL VERSION)
    message(FATAL_ERROR "pkg-config reports version ${v}, the project is ${VERSION}")
  endif()
endforeach()
run(${PKG_CONFIG} --cflags --libs ordane velket torvik)
string(STRIP "${last_output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
separate_arguments(extra UNIX_COMMAND "${EXTRA_FLAGS}")
# The folders pkg-config names are not system folders, so the program records
# them as its run path, as any consumer of such a prefix would.
run(${PKG_CONFIG} --libs-only-L ordane velket torvik)
string(REGEX MATCHALL "-L[^ \n]+" lib_flags "${last_output}")
set(rpaths "")
foreach(flag IN LISTS lib_flags)
  string(SUBSTRING "${flag}" 2 -1 dir)
  list(APPEND rpaths "-Wl,-rpath,${dir}")
endforeach()
run(${C_COMPILER} ${extra} ${SOURCE_DIR}/consumer.c ${flags} -lm ${rpaths}
    -o ${WORK_DIR}/consumer-pc)
run(${WORK_DIR}/consumer-pc)
message(STATUS "pkg-config consumer: ${last_output}")
