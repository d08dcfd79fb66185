#!/usr/bin/env bash
# Cross-builds for 64-bit Windows (MinGW-w64) the two dependencies that
# Debian ships only for Linux, and installs them into one prefix:
#   SLEEF 3.5.1, static, from ../shared/third_party/sleef (the version of
#     Debian's libsleef-dev, so the vector kernels give the Linux bits);
#   GoogleTest, static, from Debian's source package (/usr/src/googletest).
# Usage: scripts/build-windows-deps.sh [PREFIX]   (default build-windows-deps/prefix)
# A finished prefix is kept: the script does nothing when its stamp matches.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
prefix=${1:-$repo/build-windows-deps/prefix}
work=$(dirname "$prefix")/work
sleef_archive="$repo/../shared/third_party/sleef/sleef-3.5.1.tar.gz"
sleef_sha256=4022510dc3212c3543e9c7b66d29ede5123167ded9fb9120336e85909fd7a045
toolchain="$repo/cmake/toolchains/mingw-w64-x86_64.cmake"
jobs=${QUILLON_JOBS:-2}

stamp="$prefix/.stamp"
want="sleef-3.5.1 $sleef_sha256 gtest-$(dpkg-query -W -f='${Version}' googletest 2>/dev/null || echo unknown) $(sha256sum "$0" | cut -c1-16)"
if [[ -f "$stamp" && "$(cat "$stamp")" == "$want" ]]; then
  echo "Windows dependencies up to date in $prefix"
  exit 0
fi

if [[ ! -f "$sleef_archive" ]]; then
  echo "error: the SLEEF source archive is missing: $sleef_archive" >&2
  exit 1
fi
echo "$sleef_sha256  $sleef_archive" | sha256sum -c --quiet -

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

rm -rf "$work" "$prefix"
mkdir -p "$work"
tar xzf "$sleef_archive" -C "$work"
src="$work/sleef-3.5.1"
# 3.5.1 assembles sleef.h with the Windows "type" command whenever the target
# is MinGW; on a Linux build machine the header is assembled with cat.
sed -i 's/if((MSVC OR MINGW AND WIN32) OR SLEEF_CLANG_ON_WINDOWS)/if(CMAKE_HOST_WIN32 AND ((MSVC OR MINGW AND WIN32) OR SLEEF_CLANG_ON_WINDOWS))/' \
  "$src/src/libm/CMakeLists.txt"
grep -q 'CMAKE_HOST_WIN32 AND ((MSVC' "$src/src/libm/CMakeLists.txt"

sleef_options=(-DBUILD_TESTS=OFF -DBUILD_DFT=OFF -DBUILD_QUAD=OFF -DBUILD_GNUABI_LIBS=OFF
               -DBUILD_INLINE_HEADERS=OFF -DSLEEF_SHOW_CONFIG=OFF -DCMAKE_BUILD_TYPE=Release)
# The generators, built for and run on this machine.
cmake -S "$src" -B "$work/sleef-native" -G Ninja "${sleef_options[@]}" "${launcher[@]}" >/dev/null
cmake --build "$work/sleef-native" -j"$jobs" --target mkrename mkalias mkdisp >/dev/null
# The library itself, for Windows.
cmake -S "$src" -B "$work/sleef-mingw" -G Ninja "${sleef_options[@]}" "${launcher[@]}" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DNATIVE_BUILD_DIR="$work/sleef-native" \
  -DBUILD_SHARED_LIBS=OFF -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
cmake --build "$work/sleef-mingw" -j"$jobs" --target sleef >/dev/null
cmake --install "$work/sleef-mingw" >/dev/null
# Built static, SLEEF still marks a few helpers for export (Sleef_malloc,
# Sleef_free, Sleef_x86CpuID...): each DLL linking it would export them
# too, and no linker option drops an explicit mark. The marks live in each
# object's .drectve section, which holds nothing else here.
x86_64-w64-mingw32-objcopy --remove-section=.drectve "$prefix/lib/libsleef.a"

cmake -S /usr/src/googletest -B "$work/gtest-mingw" -G Ninja "${launcher[@]}" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF \
  -DBUILD_SHARED_LIBS=OFF -Dgtest_disable_pthreads=OFF -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
cmake --build "$work/gtest-mingw" -j"$jobs" >/dev/null
cmake --install "$work/gtest-mingw" >/dev/null

rm -rf "$work"
echo "$want" >"$stamp"
echo "Windows dependencies installed in $prefix"
