#!/usr/bin/env bash
# Builds the native unit tests (with AddressSanitizer and UBSan) into
# build/native and the Windows program, 64-bit into build/windows (with the
# end-to-end tests' window driver) and 32-bit into build/windows-x86.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build/native -DTAMSEL_SANITIZE=ON >/dev/null
cmake --build build/native -j2
cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/windows -j2
cmake -S . -B build/windows-x86 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/windows-x86 -j2 --target Tamsel
