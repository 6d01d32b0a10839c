"""Pictures of Tamsel's dialogs for the documentation, taken from the real
Tamsel.exe under Wine and Xvfb: the properties dialog collapsed and
expanded, and the reading session's progress dialog after a few records.

Usage: /usr/bin/python3 tools/screenshots.py [--out DIR] [--records N]

Needs ImageMagick (import, convert). Writes properties-collapsed.png,
properties-expanded.png and progress-dialog.png into DIR (default docs/).
"""

import argparse
import os
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "e2e"))
os.environ.setdefault("TAMSEL_E2E_DIR", str(ROOT / "build" / "screenshots"))

import harness  # noqa: E402
import simbase  # noqa: E402

# Plain names that read well in a picture.
DATA_FOLDER = "Data"
DATA_DIRECTORY = "C:\\" + DATA_FOLDER
DATA_FILE = "readings.txt"
# Time for a window to paint after it appeared or moved, and for the
# receive-count flash (200 ms) to be gone again.
SETTLE_SECONDS = 0.8


def shoot(env, rect, target):
    """Takes the whole screen and keeps the window's rectangle."""
    left, top, right, bottom = rect
    whole = env.logs / ("screen-" + target.name)
    display = {"DISPLAY": ":%d" % env.display}
    subprocess.run(["import", "-window", "root", str(whole)], env=dict(os.environ, **display),
                   stdin=subprocess.DEVNULL, check=True, timeout=60)
    crop = "%dx%d+%d+%d" % (right - left, bottom - top, left, top)
    subprocess.run(["convert", str(whole), "-crop", crop, "+repage", str(target)],
                   stdin=subprocess.DEVNULL, check=True, timeout=60)
    print("%s (%s)" % (target, crop), flush=True)


def session_rect(run):
    row = run.dialog.wait()
    return tuple(int(v) for v in row["rect"].split(","))


def take(env, out, records):
    run = harness.Session(env, "screenshots")
    try:
        (env.drive_c / DATA_FOLDER).mkdir(exist_ok=True)
        run.write_bytes("Tamsel.ini", harness.settings_file(
            DATA_DIRECTORY, DATA_FILE, alwaysShowDialog="1", viewData="0", stampEnabled="1"))
        dialog = harness.PropertiesDialog(run)
        run.start(None, see=dialog.wait)
        time.sleep(SETTLE_SECONDS)
        shoot(env, dialog.rect(), out / "properties-collapsed.png")

        dialog.press(harness.ID.TOGGLE_PANEL)
        time.sleep(SETTLE_SECONDS)
        shoot(env, dialog.rect(), out / "properties-expanded.png")

        dialog.press(harness.OK_ID, post=True)
        run.base.wait_start_command(60)
        run.base.answer_start()
        run.dialog.wait()
        for payload in simbase.generated_payloads(records):
            run.base.send_record(payload, unit=7)
        progress = harness.progress_for(records)
        shown = run.dialog.wait_progress(progress, timeout_ms=15000)
        if shown != progress:
            raise harness.HarnessError("the progress dialog shows %r" % shown)
        time.sleep(SETTLE_SECONDS)
        shoot(env, session_rect(run), out / "progress-dialog.png")

        run.dialog.close()
        run.wait_exit(30)
    finally:
        run.cleanup()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", type=Path, default=ROOT / "docs")
    parser.add_argument("--records", type=int, default=5)
    args = parser.parse_args()
    for program in ("import", "convert"):
        if subprocess.run(["which", program], stdout=subprocess.DEVNULL).returncode != 0:
            sys.exit("%s is not installed: apt-get install imagemagick" % program)
    args.out.mkdir(parents=True, exist_ok=True)
    env = harness.WineEnv()
    env.start()
    try:
        take(env, args.out, args.records)
    finally:
        env.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
