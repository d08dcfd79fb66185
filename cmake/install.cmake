# Installation: headers, versioned libraries, one CMake package and one
# pkg-config file per library. A consumer writes find_package(ordane) and links
# ordane::ordane, or asks pkg-config for "ordane".

set(QUILLON_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake")

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
  set(QUILLON_PC_BLEND2D_LIBS "-lbl2dcompat")
  set(QUILLON_PC_BLEND2D_CFLAGS " -I\${includedir}/bl2dcompat")
else()
  set(QUILLON_PC_BLEND2D_LIBS "-lblend2d")
  set(QUILLON_PC_BLEND2D_CFLAGS "")
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

foreach(lib ordane velket torvik)
  if(NOT TARGET ${lib})
    continue()
  endif()
  # Installed side by side with the stand-in, each library finds it in its
  # own folder; a consumer's run path covers only its direct dependencies.
  if(QUILLON_BLEND2D_IS_STANDIN)
    set_target_properties(${lib} PROPERTIES INSTALL_RPATH "$ORIGIN")
  endif()
  install(TARGETS ${lib} EXPORT ${lib}Targets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(EXPORT ${lib}Targets NAMESPACE ${lib}::
    DESTINATION ${QUILLON_CMAKE_DIR}/${lib})
  set(QUILLON_LIB ${lib})
  # libordane downloads through libcurl and converts host names with
  # libidn2; the other two link Blend2D only.
  if(lib STREQUAL "ordane")
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
