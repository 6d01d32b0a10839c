"""One long reading session: thousands of records back to back, each sent
after the previous one was answered, and every one of them in the file
exactly once, byte for byte.

The count comes from TAMSEL_SOAK_RECORDS (default 300, about a minute and a
half). The full run of 10,000 records takes about 40 minutes at the
program's pace of four to five records a second:

    TAMSEL_SOAK_RECORDS=10000 TAMSEL_E2E_DIR=build/e2e-soak \\
        /usr/bin/python3 -m pytest -q -p no:cacheprovider e2e/test_soak.py

TAMSEL_E2E_SEED repeats the random payloads of an earlier run.
"""

import random

import pytest

import harness
from harness import parameter_string, progress_for, run_seed
from simbase import acknowledgement_for, random_payload

RECORDS = int(harness.setting("TAMSEL_SOAK_RECORDS", "300"))
# Resident memory from the first tenth of the session to its end: Wine's own
# caches settle within a few hundred KiB. Wine 8 also keeps about 400 bytes
# for every WaitCommEvent that goes pending and is completed later (a bare
# program that waits, then reads, 5,000 times grows by 1.6 MiB; one whose
# waits complete at once, or are cancelled, stays flat): at most one such
# wait a record. A leak of the program's own beyond that fails.
LEAK_KIB_PER_RECORD = 0.5
LEAK_KIB_FLOOR = 256
ECHOES = b"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"
# Four to five records a second, and room for a slow machine.
pytestmark = [pytest.mark.timeout(300 + RECORDS), pytest.mark.receive_path, pytest.mark.long]


def soak_payloads(rng, count):
    """Unique payloads of every length and byte a payload may hold: each
    begins with its own number, so a doubled or swapped line shows."""
    payloads = []
    for i in range(1, count + 1):
        head = b"%05d:" % i
        payloads.append(head + random_payload(rng, rng.randint(0, 240 - len(head))))
    return payloads


def test_long_session_stores_every_record_once_in_order(session):
    seed = run_seed()
    rng = random.Random(seed)
    payloads = soak_payloads(rng, RECORDS)
    name = "soak.txt"
    session.start_reading(parameter_string(session.win_path(name), viewData="1"))
    session.dialog.wait()
    program = session.program_process()
    resident = []  # (record, KiB) ten times over the session
    for i, payload in enumerate(payloads, start=1):
        unit, echo = i % 100, bytes([ECHOES[i % len(ECHOES)]])
        record = session.base.send_record(payload, unit=unit, echo=echo, ack_timeout=10)
        assert record.ack == acknowledgement_for(unit, echo, b"OK"), (
            "record %d of %d (seed %d): %r" % (i, RECORDS, seed, record.ack))
        if i % max(1, RECORDS // 10) == 0:
            resident.append((i, program.memory_info().rss // 1024))
    assert session.dialog.wait_progress(progress_for(RECORDS)) == progress_for(RECORDS)
    session.dialog.close()
    assert session.message_box("no") == (
        "Done : %d records received.\nView the received data?" % RECORDS)
    assert session.wait_exit(30) == 1

    assert len(session.base.acks) == RECORDS
    assert session.base.unexpected == b""
    expected = b"".join(p + b"\r\n" for p in payloads)
    stored = session.read_bytes(name)
    if stored != expected:
        lines = stored.split(b"\r\n")
        first = next((i for i, (a, b) in enumerate(zip(lines, payloads)) if a != b),
                     min(len(lines), len(payloads)))
        raise AssertionError("seed %d: %d bytes stored, %d expected; first difference at "
                             "record %d: %r" % (seed, len(stored), len(expected), first + 1,
                                                lines[first:first + 1]))
    growth = resident[-1][1] - resident[0][1]
    assert growth < LEAK_KIB_FLOOR + LEAK_KIB_PER_RECORD * RECORDS, (
        "resident memory grew by %d KiB over %d records: %s" % (growth, RECORDS, resident))
