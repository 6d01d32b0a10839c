#!/usr/bin/env bash
# Static analysis of the sources: cppcheck over everything, clang-tidy over
# the portable logic (the Win32 side needs the Windows headers). Fails on any
# finding; each deliberate exception is suppressed where it stands, with its reason.
set -euo pipefail
cd "$(dirname "$0")/.."

cppcheck --enable=warning,style,performance,portability --std=c++17 --inline-suppr \
  --error-exitcode=1 --quiet -I . app link output ui

cmake -S . -B build/lint -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
checks='-*,bugprone-*,clang-analyzer-*,performance-*,portability-*'
# Left out: adjacent parameters of one type, which the operations' own
# signatures (unit number and echo, screen width and height) have by design.
checks+=',-bugprone-easily-swappable-parameters'
portable=(app/settings.cpp app/settings_file.cpp app/launch_parameters.cpp
  link/base_protocol.cpp link/receiver.cpp output/stamps.cpp output/record_writer.cpp
  output/count_flash.cpp ui/stamp_preview.cpp ui/dialog_rules.cpp ui/port_list.cpp
  link/start_failure.cpp)
clang-tidy -p build/lint --quiet --warnings-as-errors='*' --checks="$checks" "${portable[@]}" 2>/dev/null
# The resource script as Microsoft's resource compiler reads it: llvm-rc
# follows rc.exe, which does not join adjacent string literals as windres does.
llvm-rc /I /usr/share/mingw-w64/include /I resources /FO build/lint/tamsel.res resources/tamsel.rc
echo "lint: no findings"
