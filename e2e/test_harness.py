"""The test side's own pieces, without Wine: the simulated base's framing and
parsing, the driver's text escaping as the harness mirrors it, and the
settings helpers the end-to-end tests build their inputs with."""

import importlib.util
import os
import random
import termios
import threading

import pytest

import harness
import simbase


@pytest.fixture
def line():
    """A pseudo-terminal: the base on the master, the test on the slave."""
    pty = simbase.open_pty()
    yield pty, simbase.SimBase(pty.master)
    pty.close()


def test_data_frame_and_acknowledgement_layout():
    # "@DT", two unexamined bytes, unit, "I4", echo, payload, CR.
    assert simbase.data_frame(b"ABC", unit=7, echo=b"1", spare=b"01") == b"@DT0107I41ABC\r"
    assert simbase.acknowledgement_for(7, b"1") == b"@DT07I41OK\r"
    assert len(simbase.acknowledgement_for(99, b"\r", b"NG")) == simbase.ACK_LENGTH
    with pytest.raises(ValueError):
        simbase.data_frame(b"", unit=100)


def test_acknowledgements_are_cut_by_length_across_chunks(line):
    pty, base = line
    # The echo byte may be CR or "@": an acknowledgement is 11 bytes, not a
    # frame up to CR. Stray bytes around them are kept, not skipped.
    for chunk in [b"xx@BS", b"\r@DT07I4", b"\rOK\r", b"?", b"@DT12I4@NG\r"]:
        os.write(pty.slave, chunk)
        base.poll(0.05)
    assert base.start_commands
    assert base.next_ack(1) is not None
    assert [ack for _, ack in base.acks] == [b"@DT07I4\rOK\r", b"@DT12I4@NG\r"]
    assert base.verdicts() == ["OK", "NG"]
    assert bytes(base.unexpected) == b"xx?"


@pytest.mark.parametrize("silent, early, sent, acks", [
    (False, 0, 3, 3),
    (True, 2, 2, 2),  # frames before the start answer, which never comes
])
def test_scripted_run_against_an_answering_system(line, silent, early, sent, acks):
    pty, base = line
    seen = []

    def system():
        os.write(pty.slave, b"@BS\r")
        buffer = b""
        while sum(frame.startswith(b"@DT") for frame in seen) < sent:
            buffer += os.read(pty.slave, 256)
            while b"\r" in buffer:
                frame, buffer = buffer.split(b"\r", 1)
                seen.append(frame)
                if frame.startswith(b"@DT"):
                    os.write(pty.slave, b"@DT" + frame[5:7] + b"I4" + frame[9:10] + b"OK\r")

    worker = threading.Thread(target=system, daemon=True)
    worker.start()
    report = base.run(simbase.generated_payloads(0 if silent else 3), unit=12, echo=b"Z",
                      silent=silent, early=[b"E%d" % i for i in range(early)], linger=0.1)
    worker.join(5)
    assert report["frames_sent"] == sent
    assert report["acks"] == ["@DT12I4ZOK\r"] * acks
    assert report["ok"] == acks and report["missing_acks"] == 0
    assert (b"@BS" in seen) == (not silent)


def test_no_start_command_is_an_error(line):
    _, base = line
    with pytest.raises(simbase.BaseError):
        base.run([b"X"], start_timeout=0.2)


def test_missing_acknowledgement_stops_the_script(line):
    pty, base = line
    os.write(pty.slave, b"@BS\r")
    report = base.run([b"ONE", b"TWO"], ack_timeout=0.3, linger=0)
    assert report["frames_sent"] == 1
    assert report["missing_acks"] == 1
    assert report["records"][0]["ack"] is None


@pytest.mark.parametrize("baud", [9600, 115200])
def test_device_port_is_raw_8n1_at_the_given_speed(baud):
    speed = getattr(termios, "B%d" % baud)
    if importlib.util.find_spec("serial") is None:
        if os.environ.get("CI"):
            pytest.fail("pyserial (python3-serial) is missing")
        pytest.skip("pyserial (python3-serial) is not installed: --device cannot run")
    with simbase.open_pty() as pty:
        port = simbase.open_serial(pty.slave_path, baud)
        try:
            iflag, _, cflag, _, ispeed, ospeed, _ = termios.tcgetattr(pty.slave)
            assert (ispeed, ospeed) == (speed, speed)
            assert not cflag & (termios.CSTOPB | termios.CRTSCTS)
            assert not iflag & (termios.IXON | termios.IXOFF)
            # A Linux pty forces CS8 and drops PARENB: ask the port instead.
            assert (port.bytesize, port.parity, port.stopbits) == (8, "N", 1)
            assert not (port.xonxoff or port.rtscts or port.dsrdtr)
            base, peer = simbase.SimBase(port), simbase.SimBase(pty.master)
            # Bytes pass untouched both ways: no CR/LF translation, all 8 bits.
            peer.send_raw(b"\xff\r\n@BS\r")
            base.wait_start_command(2)
            base.answer_start()
            peer.wait_start_command(2)
            assert (bytes(base.received), bytes(peer.received)) == (b"\xff\r\n@BS\r", b"@BS\r")
        finally:
            port.close()


def test_escaping_round_trips_every_byte():
    every = bytes(range(256)).decode("latin-1")
    escaped = harness.escape(every)
    assert "\t" not in escaped and "\n" not in escaped and "\r" not in escaped
    assert harness.unescape(escaped) == every
    assert harness.escape("C:\\t\\a b") == "C:\\\\t\\\\a b"


def test_driver_output_rows():
    result = harness.DriverResult([], 0, "hwnd=0x1\ttext=Done\\n2\r\nanswered=yes\r\n")
    assert result.rows == [{"hwnd": "0x1", "text": "Done\n2"}, {"answered": "yes"}]
    assert result.get("answered") == "yes"


def test_parameter_string_slots():
    params = harness.parameter_string("C:\\o.txt", fileMode=harness.NEW_NAME, dateSepChar="-")
    path, _, slots = params.partition(",")
    assert path == "C:\\o.txt"
    assert len(slots) == 55
    assert slots[2 * 2] == "3"  # slot 2, the file mode
    assert slots[2 * 21] == "-"  # slot 21, the date separator
    assert slots[2 * 11] == slots[2 * 12] == "0"  # both stamp slots follow stampEnabled
    off_again = harness.parameter_string("p", stampEnabled="1", stampEnabledAgain="0")
    slots = off_again.partition(",")[2]
    assert (slots[2 * 11], slots[2 * 12]) == ("1", "0")
    with pytest.raises(KeyError):
        harness.parameter_string("p", noSuchField="1")


def test_settings_file_lines():
    data = harness.settings_file("C:\\dir\\", "name.txt", viewData="1", alwaysShowDialog="1")
    lines = data.split(b"\r\n")
    assert lines[-1] == b"" and len(lines) == 30  # 29 lines, each ended by CR LF
    assert lines[:2] == [b"C:\\dir\\", b"name.txt"]
    # With the stored defaults the value lines read as documented.
    assert b" ".join(lines[2:29]) == b"1 1 1 1 1 1 1 1 0 , ; 0 0 1 0 1 0 1 1 1 / 0 1 1 1 1 :"


def frames_handed_on(stream, limit=simbase.FRAME_LIMIT):
    """What a receiver that keeps at most `limit` bytes of a frame hands on:
    every "@" starts a frame, a CR within the limit ends it, a frame that
    reaches the limit without its CR is dropped up to the next "@"."""
    frames, held, skipping = [], None, False
    for byte in stream:
        if byte == 0x40:
            held, skipping = bytearray(b"@"), False
        elif held is None or skipping:
            continue
        elif byte == 0x0D:
            frames.append(bytes(held) + b"\r")
            held = None
        elif len(held) + 1 >= limit:
            held, skipping = None, True
        else:
            held.append(byte)
    return frames


def is_data_frame(frame):
    return frame[1:3] == b"DT" and frame[7:9] == b"I4" and len(frame) >= 11


@pytest.mark.parametrize("seed", [385928788] + list(range(200)))
def test_noisy_stream_holds_exactly_the_valid_frames(seed):
    # Noise that happens to form a data frame would be stored and answered,
    # and the noise test would blame the program for it.
    rng = random.Random(seed)
    frames = [simbase.random_frame(rng)[0] for _ in range(40)]
    stream = simbase.noisy_stream(rng, frames, lead=simbase.NOISE_KINDS)
    assert [f for f in frames_handed_on(stream) if is_data_frame(f)] == frames


class _FakeProcess:
    def __init__(self, code):
        self.code = code

    def poll(self):
        return self.code


class _FakeRun:
    """Stands in for a Session: each start gives the next exit state."""

    def __init__(self, logs, codes):
        self.logs, self.codes, self.process, self.starts = logs, list(codes), None, 0

    def launch(self, params, log_name):
        self.starts += 1
        return _FakeProcess(self.codes.pop(0)), None


@pytest.mark.parametrize("codes, signs, starts, passes", [
    ([None], ["seen"], 1, True),  # shown at once
    ([1, None], [None, "seen"], 2, True),  # Wine failed the first start
    ([None], [None], 1, False),  # running but showing nothing: a real fault
    ([2], [None], 1, False),  # ended with the program's own error result
    ([1, 1], [None, None], 2, False),  # failed twice: no third try
])
def test_a_start_that_wine_failed_is_repeated_once(tmp_path, codes, signs, starts, passes):
    run = _FakeRun(tmp_path, codes)
    signs = list(signs)

    def first_sign():
        sign = signs.pop(0)
        if sign is None:
            raise simbase.BaseError("nothing shown")
        return sign

    if passes:
        assert harness.Session.start(run, "p", first_sign) == "seen"
    else:
        with pytest.raises(simbase.BaseError):
            harness.Session.start(run, "p", first_sign)
    assert run.starts == starts
