#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test: the native unit tests
# (under AddressSanitizer and UBSan), a build with clang that must give no
# warning, static analysis, the release archive and its checks, a short run of
# each fuzz target (TAMSEL_FUZZ_SECONDS, default 15), and the end-to-end tests of
# Tamsel.exe under Wine against the simulated base, 64-bit and 32-bit, the
# sessions also on a driver that never reports its queue, and the sessions and
# the dialog under a Japanese code page and under UTF-8.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh
tools/build.sh

ctest --test-dir build/native --output-on-failure -j2
# A second compiler's warnings, as errors (the toolchain as in tools/build.sh).
CMAKE_TOOLCHAIN_FILE=$PWD/cmake/clang-mingw-w64-x86_64.cmake \
  cmake -S . -B build/windows-clang -DCMAKE_BUILD_TYPE=Release -DTAMSEL_WERROR=ON >/dev/null
cmake --build build/windows-clang -j2 --target Tamsel
tools/lint.sh
# The archive checks the programs, comes out the same twice, and its
# checksums hold.
tools/release.sh
first=$(sha256sum build/release/Tamsel-*-windows.zip)
tools/release.sh >/dev/null
[ "$(sha256sum build/release/Tamsel-*-windows.zip)" = "$first" ] || {
  echo "release: a second run gave other bytes" >&2
  exit 1
}
rm -rf build/release/check
/usr/bin/python3 -m zipfile -e build/release/Tamsel-*-windows.zip build/release/check
(cd build/release/check && sha256sum --check --strict SHA256SUMS)

tools/fuzz.sh "${TAMSEL_FUZZ_SECONDS:-15}"
/usr/bin/python3 -m pytest -q -p no:cacheprovider e2e
# The sessions again on a driver that never reports how many bytes wait.
nocount=(env TAMSEL_RECEIVE_PATHS=event-nocount,polling-nocount TAMSEL_RACE_ROUNDS=5)
"${nocount[@]}" /usr/bin/python3 -m pytest -q -p no:cacheprovider e2e/test_session.py
# Under a double-byte code page (Japanese, 932), in a prefix of its own: paths
# and separators are cut by characters, not bytes.
env TAMSEL_LOCALE=ja_JP.UTF-8 TAMSEL_E2E_DIR="$PWD/build/e2e-ja" TAMSEL_RECEIVE_PATHS=event \
  TAMSEL_RACE_ROUNDS=5 /usr/bin/python3 -m pytest -q -p no:cacheprovider e2e/test_session.py \
  e2e/test_properties.py
# Under UTF-8 as the ANSI code page (Windows' "Use Unicode UTF-8 for worldwide
# language support"; Wine gives it for Hindi): characters of up to four bytes.
env TAMSEL_LOCALE=hi_IN.UTF-8 TAMSEL_E2E_DIR="$PWD/build/e2e-utf8" TAMSEL_RECEIVE_PATHS=event \
  TAMSEL_RACE_ROUNDS=5 /usr/bin/python3 -m pytest -q -p no:cacheprovider e2e/test_session.py \
  e2e/test_properties.py
# At a scale of 150 % (Wine's LogPixels 144), in a prefix of its own: the
# keyboard walk, the dialog's layout and the flash's size.
env TAMSEL_SCALE=150 TAMSEL_E2E_DIR="$PWD/build/e2e-150" /usr/bin/python3 -m pytest -q \
  -p no:cacheprovider e2e/test_properties.py e2e/test_session.py \
  -k "keyboard or opening or toggle or flash"
# Wine takes only an absolute prefix path. The 32-bit program runs every
# test once, on the receive path that real serial drivers give, and the
# sessions on the driver above.
x86=(env TAMSEL_EXE="$PWD/build/windows-x86/Tamsel.exe" TAMSEL_E2E_DIR="$PWD/build/e2e-x86")
"${x86[@]}" TAMSEL_RECEIVE_PATHS=event /usr/bin/python3 -m pytest -q -p no:cacheprovider e2e
"${x86[@]}" "${nocount[@]:1}" /usr/bin/python3 -m pytest -q -p no:cacheprovider e2e/test_session.py
