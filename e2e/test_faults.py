"""What the line, the disk or the operating system can do to a reading
session, end to end: a port that is missing or taken, a line that goes dead,
a disk that runs full, a process killed mid-write, a line full of noise, and
what an idle session costs.

The rule behind every test: nothing is answered "OK" that is not in the
file, whole and once; nothing on the line or on the disk crashes the
program, makes it hang or makes it spin.

Random choices come from TAMSEL_E2E_SEED when it is set, else from a fresh
seed; a failure names the seed so that the run can be repeated.
"""

import contextlib
import os
import random
import signal
import threading
import time

import pytest

import harness
from harness import (APPEND, NEW_NAME, assert_ok, cpu_shares, parameter_string,
                     progress_for, run_seed)
from simbase import (NOISE_KINDS, acknowledgement_for, noisy_stream, random_frame,
                     random_payload, send_chunked)

OUT = "out.txt"


# --- a port that cannot be had ------------------------------------------------------

def skip_unless_port_is_exclusive(session):
    """Windows refuses a second opening of a serial port; Wine 8 does not
    check sharing on devices, so there a held port cannot be simulated."""
    probe = session.driver("hold", "--port", "COM1", timeout_ms=200)
    if probe.ok:
        pytest.skip("this Wine lets a second program open a COM port that is held")


@pytest.mark.parametrize("cause", ["missing", "held-by-another-program", "held-by-a-session"])
def test_port_that_cannot_be_opened_ends_the_process(session, cause):
    """Whatever keeps the port from opening, the user is told so even with
    error messages off, no session starts, nothing goes out on the line,
    the output file is not created and the process ends."""
    holder = first_dialog = None
    name = "second.txt"
    try:
        if cause == "missing":
            session.unplug_port()
        elif cause == "held-by-another-program":
            holder = session.hold()
            skip_unless_port_is_exclusive(session)
        else:
            # The first session holds the port; the second process is the
            # one under test and must leave the first one's line alone.
            session.start_reading(parameter_string(session.win_path(OUT)))
            first_dialog = session.dialog.wait()
            skip_unless_port_is_exclusive(session)
        params = parameter_string(session.win_path(name), fileMode=NEW_NAME, showErrors="0")
        if first_dialog is None:
            second = session.start(params)
        else:
            second, _ = session.launch(params, "second")
        box = session.message_box("none", timeout_ms=20000)
        # A port that Wine cannot open as a device is no missing port to it.
        told = "COM1" if cause == "missing" else "COM1 is in use by another program."
        assert box.startswith("Can't open the COM port!\n\n" + told), box
        assert box.row["buttons"] == "ok"
        dialogs = session.dialog.all_visible()
        assert [row["pid"] for row in dialogs] == ([first_dialog["pid"]] if first_dialog else [])
        assert session.message_box("ok") == box
        assert second.wait(15) == 1
        assert not (session.dir / name).exists()

        session.base.poll(0.5)
        if cause == "held-by-another-program":
            # The line is there, only taken: not a byte may go out on it.
            assert session.base.received == b""
        elif first_dialog is not None:
            # One start command, the first session's; its line still works.
            assert len(session.base.start_commands) == 1
            assert_ok(session.base.send_record(b"STILL HERE"))
            session.dialog.close()
            assert session.wait_exit(15) == 1
            assert session.read_bytes(OUT) == b"STILL HERE\r\n"
            assert session.base.unexpected == b""
    finally:
        if holder is not None:
            harness.end_process(holder)


# --- what an idle or a dead line costs --------------------------------------------------

# A receiver that spins costs half a core or more; one that polls as it
# should costs a fraction of one per cent. The limits leave room for a
# loaded machine and still catch the spin.
IDLE_CPU_LIMIT = 0.01
DEAD_LINE_CPU_LIMIT = 0.01
# On the event path Wine's own pending wait costs a few per cent of a core
# by itself: what the program may add to that.
EVENT_IDLE_EXCESS_LIMIT = 0.005


def note(session, text):
    with open(session.logs / "measured.txt", "a") as f:
        f.write(text + "\n")


@pytest.mark.receive_path
def test_idle_session_costs_next_to_nothing(session):
    event = session.receive_path.startswith("event")
    with session.bare_wait() if event else contextlib.nullcontext() as bare:
        session.start_reading(parameter_string(session.win_path(OUT)))
        session.dialog.wait()
        program = session.program_process()
        session.base.poll(2.5)  # past the connection check
        measured = [program] + ([bare] if bare else [])
        share, baseline = (cpu_shares(measured, 10) + [None])[:2]
    if bare is None:
        # Wine's wait fails at once on a bare pseudo-terminal: this is the
        # receiver polling after those failures.
        note(session, "idle: %.4f of a core" % share)
        assert share < IDLE_CPU_LIMIT, "an idle session costs %.1f%% of a core" % (share * 100)
    else:
        note(session, "idle: %.4f of a core, a bare pending wait %.4f" % (share, baseline))
        assert share - baseline < EVENT_IDLE_EXCESS_LIMIT, (
            "an idle session costs %.1f%% of a core, a bare wait %.1f%%"
            % (share * 100, baseline * 100))
        # A receiver that had given up waiting for polling would cost less
        # than Wine's own wait does.
        assert share > baseline / 2, "the receiver is not waiting: %.2f%% of a core" % (
            share * 100)
    # Still awake after the long wait.
    assert_ok(session.base.send_record(b"AWAKE"))
    session.dialog.close()
    assert session.wait_exit(15) == 1
    assert session.read_bytes(OUT) == b"AWAKE\r\n"


@pytest.mark.receive_path
@pytest.mark.parametrize("plugged_back", [False, True], ids=["stays-out", "plugged-back"])
def test_line_that_goes_dead_mid_session(session, plugged_back):
    """The adapter is pulled in the middle of a session: the base's end of
    the line goes away and the port reports a hang-up, and COM1 cannot be
    opened. The program neither crashes, hangs nor spins; what it answered
    "OK" stays in the file and the user can close the session at once. When
    the adapter is plugged back (a new line under the same COM1), reading
    goes on without the start command."""
    session.start_reading(parameter_string(session.win_path(OUT), viewData="1"))
    session.dialog.wait()
    program = session.program_process()
    payloads = [b"BEFORE-%d" % i for i in range(1, 4)]
    for payload in payloads:
        assert_ok(session.base.send_record(payload))
    # Half a frame is on its way when the line dies; it must not be stored.
    session.base.send_raw(b"@DT0001I41HALF A REC")
    session.base.poll(0.3)
    session.unplug_port(hang_up=True)

    time.sleep(1.0)
    share, = cpu_shares([program], 5)
    note(session, "dead line: %.4f of a core" % share)
    assert share < DEAD_LINE_CPU_LIMIT, "a dead line costs %.1f%% of a core" % (share * 100)
    assert session.running()
    # The user is told that reading stands still, and what to do.
    lost = "COM1 lost: replug the adapter in the same USB socket, or Close"
    assert session.dialog.wait_progress(lost) == lost
    assert session.read_bytes(OUT) == b"".join(p + b"\r\n" for p in payloads)

    if plugged_back:
        session.replug_port()
        # The rest of the frame that the loss cut: never joined to it.
        session.base.send_raw(b"CORD\r")
        later = [b"AFTER-%d" % i for i in range(1, 4)]
        for payload in later:
            assert_ok(session.base.send_record(payload))
        payloads += later
        assert session.dialog.wait_progress(progress_for(len(payloads))) == progress_for(
            len(payloads))
        assert session.base.start_commands == []
    closed_at = time.monotonic()
    session.dialog.close()
    assert session.message_box("no") == (
        "Done : %d records received.\nView the received data?" % len(payloads))
    assert time.monotonic() - closed_at < 3, "Close took %.1f s" % (time.monotonic() - closed_at)
    assert session.wait_exit(15) == 1
    assert session.read_bytes(OUT) == b"".join(p + b"\r\n" for p in payloads)


# --- a disk that runs full ------------------------------------------------------------

PAGE = 4096
LINE = 128  # a 126-byte payload with CR and LF


def full_disk_session(session, room):
    """A session appending to a file on a two-page tmpfs that a filler file
    fills but for `room` bytes after one more line. Returns the filler, the
    output file and the bytes that were in it before the session."""
    disk = session.mount_tmpfs("disk", "%d" % (2 * PAGE))
    filler = disk / "filler"
    filler.write_bytes(b"f" * PAGE)
    prefill = b"p" * (PAGE - LINE - room - 2) + b"\r\n"
    (disk / OUT).write_bytes(prefill)
    path = session.win_dir + "\\disk\\" + OUT
    session.start_reading(parameter_string(path, fileMode=APPEND, viewData="1"))
    session.dialog.wait()
    return filler, disk / OUT, prefill


@pytest.mark.parametrize("room", [0, 50], ids=["no-byte-fits", "part-of-a-line-fits"])
def test_full_disk_answers_NG_until_space_is_freed(session, room):
    filler, out, prefill = full_disk_session(session, room)
    first, refused, later = (b"%c" % c * (LINE - 2) for c in b"ABC")

    assert_ok(session.base.send_record(first, unit=1, echo=b"a"))
    assert session.dialog.wait_progress(progress_for(1)) == progress_for(1)
    record = session.base.send_record(refused, unit=2, echo=b"b")
    assert record.ack == acknowledgement_for(2, b"b", b"NG")
    assert session.message_box("ok") == "Failed to write file!!"
    assert session.dialog.progress() == progress_for(1)

    # Room again: the next record is stored as if nothing had happened.
    filler.unlink()
    assert_ok(session.base.send_record(later, unit=3, echo=b"c"))
    assert session.dialog.wait_progress(progress_for(2)) == progress_for(2)
    session.dialog.close()
    assert session.message_box("no") == "Done : 2 records received.\nView the received data?"
    assert session.wait_exit(15) == 1
    # Every line whole: nothing of the refused record, which the base keeps
    # and sends again, may stay in front of the next one.
    assert out.read_bytes() == prefill + first + b"\r\n" + later + b"\r\n"


@pytest.mark.receive_path
def test_close_while_a_write_failure_is_on_the_screen(session):
    """The session waits for the user to dismiss the message about the
    refused record, then ends as usual."""
    filler, out, prefill = full_disk_session(session, 0)
    first = b"A" * (LINE - 2)
    assert_ok(session.base.send_record(first))
    record = session.base.send_record(b"B" * (LINE - 2), unit=2)
    assert record.ack == acknowledgement_for(2, b"1", b"NG")
    box = session.message_box("none")
    assert box == "Failed to write file!!"
    # Raised with no owner while reading stands still: in front of all.
    assert box.row["topmost"] == "1"
    session.dialog.close()
    session.base.poll(1.0)
    assert session.running()
    assert session.message_box("ok") == "Failed to write file!!"
    assert session.message_box("no") == "Done : 1 records received.\nView the received data?"
    assert session.wait_exit(15) == 1
    assert out.read_bytes() == prefill + first + b"\r\n"


# --- closing while records arrive ---------------------------------------------------------

@pytest.mark.receive_path
def test_close_while_records_stream_in(session):
    """Close pressed while frames keep arriving: the records already read are
    finished, the session ends within seconds, and the file, the answers
    and the reported count agree."""
    session.start_reading(parameter_string(session.win_path(OUT), viewData="1"))
    session.dialog.wait()
    payloads = [b"S%03d" % i for i in range(40)]
    for payload in payloads:
        session.base.send_record(payload, wait_ack=False)
    session.base.poll(1.5)
    session.dialog.close()
    box = session.message_box("no", timeout_ms=15000)
    assert box is not None, "no end-of-session message"
    assert session.wait_exit(15) == 1
    session.base.poll(0.5)
    acks = [ack for _, ack in session.base.acks]
    assert 0 < len(acks) < len(payloads), "close came too late to cut the stream"
    assert acks == [acknowledgement_for(1, b"1", b"OK")] * len(acks)
    assert session.read_bytes(OUT) == b"".join(p + b"\r\n" for p in payloads[:len(acks)])
    assert box == "Done : %d records received.\nView the received data?" % len(acks)


# --- killed in the middle of a session ---------------------------------------------------

KILL_ROUNDS = 4


@pytest.mark.parametrize("round_", range(KILL_ROUNDS), ids=lambda r: "round%d" % r)
def test_process_killed_at_a_random_moment_keeps_every_record_answered_OK(session, round_):
    base_seed = run_seed()
    rng = random.Random(base_seed + round_)
    delay = rng.uniform(0.3, 5.0)
    why = "base seed %d, round %d, killed %.3f s after the first record" % (
        base_seed, round_, delay)
    note(session, why)
    session.start_reading(parameter_string(session.win_path(OUT)))
    session.dialog.wait()
    pid = session.program_process().pid
    payloads = [b"K%03d-" % i + random_payload(rng, rng.randint(0, 200)) for i in range(80)]

    # SIGKILL, as a crash ends it: no handler runs, nothing is cleaned up.
    killer = threading.Timer(delay, os.kill, (pid, signal.SIGKILL))
    killer.start()
    try:
        sent = []
        for payload in payloads:
            record = session.base.send_record(payload, ack_timeout=3)
            sent.append(record)
            if record.ack is None:
                break
        else:
            pytest.fail("80 records went through before the kill (%s)" % why)
    finally:
        killer.join(30)
    # The harness starts each program with the loader of its own word size,
    # so the process it started is the one that was killed.
    assert session.process.wait(15) == -signal.SIGKILL

    answered = [r for r in sent if r.ack is not None]
    for r in answered:
        assert r.ack == acknowledgement_for(r.unit, r.echo, b"OK"), why
    stored = session.read_bytes(OUT)
    *lines, tail = stored.split(b"\r\n")
    ok_count, line_count = len(answered), len(lines)
    note(session, "%d answered OK, %d lines stored, tail %r" % (ok_count, line_count, tail))
    # Whole lines in the order sent, each once, every answered record among
    # them; only the record in hand at the kill may be there unanswered.
    assert lines == payloads[:line_count], why
    assert ok_count <= line_count <= ok_count + 1, why
    if tail:
        # A write torn by the kill: it can only be the unanswered record.
        assert line_count == ok_count, why
        assert (payloads[line_count] + b"\r\n").startswith(tail), why


# --- noise on the line ------------------------------------------------------------------

NOISY_FRAMES = 40


@pytest.mark.receive_path
def test_noise_between_frames_leaves_exactly_the_valid_records(session):
    """Random bytes, bare CRs, NULs, high bytes, over-long and foreign frames
    and frames abandoned by a new "@" between valid frames, all sent as fast
    as the line takes them without waiting for answers: exactly the valid
    frames are stored and answered, each once, in order."""
    seed = run_seed()
    rng = random.Random(seed)
    frames = [random_frame(rng) for _ in range(NOISY_FRAMES)]
    # Every kind of noise at least once, then noise at random between frames.
    stream = noisy_stream(rng, [frame for frame, _, _, _ in frames], lead=NOISE_KINDS)
    session.start_reading(parameter_string(session.win_path(OUT)))
    session.dialog.wait()

    writer = threading.Thread(target=send_chunked, args=(session.base, stream, rng))
    writer.start()
    try:
        expected = [acknowledgement_for(unit, echo, b"OK") for _, unit, echo, _ in frames]
        for i in range(len(frames)):
            got = session.base.next_ack(timeout=10)
            assert got is not None, "seed %d: %d of %d frames answered" % (
                seed, i, len(frames))
    finally:
        writer.join(60)
    assert not writer.is_alive(), "seed %d: the line stopped taking bytes" % seed
    session.base.poll(1.0)  # no late or extra answer
    assert [ack for _, ack in session.base.acks] == expected, "seed %d" % seed
    assert session.base.unexpected == b""
    assert session.dialog.wait_progress(progress_for(len(frames))) == progress_for(len(frames))
    session.dialog.close()
    assert session.wait_exit(15) == 1
    stored = session.read_bytes(OUT)
    assert stored == b"".join(payload + b"\r\n" for _, _, _, payload in frames), "seed %d" % seed
