#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test: the native unit tests
# (under AddressSanitizer and UBSan), static analysis, a short run of each
# fuzz target (TAMSEL_FUZZ_SECONDS, default 15) and the end-to-end tests of Tamsel.exe
# under Wine against the simulated base.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh
tools/build.sh

ctest --test-dir build/native --output-on-failure -j2
tools/lint.sh
tools/fuzz.sh "${TAMSEL_FUZZ_SECONDS:-15}"
/usr/bin/python3 -m pytest -q -p no:cacheprovider e2e
