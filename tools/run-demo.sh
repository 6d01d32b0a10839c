#!/usr/bin/env bash
# Installs what is missing, builds, and runs a reading session of Tamsel.exe
# under Wine against the simulated base, headless, then shows the output file.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
tools/build.sh >/dev/null
exec /usr/bin/python3 tools/demo.py "$@"
