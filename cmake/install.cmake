# Installation: headers, versioned libraries, one CMake package and one
# pkg-config file per library. A consumer writes find_package(ordane) and links
# ordane::ordane, or asks pkg-config for "ordane".

set(QUILLON_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake")

# What a consumer of the installed libraries needs for Blend2D: the .pc files
# bring its compile and link flags along (the README's pkg-config line builds
# a program that calls Blend2D as well), the package files find its CMake
# package, and the libraries carry a run path to its folder.
set(QUILLON_PC_REQUIRES "")
set(QUILLON_PC_BLEND2D_LIBS "")
set(QUILLON_PC_BLEND2D_CFLAGS "")
set(QUILLON_INSTALL_RPATH "$ORIGIN")
if(QUILLON_BLEND2D_IS_STANDIN)
  # The stand-in is installed under its own name and header folder so that it
  # can never shadow a real Blend2D installed on the same system.
  set_target_properties(bl2dcompat PROPERTIES EXPORT_NAME blend2d)
  install(TARGETS bl2dcompat EXPORT bl2dcompatTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(DIRECTORY compat/blend2d/include/blend2d
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/bl2dcompat)
  install(EXPORT bl2dcompatTargets NAMESPACE blend2d::
    DESTINATION ${QUILLON_CMAKE_DIR}/bl2dcompat)
  set(QUILLON_PC_REQUIRES "bl2dcompat")
elseif(QUILLON_BLEND2D_LIBRARY_DIR)
  # An installed Blend2D elsewhere (it ships no .pc file): its folders go
  # into the flags, and into the run path unless the linker searches them
  # anyway.
  get_target_property(blend2d_includes blend2d::blend2d INTERFACE_INCLUDE_DIRECTORIES)
  list(REMOVE_DUPLICATES blend2d_includes)
  set(QUILLON_PC_BLEND2D_LIBS " -lblend2d")
  if(NOT QUILLON_BLEND2D_LIBRARY_DIR IN_LIST CMAKE_PLATFORM_IMPLICIT_LINK_DIRECTORIES)
    set(QUILLON_PC_BLEND2D_LIBS " -L${QUILLON_BLEND2D_LIBRARY_DIR} -lblend2d")
    list(APPEND QUILLON_INSTALL_RPATH "${QUILLON_BLEND2D_LIBRARY_DIR}")
  endif()
  foreach(dir IN LISTS blend2d_includes)
    if(NOT dir IN_LIST CMAKE_C_IMPLICIT_INCLUDE_DIRECTORIES)
      string(APPEND QUILLON_PC_BLEND2D_CFLAGS " -I${dir}")
    endif()
  endforeach()
else()
  # Built here from source: Blend2D installs itself beside the libraries.
  set(QUILLON_PC_BLEND2D_LIBS " -lblend2d")
endif()
# Where the installed package files look for Blend2D's CMake package: beside
# themselves (the stand-in, or a Blend2D built here), then where it was found.
set(QUILLON_BLEND2D_CONFIG_HINT "")
if(blend2d_DIR)
  set(QUILLON_BLEND2D_CONFIG_HINT "${blend2d_DIR}")
endif()

# The .pc files locate the prefix from their own folder, so that a tree
# installed with "cmake --install <build> --prefix <dir>" (or moved later)
# still points at its own headers and libraries rather than at the prefix
# known when the build was configured.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(QUILLON_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(QUILLON_PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
  set(QUILLON_PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
else()
  file(RELATIVE_PATH pc_to_prefix "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
  string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
  set(QUILLON_PC_PREFIX "\${pcfiledir}/${pc_to_prefix}")
  set(QUILLON_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(QUILLON_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()

if(QUILLON_BLEND2D_IS_STANDIN)
  set(QUILLON_LIB bl2dcompat)
  configure_file(cmake/bl2dcompat.pc.in ${CMAKE_CURRENT_BINARY_DIR}/bl2dcompat.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/bl2dcompat.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()

foreach(lib ordane velket torvik)
  # Each library finds Blend2D at run time through its own run path: a
  # consumer's run path covers only the consumer's direct dependencies.
  set_target_properties(${lib} PROPERTIES INSTALL_RPATH "${QUILLON_INSTALL_RPATH}")
  # On Windows the DLL goes to bin/ and its import library (.dll.a) to lib/,
  # with the module-definition file the linker wrote beside it.
  install(TARGETS ${lib} EXPORT ${lib}Targets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  if(WIN32)
    install(FILES ${PROJECT_BINARY_DIR}/lib${lib}.def DESTINATION ${CMAKE_INSTALL_LIBDIR})
  endif()
  install(EXPORT ${lib}Targets NAMESPACE ${lib}::
    DESTINATION ${QUILLON_CMAKE_DIR}/${lib})
  set(QUILLON_LIB ${lib})
  # libordane downloads through libcurl and converts host names with
  # libidn2; the other two link Blend2D only.
  if(lib STREQUAL "ordane" AND WIN32)
    set(QUILLON_PC_EXTRA_LIBS " -lwinhttp")
  elseif(lib STREQUAL "ordane")
    set(QUILLON_PC_EXTRA_LIBS " -lcurl -lidn2")
  else()
    set(QUILLON_PC_EXTRA_LIBS "")
  endif()
  configure_package_config_file(cmake/libraryConfig.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/${lib}Config.cmake
    INSTALL_DESTINATION ${QUILLON_CMAKE_DIR}/${lib})
  write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/${lib}ConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${lib}Config.cmake
                ${CMAKE_CURRENT_BINARY_DIR}/${lib}ConfigVersion.cmake
    DESTINATION ${QUILLON_CMAKE_DIR}/${lib})
  configure_file(cmake/library.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${lib}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${lib}.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()
