"""Measures Tamsel beside a plain script that stores and answers each record
(tools/plain_reader.py), and writes docs/benchmark.md and a latency histogram
(docs/latency-histogram.png): core throughput (build/bench/core_bench); under
Wine, on both receive paths, the acknowledgement latency and the CPU of an
idle session beside a bare pending wait; start-up. tools/bench.sh builds first.

Usage: /usr/bin/python3 tools/bench.py [--records N] [--idle SECONDS] [--starts N]
"""

import argparse
import contextlib
import json
import os
import platform
import statistics
import subprocess
import sys
import time
from datetime import date
from pathlib import Path

import psutil

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "e2e"))
os.environ.setdefault("TAMSEL_E2E_DIR", str(ROOT / "build" / "bench-e2e"))

import harness  # noqa: E402
import simbase  # noqa: E402

DOCS = ROOT / "docs"
FLASH_MS = 200.0


def latencies_of(base, count):
    """From each data frame's CR leaving the base to its acknowledgement's CR."""
    values = []
    for payload in simbase.generated_payloads(count):
        record = base.send_record(payload, unit=7, echo=b"1", ack_timeout=10.0)
        if record.ack is None:
            raise RuntimeError("no acknowledgement for %r" % payload)
        values.append((record.ack_at - record.sent_at) * 1000.0)
    return values


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(share * (len(ordered) - 1))))]


# --- Tamsel.exe under Wine ------------------------------------------------------

def measure_startup(env, starts):
    startup = []
    for i in range(starts):
        run = harness.Session(env, "bench-start-%d" % i)
        try:
            started = run.start_reading(harness.parameter_string(run.win_path("out.txt")),
                                        answer=False)
            startup.append((started - run.started_at) * 1000.0)
        finally:
            run.cleanup()
    return statistics.median(startup)


def measure_tamsel(env, records, idle_seconds, receive_path):
    """Idle CPU beside the bare wait (on the event path), and Wine's server's,
    over the same seconds; then the latencies."""
    result = {}
    run = harness.Session(env, "bench-session-" + receive_path, receive_path)
    event = receive_path == "event"
    try:
        with run.bare_wait(idle_seconds + 60) if event else contextlib.nullcontext() as bare:
            run.start_reading(harness.parameter_string(run.win_path("out.txt"), stampEnabled="1"))
            run.dialog.wait()
            time.sleep(3)
            # Wine's server, the newest one ("wineserver64" with 64-bit Wine).
            server = max((p for p in psutil.process_iter(["name", "create_time"])
                          if p.info["name"].startswith("wineserver")),
                         key=lambda p: p.info["create_time"])
            measured = [run.program_process(), server] + ([bare] if bare else [])
            shares = harness.cpu_shares(measured, idle_seconds)
        names = ["idle_cpu_percent", "wineserver_idle_cpu_percent", "bare_wait_idle_cpu_percent"]
        result.update((name, 100 * share) for name, share in zip(names, shares))
        result["latencies_ms"] = latencies_of(run.base, records)
        run.dialog.close()
        run.wait_exit(60)
    finally:
        run.cleanup()
    return result


# --- the plain script -----------------------------------------------------------

def measure_plain_script(records, idle_seconds, starts):
    """Start-up over `starts` runs; the last one is measured idle, then for
    latency."""
    script = ROOT / "tools" / "plain_reader.py"
    out = ROOT / "build" / "bench-plain.txt"
    result, startup = {"exe_bytes": script.stat().st_size}, []
    for run in range(starts):
        out.unlink(missing_ok=True)
        with simbase.open_pty() as pty:
            started = time.monotonic()
            reader = psutil.Popen([sys.executable, str(script), pty.slave_path, str(out)],
                                  stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
            try:
                base = simbase.SimBase(pty.master)
                startup.append((base.wait_start_command(30) - started) * 1000.0)
                if run == starts - 1:
                    base.answer_start()
                    time.sleep(1)
                    result["idle_cpu_percent"] = 100 * harness.cpu_shares([reader],
                                                                          idle_seconds)[0]
                    result["latencies_ms"] = latencies_of(base, records)
            finally:
                harness.end_process(reader)
    result["startup_ms"] = statistics.median(startup)
    return result


def flush_times_ms(count=300):
    """What one small append and flush to disk costs here, as Tamsel pays it
    for every record before its "OK"."""
    probe = ROOT / "build" / "bench-flush-probe.txt"
    fd = os.open(str(probe), os.O_WRONLY | os.O_CREAT | os.O_APPEND | os.O_TRUNC)
    times = []
    try:
        for i in range(count):
            os.write(fd, b"REC%06d\r\n" % i)
            started = time.perf_counter()
            os.fsync(fd)
            times.append((time.perf_counter() - started) * 1000.0)
            time.sleep(0.02)
    finally:
        os.close(fd)
        probe.unlink()
    return times


# --- the report -----------------------------------------------------------------

def core_throughput():
    binary = ROOT / "build" / "bench" / "core_bench"
    done = subprocess.run([str(binary), "--benchmark_format=json", "--benchmark_min_time=1"],
                          stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, check=True)
    return {b["name"]: b["items_per_second"] for b in json.loads(done.stdout)["benchmarks"]}


def histogram(series, path):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    figure, axes = plt.subplots(1, len(series), figsize=(5 * len(series), 3.6))
    for ax, (title, values) in zip(axes, series):
        ax.hist(values, bins=40, color="#4a7ab5")
        ax.set(title=title, xlabel="acknowledgement latency (ms)", ylabel="records")
        ax.axvline(statistics.median(values), color="#c0392b", linestyle="--",
                   label="median %.1f ms" % statistics.median(values))
        ax.legend()
    figure.tight_layout()
    figure.savefig(path, dpi=100)


def write_report(core, event, polling, plain, args):
    DOCS.mkdir(exist_ok=True)
    histogram([("Tamsel.exe, event path", event["latencies_ms"]),
               ("Tamsel.exe, polling path", polling["latencies_ms"]),
               ("plain script", plain["latencies_ms"])], DOCS / "latency-histogram.png")
    bare_wait = event["bare_wait_idle_cpu_percent"]

    def each(measure, plain_too=True):
        return [measure(event), measure(polling), measure(plain) if plain_too else None]

    def median(c):
        return statistics.median(c["latencies_ms"])

    def p99(c):
        return percentile(c["latencies_ms"], 0.99)

    rows = [
        ("acknowledgement latency, median (ms)", each(median)),
        ("acknowledgement latency, 99th percentile (ms)", each(p99)),
        ("latency beyond the 200 ms flash, median (ms)",
         each(lambda c: median(c) - FLASH_MS, plain_too=False)),
        ("latency beyond the 200 ms flash, 99th percentile (ms)",
         each(lambda c: p99(c) - FLASH_MS, plain_too=False)),
        ("CPU while waiting with no data (% of one core)", each(lambda c: c["idle_cpu_percent"])),
        ("a bare pending wait under the same Wine (% of one core)", [bare_wait, None, None]),
        ("the program's own idle cost beyond it (points of a core)",
         [event["idle_cpu_percent"] - bare_wait, None, None]),
        ("Wine's server meanwhile, serving the bare wait too on the event path (% of one core)",
         each(lambda c: c["wineserver_idle_cpu_percent"], plain_too=False)),
        ("start-up to \"@BS\\r\" on the line, median (ms)",
         [args.startup_ms, None, plain["startup_ms"]]),
        ("program size (bytes)", [harness.TAMSEL_EXE.stat().st_size, None, plain["exe_bytes"]]),
    ]

    def cell(value):
        return "-" if value is None else ("%.1f" % value if isinstance(value, float) else
                                          "{:,}".format(value))

    lines = [
        "# Benchmark",
        "",
        "Taken on %s on %s (%s, %d cores) with `tools/bench.sh` "
        "(%d records, %d s idle, %d starts)."
        % (date.today().isoformat(), platform.node() or "this machine", platform.machine(),
           os.cpu_count(), args.records, args.idle, args.starts),
        "Tamsel.exe runs under Wine 8 with the flash on, on the event path (the tests' shim makes "
        "the pseudo-terminal answer the wait for received characters as a port does) and on the "
        "polling path (a bare pseudo-terminal). The plain script, `tools/plain_reader.py`, runs "
        "natively on the same kind of pseudo-terminal: no stamps, no flash.",
        "",
        "## Core throughput (native, null output file)",
        "",
        "| benchmark | frames per second |",
        "|---|---|",
    ]
    for name, value in core.items():
        lines.append("| %s | %s |" % (name, "{:,.0f}".format(value)))
    # 10 bits a byte on the line; a frame is 10 bytes, the payload and CR.
    line_fps = 115200 / 10 / (10 + 12 + 1)
    slowest = min(v for k, v in core.items() if k.endswith("/12"))
    lines += [
        "",
        "At 115200 bit/s the line itself carries at most about %.0f frames per second with "
        "12-byte payloads; the core handles %.0f times that." % (line_fps, slowest / line_fps),
        "",
        "## End to end",
        "",
        "| measure | Tamsel.exe, event path | Tamsel.exe, polling path | plain script |",
        "|---|---|---|---|",
    ]
    for name, values in rows:
        lines.append("| %s | %s |" % (name, " | ".join(cell(v) for v in values)))
    flushes = args.flush_times
    lines += ["", "Tamsel flushes every line to disk before it answers \"OK\"; the plain script "
              "does not. A small append and flush here took %.1f ms at the median, %.1f ms at the "
              "99th percentile and %.1f ms at most during this run: with the flash's and the "
              "progress text's screen work, that makes Tamsel's latency tail."
              % (statistics.median(flushes), percentile(flushes, 0.99), max(flushes))]
    lines += ["", "The bare wait is a program that keeps one wait for received characters "
              "pending on a port of its own, measured beside the session over the same seconds."]
    lines += ["", "![Latency histogram](latency-histogram.png)", ""]
    (DOCS / "benchmark.md").write_text("\n".join(lines))
    print("\n".join(lines))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--records", type=int, default=300)
    parser.add_argument("--idle", type=int, default=30)
    parser.add_argument("--starts", type=int, default=5)
    args = parser.parse_args()

    core = core_throughput()
    args.flush_times = flush_times_ms()
    plain = measure_plain_script(args.records, args.idle, args.starts)
    env = harness.WineEnv()
    try:
        env.start()
        args.startup_ms = measure_startup(env, args.starts)
        event = measure_tamsel(env, args.records, args.idle, "event")
        polling = measure_tamsel(env, args.records, args.idle, "polling")
    finally:
        env.stop()
    write_report(core, event, polling, plain, args)


if __name__ == "__main__":
    main()
