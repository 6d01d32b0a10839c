"""A reading session of the real Tamsel.exe under Wine, headless, against the
simulated base on a pseudo-terminal behind COM1. Prints what the base saw,
what the user was shown, and the output file.

Usage: /usr/bin/python3 tools/demo.py [number-of-records]
"""

import os
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "e2e"))
os.environ.setdefault("TAMSEL_E2E_DIR", str(ROOT / "build" / "demo"))

import harness  # noqa: E402
import simbase  # noqa: E402


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    env = harness.WineEnv()
    print("Starting Xvfb and Wine (the first start prepares a Wine prefix)...", flush=True)
    env.start()
    run = None
    try:
        run = harness.Session(env, "demo")
        output = run.win_path("records.txt")
        params = harness.parameter_string(output, viewData="1", stampEnabled="1")
        print("Tamsel.exe %s" % params, flush=True)
        run.start(params, see=lambda: run.base.wait_start_command(timeout=60))
        print("base: got the start command, answering it", flush=True)
        run.base.answer_start()
        run.dialog.wait()
        for payload in simbase.generated_payloads(count):
            record = run.base.send_record(payload, unit=7, echo=b"1")
            print("base: sent %-12s answered %s" % (payload.decode(), record.ack.decode().strip()),
                  flush=True)
        print("progress window: %s" % run.dialog.wait_progress(harness.progress_for(count)),
              flush=True)
        run.dialog.close()
        question = run.message_box(answer="no")
        print("message box: %r, answered No" % question, flush=True)
        print("exit code: %d" % run.wait_exit(), flush=True)
        print("\n%s (%s):" % (output, run.unix_path(output)))
        sys.stdout.write(run.unix_path(output).read_bytes().decode("latin-1"))
        return 0
    finally:
        if run:
            run.cleanup()
        env.stop()


if __name__ == "__main__":
    sys.exit(main())
