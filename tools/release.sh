#!/usr/bin/env bash
# Packs the built programs (tools/build.sh) into
# build/release/Tamsel-<version>-windows.zip: x64/Tamsel.exe, x86/Tamsel.exe,
# README.txt (the user guide, with Windows line ends) and SHA256SUMS over the
# other three. Checks the programs first (tools/check_release.py). The same
# sources give the same bytes: the entries are written in a fixed order, with
# the date of the last commit and fixed permissions.
set -euo pipefail
cd "$(dirname "$0")/.."

x64=build/windows/Tamsel.exe
x86=build/windows-x86/Tamsel.exe
/usr/bin/python3 tools/check_release.py "$x64" "$x86"

version=$(/usr/bin/python3 -c '
import re, sys
text = open("resources/version.h").read()
print(".".join(re.search(r"#define TAMSEL_VERSION_%s (\d+)" % part, text).group(1)
               for part in ("MAJOR", "MINOR")))')
# A tree outside git keeps the zip format's earliest date.
stamp=$(git log -1 --format=%ct 2>/dev/null || echo 315532800)

mkdir -p build/release
rm -f build/release/Tamsel-*-windows.zip
archive=build/release/Tamsel-$version-windows.zip
/usr/bin/python3 - "$archive" "$version" "$stamp" "$x64" "$x86" <<'EOF'
import hashlib
import sys
import time
import zipfile

archive, version, stamp, x64, x86 = sys.argv[1:]
date_time = time.gmtime(max(int(stamp), 315532800))[:6]

guide = open("docs/user-guide.txt", encoding="ascii").read().replace("@VERSION@", version)
files = [
    ("x64/Tamsel.exe", open(x64, "rb").read()),
    ("x86/Tamsel.exe", open(x86, "rb").read()),
    ("README.txt", guide.replace("\n", "\r\n").encode("ascii")),
]
sums = "".join("%s  %s\r\n" % (hashlib.sha256(data).hexdigest(), name) for name, data in files)
files.append(("SHA256SUMS", sums.encode("ascii")))

with zipfile.ZipFile(archive + ".tmp", "w") as zf:
    for name, data in files:
        info = zipfile.ZipInfo(name, date_time)
        info.create_system = 3
        info.external_attr = 0o100644 << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        zf.writestr(info, data, compresslevel=9)
EOF
mv "$archive.tmp" "$archive"
# SHA256SUMS travels inside the archive: this one is published beside it.
echo "SHA-256 of the archive, to publish beside the download:"
sha256sum "$archive"
