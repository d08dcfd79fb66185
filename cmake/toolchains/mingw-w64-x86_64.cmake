# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 GCC, the
# posix-threads variant (g++-mingw-w64-x86-64-posix): std::thread and
# std::mutex then come from winpthreads, which is linked statically like
# libgcc and libstdc++ (see CMakeLists.txt), so the DLLs need only system
# DLLs at run time.
#
# Tests run under Wine when it is installed: CMAKE_CROSSCOMPILING_EMULATOR is
# what CTest and gtest_discover_tests put in front of each test program.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUILLON_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUILLON_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLON_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLON_MINGW_PREFIX}-windres)
set(CMAKE_AR ${QUILLON_MINGW_PREFIX}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${QUILLON_MINGW_PREFIX}-ranlib CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${QUILLON_MINGW_PREFIX}-objdump CACHE FILEPATH "")

# Libraries and headers come from the MinGW sysroot and from the prefixes
# given in CMAKE_PREFIX_PATH (the cross-built SLEEF and GoogleTest), never
# from the build machine; programs are the build machine's.
set(CMAKE_FIND_ROOT_PATH /usr/${QUILLON_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Through a wrapper that runs a program again when Wine itself lost it.
find_program(QUILLON_WINE NAMES wine64 wine)
find_program(QUILLON_BASH NAMES bash)
if(QUILLON_WINE AND QUILLON_BASH AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  get_filename_component(quillon_wine_wrapper
                         "${CMAKE_CURRENT_LIST_DIR}/../../scripts/run-under-wine.sh" ABSOLUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUILLON_BASH} ${quillon_wine_wrapper} ${QUILLON_WINE})
endif()

# The cross-built dependencies (scripts/build-windows-deps.sh installs them
# into one prefix) are searched like the sysroot.
if(QUILLON_WINDOWS_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${QUILLON_WINDOWS_DEPS})
endif()

# Test programs are listed when CTest runs (under the emulator), not at
# build time: the build then needs no Wine.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
