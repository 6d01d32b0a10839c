#!/usr/bin/python3
"""A simulated base station for exercising Tamsel over a serial line.

The base waits for the start command "@BS\\r", answers it (unless told to stay
silent), sends data frames one by one and collects the 11-byte
acknowledgements that come back. It talks either to a serial port opened
through pyserial (COM6 on Windows, a tty or a pty slave on Linux) or to the
master side of a pseudo-terminal that it creates itself (POSIX only), whose
slave side the program under test opens.

Used as a module by the end-to-end tests (SimBase, open_pty, data_frame,
acknowledgement_for) and as a command line tool:

    simbase.py --pty --link /tmp/com1 --count 5 --report report.json
    simbase.py --device /dev/ttyUSB0 --baud 9600 --data payloads.txt --unit 12 --echo Z
    py tools\\simbase.py --device COM6 --count 5

Bytes travel as latin-1 text in the JSON report, so every byte value maps to
exactly one character and nothing is lost.
"""

import argparse
import json
import os
import select
import sys
import time

try:
    import termios
except ImportError:  # Windows: only --device, through pyserial
    termios = None

START_COMMAND = b"@BS\r"
START_ANSWER = b"@BS\r"
ACK_LENGTH = 11
CR = b"\r"


class BaseError(Exception):
    """The conversation did not go as the base expected."""


def set_raw(fd):
    """Puts a terminal into raw 8N1 mode: no echo, no line editing, no
    translation of CR or LF, no flow control."""
    attrs = termios.tcgetattr(fd)
    iflag, oflag, cflag, lflag = attrs[0], attrs[1], attrs[2], attrs[3]
    iflag &= ~(termios.IGNBRK | termios.BRKINT | termios.PARMRK | termios.ISTRIP
               | termios.INLCR | termios.IGNCR | termios.ICRNL | termios.IXON
               | termios.IXOFF | termios.IXANY)
    oflag &= ~termios.OPOST
    lflag &= ~(termios.ECHO | termios.ECHONL | termios.ICANON | termios.ISIG
               | termios.IEXTEN)
    cflag &= ~(termios.CSIZE | termios.PARENB | termios.CSTOPB)
    cflag |= termios.CS8 | termios.CREAD | termios.CLOCAL
    attrs[0], attrs[1], attrs[2], attrs[3] = iflag, oflag, cflag, lflag
    attrs[6][termios.VMIN] = 1
    attrs[6][termios.VTIME] = 0
    termios.tcsetattr(fd, termios.TCSANOW, attrs)


def point_symlink(link, target):
    """Makes `link` point at `target`, replacing any previous link atomically
    so that a reader never finds the name missing."""
    temp = "%s.new.%d" % (link, os.getpid())
    if os.path.lexists(temp):
        os.unlink(temp)
    os.symlink(target, temp)
    os.replace(temp, link)


class PtyPair:
    """A pseudo-terminal whose master side is the base's end of the line.

    The slave side stays open here as well, so that reading the master does
    not fail with EIO while the program under test has not opened the port
    yet or has just closed it."""

    def __init__(self, link=None):
        self.master, self.slave = os.openpty()
        set_raw(self.slave)
        self.slave_path = os.ttyname(self.slave)
        self.link = link
        if link:
            point_symlink(link, self.slave_path)

    def close(self):
        for fd in (self.master, self.slave):
            try:
                os.close(fd)
            except OSError:
                pass
        self.master = self.slave = -1

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def open_pty(link=None):
    return PtyPair(link)


# How long one read of a serial port may block: the longest a deadline can be
# overrun. A fixed value, since changing pyserial's timeout reconfigures the port.
SERIAL_TICK = 0.05


def open_serial(port, baud=115200):
    """Opens a serial port (COM6, /dev/ttyUSB0, a pty slave) at `baud`, 8N1,
    without flow control. Needs pyserial; raises ImportError without it."""
    import serial  # the module itself stays standard library only
    return serial.Serial(port, baud, bytesize=serial.EIGHTBITS, parity=serial.PARITY_NONE,
                         stopbits=serial.STOPBITS_ONE, xonxoff=False, rtscts=False,
                         dsrdtr=False, timeout=SERIAL_TICK)


class _FdLine:
    """A file descriptor: the master side of a pseudo-terminal."""

    def __init__(self, fd):
        self.fd = fd

    def read_available(self, timeout):
        ready, _, _ = select.select([self.fd], [], [], max(0.0, timeout))
        if not ready:
            return b""
        try:
            return os.read(self.fd, 4096)
        except OSError:
            # EIO: nobody holds the other side; treat as silence.
            time.sleep(min(timeout, 0.05))
            return b""

    def write(self, data):
        view = memoryview(data)
        while view:
            written = os.write(self.fd, view)
            view = view[written:]


class _SerialLine:
    """A pyserial port, which also works where select cannot wait on it."""

    def __init__(self, port):
        self.port = port

    def read_available(self, timeout):
        deadline = time.monotonic() + timeout
        while True:
            chunk = self.port.read(max(1, self.port.in_waiting))
            if chunk or time.monotonic() >= deadline:
                return chunk

    def write(self, data):
        self.port.write(data)
        self.port.flush()


def data_frame(payload, unit=1, echo=b"1", spare=b"00"):
    """One data frame: "@DT", two unexamined bytes, the two-digit unit number,
    "I4", the echo byte, the payload and CR."""
    payload = _as_bytes(payload)
    echo = _as_bytes(echo)
    spare = _as_bytes(spare)
    if len(echo) != 1 or len(spare) != 2:
        raise ValueError("echo must be one byte and spare two bytes")
    if not 0 <= unit <= 99:
        raise ValueError("unit number must be 0..99")
    return b"@DT" + spare + b"%02d" % unit + b"I4" + echo + payload + CR


def acknowledgement_for(unit, echo, verdict=b"OK"):
    """The 11 bytes the system sends back for a data frame."""
    return b"@DT" + b"%02d" % unit + b"I4" + _as_bytes(echo) + _as_bytes(verdict) + CR


def generated_payloads(count, prefix="REC", width=6):
    """Deterministic payloads REC000001, REC000002, ..."""
    return [("%s%0*d" % (prefix, width, i)).encode("ascii") for i in range(1, count + 1)]


def payloads_from_file(path):
    """One payload per line; CR and LF at the line ends are not part of it."""
    with open(path, "rb") as f:
        return [line.rstrip(b"\r\n") for line in f.read().splitlines()]


def _as_bytes(value):
    if isinstance(value, bytes):
        return value
    if isinstance(value, str):
        return value.encode("latin-1")
    raise TypeError("expected bytes or str, got %r" % type(value))


def _text(data):
    return data.decode("latin-1")


class Record:
    """One data frame sent and what became of it."""

    def __init__(self, index, frame, unit, echo, payload):
        self.index = index
        self.frame = frame
        self.unit = unit
        self.echo = echo
        self.payload = payload
        self.sent_at = None
        self.ack = None
        self.ack_at = None
        self.waited = None  # seconds from when it could be handled to its answer
        self.ack_limit = None

    @property
    def verdict(self):
        return self.ack[8:10].decode("latin-1") if self.ack else None

    @property
    def latency_ms(self):
        if self.ack_at is None:
            return None
        return round((self.ack_at - self.sent_at) * 1000.0, 1)

    def as_json(self, epoch):
        return {
            "index": self.index,
            "payload": _text(self.payload),
            "unit": self.unit,
            "echo": _text(self.echo),
            "frame": _text(self.frame),
            "sent_at": round(self.sent_at - epoch, 4) if self.sent_at else None,
            "ack": _text(self.ack) if self.ack is not None else None,
            "ack_at": round(self.ack_at - epoch, 4) if self.ack_at else None,
            "latency_ms": self.latency_ms,
            "verdict": self.verdict,
        }


class SimBase:
    """The base's side of the conversation over one line: a file descriptor
    or a pyserial port.

    Every received byte is kept in order in `received`; the parser picks the
    start command and the acknowledgements out of that stream, and whatever
    fits neither lands in `unexpected`, so a stray byte from the system is
    seen rather than skipped over."""

    def __init__(self, line, log=None):
        self.line = _FdLine(line) if isinstance(line, int) else _SerialLine(line)
        self.log = log
        self.epoch = time.monotonic()
        self.received = bytearray()
        self._parsed = 0
        self.start_commands = []  # monotonic times at which "@BS\r" arrived
        self.acks = []  # (monotonic time, 11 bytes) in arrival order
        self._acks_taken = 0
        self.unexpected = bytearray()
        self.records = []
        self.answered_at = None
        self.ack_limit = None  # seconds, given to each record sent

    # --- receiving -------------------------------------------------------

    def _read_available(self, timeout):
        """Reads what arrives within `timeout` seconds; returns True if any
        byte came."""
        chunk = self.line.read_available(timeout)
        if not chunk:
            return False
        self.received += chunk
        self._parse(time.monotonic())
        return True

    def _parse(self, now):
        data = self.received
        i = self._parsed
        while i < len(data):
            if data.startswith(START_COMMAND, i):
                self.start_commands.append(now)
                self._note("<- start command")
                i += len(START_COMMAND)
            elif data.startswith(b"@DT", i):
                if len(data) - i < ACK_LENGTH:
                    break  # the rest of the acknowledgement is on its way
                ack = bytes(data[i:i + ACK_LENGTH])
                self.acks.append((now, ack))
                self._note("<- %r" % ack)
                i += ACK_LENGTH
            elif data[i:i + 1] == b"@" and len(data) - i < max(len(START_COMMAND), 3):
                break  # too short to tell what it is yet
            else:
                self.unexpected.append(data[i])
                i += 1
        self._parsed = i

    def poll(self, duration):
        """Listens for `duration` seconds, keeping everything received."""
        deadline = time.monotonic() + duration
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                return
            self._read_available(left)

    def wait_start_command(self, timeout=30.0):
        """Waits for "@BS\\r"; returns its arrival time or raises BaseError."""
        deadline = time.monotonic() + timeout
        while not self.start_commands:
            left = deadline - time.monotonic()
            if left <= 0:
                raise BaseError("no start command within %.1f s" % timeout)
            self._read_available(left)
        return self.start_commands[0]

    def next_ack(self, timeout=5.0):
        """The next acknowledgement not yet taken, as (time, bytes), or None
        when none arrives within `timeout` seconds."""
        deadline = time.monotonic() + timeout
        while self._acks_taken >= len(self.acks):
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            self._read_available(left)
        ack = self.acks[self._acks_taken]
        self._acks_taken += 1
        return ack

    # --- sending ---------------------------------------------------------

    def send_raw(self, data):
        """Writes bytes to the line as they are: the seam for noise, split
        frames and other deliberate damage."""
        self.line.write(_as_bytes(data))

    def answer_start(self, answer=START_ANSWER):
        self.send_raw(answer)
        self.answered_at = time.monotonic()
        self._note("-> start answer %r" % answer)

    def send_record(self, payload, unit=1, echo=b"1", wait_ack=True, ack_timeout=5.0):
        """Sends one data frame; with `wait_ack`, waits for its
        acknowledgement. Returns the Record (its `ack` is None when none came
        in time)."""
        payload = _as_bytes(payload)
        echo = _as_bytes(echo)
        frame = data_frame(payload, unit, echo)
        record = Record(len(self.records), frame, unit, echo, payload)
        self.records.append(record)
        record.sent_at = time.monotonic()
        self.send_raw(frame)
        self._note("-> %r" % frame)
        if wait_ack:
            self._collect_ack(record, ack_timeout)
        return record

    def _collect_ack(self, record, timeout):
        got = self.next_ack(timeout)
        if got is not None:
            record.ack_at, record.ack = got
            # A record can be handled once it is sent, the system is
            # listening and the answer before it is out.
            before = [r.ack_at for r in self.records[:record.index] if r.ack_at is not None]
            record.waited = record.ack_at - max([record.sent_at] + self.start_commands[:1] +
                                                before[-1:])
            record.ack_limit = self.ack_limit

    def collect_pending_acks(self, timeout=5.0):
        """Pairs the records sent without waiting with the acknowledgements
        that arrive, in order."""
        for record in self.records:
            if record.ack is None:
                self._collect_ack(record, timeout)
                if record.ack is None:
                    return

    def run(self, payloads, unit=1, echo=b"1", silent=False, answer=START_ANSWER,
            early=(), start_timeout=30.0, ack_timeout=5.0, wait_acks=True, gap=0.0,
            linger=0.5):
        """The whole scripted conversation: wait for the start command, send
        the `early` payloads before answering (or instead of answering when
        `silent`), answer, then send `payloads`. Stops at the first missing
        acknowledgement when waiting for them. Returns the report dict."""
        self.wait_start_command(start_timeout)
        for payload in early:
            record = self.send_record(payload, unit, echo, wait_acks, ack_timeout)
            if wait_acks and record.ack is None:
                break
        if not silent:
            self.answer_start(answer)
            for payload in payloads:
                record = self.send_record(payload, unit, echo, wait_acks, ack_timeout)
                if wait_acks and record.ack is None:
                    break
                if gap:
                    self.poll(gap)
        if not wait_acks:
            self.collect_pending_acks(ack_timeout)
        self.poll(linger)
        return self.report()

    # --- results ---------------------------------------------------------

    def verdicts(self):
        return [ack[8:10].decode("latin-1") for _, ack in self.acks]

    def report(self):
        latencies = [r.latency_ms for r in self.records if r.latency_ms is not None]
        verdicts = self.verdicts()
        return {
            "start_command_received": bool(self.start_commands),
            "start_commands": [round(t - self.epoch, 4) for t in self.start_commands],
            "answered_at": round(self.answered_at - self.epoch, 4) if self.answered_at else None,
            "frames_sent": len(self.records),
            "acks": [_text(ack) for _, ack in self.acks],
            "ok": verdicts.count("OK"),
            "ng": verdicts.count("NG"),
            "missing_acks": sum(1 for r in self.records if r.ack is None),
            "records": [r.as_json(self.epoch) for r in self.records],
            "latency_ms": {
                "min": min(latencies) if latencies else None,
                "max": max(latencies) if latencies else None,
                "mean": round(sum(latencies) / len(latencies), 1) if latencies else None,
            },
            "unexpected": _text(bytes(self.unexpected)),
            "received": _text(bytes(self.received)),
        }

    def _note(self, text):
        if self.log:
            self.log("%8.3f %s" % (time.monotonic() - self.epoch, text))


def summary(report):
    lines = [
        "start command: %s" % ("received" if report["start_command_received"] else "NOT received"),
        "frames sent: %d, acks: %d (OK %d, NG %d), missing: %d" % (
            report["frames_sent"], len(report["acks"]), report["ok"], report["ng"],
            report["missing_acks"]),
    ]
    lat = report["latency_ms"]
    if lat["mean"] is not None:
        lines.append("latency ms: min %s, mean %s, max %s" % (lat["min"], lat["mean"], lat["max"]))
    if report["unexpected"]:
        lines.append("unexpected bytes: %r" % report["unexpected"].encode("latin-1"))
    return "\n".join(lines)


def main(argv=None):
    parser = argparse.ArgumentParser(description="Simulated base station.")
    where = parser.add_mutually_exclusive_group(required=True)
    where.add_argument("--device", help="serial port to talk on: COM6, /dev/ttyUSB0, ...")
    where.add_argument("--pty", action="store_true",
                       help="create a pseudo-terminal and talk on its master side (POSIX)")
    parser.add_argument("--baud", type=int, default=115200,
                        help="with --device: line speed, 8N1 (default 115200)")
    parser.add_argument("--link", help="with --pty: symlink to point at the slave side")
    what = parser.add_mutually_exclusive_group()
    what.add_argument("--count", type=int, default=0, help="send N generated records")
    what.add_argument("--data", help="file with one payload per line")
    parser.add_argument("--early", type=int, default=0,
                        help="send this many generated records before answering")
    parser.add_argument("--unit", type=int, default=1, help="unit number 0..99")
    parser.add_argument("--echo", default="1", help="echo character (one byte)")
    parser.add_argument("--silent", action="store_true",
                        help="never answer the start command")
    parser.add_argument("--answer", default="@BS",
                        help="start answer without its CR (default @BS)")
    parser.add_argument("--start-timeout", type=float, default=60.0)
    parser.add_argument("--ack-timeout", type=float, default=5.0)
    parser.add_argument("--no-wait", action="store_true",
                        help="send frames back to back without waiting for acks")
    parser.add_argument("--gap", type=float, default=0.0,
                        help="seconds between records after each ack")
    parser.add_argument("--linger", type=float, default=0.5,
                        help="seconds to keep listening after the last record")
    parser.add_argument("--report", help="write the JSON report to this file")
    parser.add_argument("--verbose", "-v", action="store_true")
    args = parser.parse_args(argv)

    if args.data:
        payloads = payloads_from_file(args.data)
    else:
        payloads = generated_payloads(args.count)
    early = [b"EARLY%04d" % i for i in range(1, args.early + 1)]
    log = (lambda text: print(text, file=sys.stderr, flush=True)) if args.verbose else None

    pty = None
    if args.pty:
        if termios is None:
            parser.error("--pty needs a POSIX system; use --device with a serial port")
        pty = open_pty(args.link)
        line = pty.master
        print("slave: %s" % pty.slave_path, flush=True)
    else:
        try:
            line = open_serial(args.device, args.baud)
        except ImportError:
            print("--device needs pyserial: apt install python3-serial / pip install pyserial",
                  file=sys.stderr)
            return 2
        except (OSError, ValueError) as error:  # pyserial's SerialException is an OSError
            print("error: cannot open %s: %s" % (args.device, error), file=sys.stderr)
            return 2
    try:
        base = SimBase(line, log=log)
        try:
            report = base.run(payloads, unit=args.unit, echo=args.echo.encode("latin-1"),
                              silent=args.silent, answer=args.answer.encode("latin-1") + CR,
                              early=early, start_timeout=args.start_timeout,
                              ack_timeout=args.ack_timeout, wait_acks=not args.no_wait,
                              gap=args.gap, linger=args.linger)
            failed = report["missing_acks"] > 0
        except (BaseError, OSError) as error:  # an unplugged adapter too: keep the report
            print("error: %s" % error, file=sys.stderr)
            report = base.report()
            report["error"] = str(error)
            failed = True
        except KeyboardInterrupt:
            report = base.report()
            report["error"] = "interrupted"
            failed = True
    finally:
        if pty:
            pty.close()
        else:
            line.close()
    if args.report:
        with open(args.report, "w") as f:
            json.dump(report, f, indent=1)
            f.write("\n")
    print(summary(report))
    return 1 if failed else 0


# --- line noise ----------------------------------------------------------

# The system keeps at most this many bytes of one frame, its "@" and CR
# included; a data frame thus carries at most 240 payload bytes.
FRAME_LIMIT = 251
PAYLOAD_LIMIT = FRAME_LIMIT - 11

_AT = 0x40
_CR = 0x0D
_IN_FRAME = bytes(b for b in range(1, 256) if b not in (_AT, _CR))
_HIGH = bytes(range(128, 256))
# What a line picks up between frames: any byte, NUL and CR more often than
# the rest, but never an "@", which would open a frame.
_JUNK = bytes([0, 0, 0, _CR, _CR]) + _HIGH + bytes(b for b in range(1, 128) if b != _AT)

NOISE_KINDS = ("junk", "bare-crs", "nuls", "high", "overlong", "overlong-cr",
               "overlong-data", "foreign", "short-dt", "abandoned")


def random_payload(rng, length=None):
    """Random bytes that can stand in a payload: anything but NUL (which
    would end it), "@" and CR. `length` defaults to a random 0..240."""
    if length is None:
        length = rng.choice([0, PAYLOAD_LIMIT, rng.randint(0, PAYLOAD_LIMIT)])
    return bytes(rng.choice(_IN_FRAME) for _ in range(length))


def random_frame(rng, payload=None):
    """A valid data frame with a random unit number, echo byte and payload;
    returns (frame, unit, echo, payload)."""
    unit = rng.randint(0, 99)
    echo = bytes([rng.choice(_IN_FRAME)])
    if payload is None:
        payload = random_payload(rng)
    return data_frame(payload, unit, echo), unit, echo, payload


def noise_chunk(rng, kind):
    """One piece of noise that no system may store or answer. Every kind but
    "abandoned" leaves the assembler hunting for an "@" or skipping an
    over-long frame; "abandoned" is a frame without its CR and must be
    followed at once by an "@"."""
    if kind == "junk":
        return bytes(rng.choice(_JUNK) for _ in range(rng.randint(1, 40)))
    if kind == "bare-crs":
        return b"\r" * rng.randint(1, 5)
    if kind == "nuls":
        return b"\x00" * rng.randint(1, 20)
    if kind == "high":
        return bytes(rng.choice(_HIGH) for _ in range(rng.randint(1, 60)))
    if kind in ("overlong", "overlong-cr"):
        # No CR among the first 251 bytes: never handed on.
        body = bytes(rng.choice(_IN_FRAME) for _ in range(rng.randint(FRAME_LIMIT, 400)))
        return b"@" + body + (b"\r" if kind == "overlong-cr" else b"")
    if kind == "overlong-data":
        # A data frame one or more bytes past the limit, CR included.
        payload = random_payload(rng, rng.randint(PAYLOAD_LIMIT + 1, PAYLOAD_LIMIT + 20))
        return data_frame(payload, rng.randint(0, 99), b"1")
    if kind == "foreign":
        return rng.choice([
            b"@ZZ0001I41FOREIGN\r",  # neither a start answer nor data
            b"@DT0001I51WRONGTYPE\r",  # "I5", not "I4"
            b"@DT0001X41WRONGTYPE\r",  # "X4", not "I4"
            b"@BS\r",  # a repeated start answer is not answered
            b"@\r",
        ])
    if kind == "short-dt":
        # Too short to hold the "I4": the checks must not read what an
        # earlier frame left behind.
        return rng.choice([b"@DT\r", b"@DT00\r", b"@DT0001\r", b"@DT0001I\r"])
    if kind == "abandoned":
        frame, _, _, _ = random_frame(rng, random_payload(rng, rng.randint(0, 60)))
        return frame[:-1]
    raise ValueError("unknown noise kind %r" % kind)


def noisy_stream(rng, frames, most=3, kinds=NOISE_KINDS, lead=()):
    """The frames in order, each preceded by up to `most` pieces of noise of
    the given kinds; the first frame is also preceded by one piece of each
    kind in `lead`. An abandoned frame is always the last piece before a
    frame, so that the frame's "@" abandons it: a CR in noise after it would
    complete it into a valid frame."""
    out = bytearray()
    for index, frame in enumerate(frames):
        pieces = [rng.choice(kinds) for _ in range(rng.randint(0, most))]
        if index == 0:
            pieces = list(lead) + pieces
        pieces.sort(key=lambda kind: kind == "abandoned")
        for kind in pieces:
            out += noise_chunk(rng, kind)
        out += frame
    out += noise_chunk(rng, "junk")
    return bytes(out)


def send_chunked(base, data, rng, largest=300):
    """Writes `data` in pieces of random size, as fast as the line takes
    them, so that frames and noise straddle the receiver's reads."""
    i = 0
    while i < len(data):
        n = rng.randint(1, largest)
        base.send_raw(data[i:i + n])
        i += n


if __name__ == "__main__":
    sys.exit(main())
