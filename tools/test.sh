#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test: the native unit tests
# (under AddressSanitizer and UBSan), a build with clang that must give no
# warning, static analysis, the release archive and its checks, a short run of
# each fuzz target (TAMSEL_FUZZ_SECONDS, default 15), and the end-to-end tests of
# Tamsel.exe under Wine against the simulated base, then again, of those, what
# each other mode can change: drivers that never report their queue, the
# Japanese and the UTF-8 code pages, a scale of 150 %, the 32-bit program.
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
# Every end-to-end test once, 64-bit, at 100 %, under code page 1252; then
# each other mode runs only the tests it can change, chosen by the markers
# that e2e/conftest.py lists.
e2e=(/usr/bin/python3 -m pytest -q -p no:cacheprovider e2e)
"${e2e[@]}"
# Drivers that never report how many bytes wait: the tests of the receive path.
env TAMSEL_RECEIVE_PATHS=event-nocount,polling-nocount TAMSEL_RACE_ROUNDS=2 \
  "${e2e[@]}" -m "receive_path and not long"
# Under a double-byte code page (Japanese, 932) and under UTF-8 as the ANSI
# code page (Windows' "Use Unicode UTF-8 for worldwide language support";
# Wine gives it for Hindi), each in a prefix of its own: the tests whose
# paths, names or settings hold more than ASCII, which every code page reads
# alike, so the others cannot differ there.
# At a scale of 150 % (Wine's LogPixels 144): the dialog's layout, the
# keyboard walk and the flash. These three runs share nothing (each has its
# prefix and display) and mostly wait on the program: they run side by side,
# each one's output shown once all are done.
side=()
for run in ja:ja_JP.UTF-8 utf8:hi_IN.UTF-8; do
  env TAMSEL_LOCALE="${run#*:}" TAMSEL_E2E_DIR="$PWD/build/e2e-${run%%:*}" "${e2e[@]}" -m code_page \
    >"build/e2e-${run%%:*}.log" 2>&1 &
  side+=("$!:build/e2e-${run%%:*}.log")
done
env TAMSEL_SCALE=150 TAMSEL_E2E_DIR="$PWD/build/e2e-150" "${e2e[@]}" -m layout \
  >build/e2e-150.log 2>&1 &
side+=("$!:build/e2e-150.log")
failed=0
for run in "${side[@]}"; do
  wait "${run%%:*}" || failed=1
  cat "${run#*:}"
done
[ "$failed" -eq 0 ]
# The 32-bit program (Wine takes only an absolute prefix path): the tests of
# the receive path, on the path real drivers give and on a no-count driver
# that falls back to polling, and those that pass records of another size.
env TAMSEL_EXE="$PWD/build/windows-x86/Tamsel.exe" TAMSEL_E2E_DIR="$PWD/build/e2e-x86" \
  TAMSEL_RECEIVE_PATHS=event,polling-nocount TAMSEL_RACE_ROUNDS=2 \
  "${e2e[@]}" -m "(receive_path and not long) or word_size"
