# Tests of the Windows build only (included from tests/CMakeLists.txt).

# The download on WinHTTP against the local test servers. The program runs
# under the emulator (Wine) and cannot start the Python servers itself, so a
# wrapper on the build machine starts them around it and passes their ports.
# The system's interpreter where there is one (CI has only that; a
# developer's PATH may put another first), else the one CMake finds.
find_program(QUILLON_SERVER_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT QUILLON_SERVER_PYTHON)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(QUILLON_SERVER_PYTHON ${Python3_EXECUTABLE})
endif()
add_executable(ordane_winhttp_tests ordane/windows/http_download_test.cpp)
target_link_libraries(ordane_winhttp_tests PRIVATE ordane::ordane GTest::gtest_main)
add_test(NAME ordane_http_download_winhttp
  COMMAND ${QUILLON_SERVER_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/support/run_with_test_servers.py
          ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:ordane_winhttp_tests>)
set_tests_properties(ordane_http_download_winhttp PROPERTIES TIMEOUT 300)

# The DLLs depend on system DLLs only: no MinGW runtime (libgcc, libstdc++,
# winpthreads) that a user would have to ship.
foreach(lib ordane velket torvik blend2d)
  add_test(NAME abi.windows_imports.${lib}
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DLIBRARY=$<TARGET_FILE:${lib}>
            -P ${CMAKE_CURRENT_SOURCE_DIR}/abi/check_windows_imports.cmake)
endforeach()
