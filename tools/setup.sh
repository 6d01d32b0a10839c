#!/usr/bin/env bash
# Installs what the build and the tests need from Debian's packages, when it is
# missing. Quick when everything is there already. The fonts are named because
# the dialogs' size under Wine follows the font that stands in for "MS Shell Dlg".
# 32-bit Wine comes from Debian's i386 architecture, added here when missing.
set -euo pipefail

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi

packages=(
  cmake g++ g++-multilib make libgtest-dev libgmock-dev
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine64 wine32:i386 fonts-wine fonts-liberation xvfb x11-utils
  python3 python3-pytest python3-pytest-timeout python3-psutil python3-serial locales
  clang libclang-rt-14-dev cppcheck clang-tidy llvm
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  # A mirror caught mid-sync fails an index now and then: try again, then
  # install from what could be read.
  for attempt in 1 2 3; do
    "${sudo_cmd[@]}" apt-get update -q && break
    if [ "$attempt" -lt 3 ]; then sleep 15; fi
  done
  install=(env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}")
  if ! "${sudo_cmd[@]}" "${install[@]}"; then
    # An index of one architecture's security suite missing (mid-sync) leaves
    # the other architecture's libraries newer than 32-bit Wine can follow:
    # take both from the main suite for this install.
    pin=/etc/apt/preferences.d/tamsel-security-pin
    printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' |
      "${sudo_cmd[@]}" tee "$pin" >/dev/null
    status=0
    "${sudo_cmd[@]}" "${install[@]}" || status=$?
    "${sudo_cmd[@]}" rm -f "$pin"
    [ "$status" -eq 0 ] || exit "$status"
  fi
fi

# Wine takes the program's code page from the locale: the end-to-end tests run
# once more under Japanese (932), a double-byte one, and under Hindi, which
# Wine gives UTF-8 (65001).
for wanted in ja_JP hi_IN; do
  if ! locale -a 2>/dev/null | grep -qi "^$wanted\.utf-\?8$"; then
    grep -qx "$wanted.UTF-8 UTF-8" /etc/locale.gen 2>/dev/null ||
      echo "$wanted.UTF-8 UTF-8" | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
    "${sudo_cmd[@]}" locale-gen >/dev/null
  fi
done

# A Wine prefix made before 32-bit Wine was installed cannot start 32-bit
# programs ("could not load kernel32.dll"): remove such a test prefix, and the
# end-to-end tests make it anew.
root=$(cd "$(dirname "$0")/.." && pwd)
for prefix in "$root"/build/e2e*/prefix ${TAMSEL_E2E_DIR:+"$TAMSEL_E2E_DIR/prefix"}; do
  if [ -f "$prefix/system.reg" ] && [ ! -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ]; then
    echo "Removing $prefix: it was made without 32-bit Wine"
    rm -rf "$prefix"
  fi
done
