#!/usr/bin/env bash
# Builds the native unit tests (with AddressSanitizer and UBSan) into
# build/native and the Windows program into build/windows.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build/native -DTAMSEL_SANITIZE=ON >/dev/null
cmake --build build/native -j2
cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/windows -j2
