#!/usr/bin/env bash
# Builds the native unit tests (with AddressSanitizer and UBSan) into
# build/native and the Windows program, 64-bit into build/windows (with the
# end-to-end tests' window driver) and 32-bit into build/windows-x86.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build/native -DTAMSEL_SANITIZE=ON >/dev/null
cmake --build build/native -j2
# The toolchain goes in through the environment, which CMake reads only when
# it first configures a tree: named on the command line, it draws a warning
# that it went unused on every later run.
CMAKE_TOOLCHAIN_FILE=$PWD/cmake/mingw-w64-x86_64.cmake \
  cmake -S . -B build/windows -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/windows -j2
CMAKE_TOOLCHAIN_FILE=$PWD/cmake/mingw-w64-i686.cmake \
  cmake -S . -B build/windows-x86 -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/windows-x86 -j2 --target Tamsel
