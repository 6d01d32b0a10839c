"""A reading session end to end: Tamsel.exe under Wine, COM1 on a
pseudo-terminal with the simulated base on the other side, the dialogs read
and answered through the window driver.

What is checked is what the user and the base see: the bytes of the output
file, the acknowledgements, the progress text, the message boxes and the exit
code. Tests of the output file, the line's layout, the command line and the
code page run on one receive path; those in which how the bytes arrive may
matter (noise, the start race, records before the file opens or the timeout)
run on each.
"""

import datetime
import re
import select
import shutil
import time

import pytest

import harness
import simbase
from harness import (APPEND, NEW_NAME, OVERWRITE, assert_ok, parameter_string,
                     settings_file)
from simbase import acknowledgement_for

OUT = "out.txt"


def close_and_exit(session):
    session.dialog.close()
    return session.wait_exit(15)


# --- a normal session ---------------------------------------------------------

@pytest.mark.parametrize("mode, existing, kept, baud, speed", [
    (OVERWRITE, b"OLD LINE\r\n", b"", "1", 115200),
    (APPEND, b"OLD LINE\r\n", b"OLD LINE\r\n", "2", 57600),
    # A last line cut short by a crash is ended, never joined to a record.
    (APPEND, b"A\r\nB", b"A\r\nB\r\n", "3", 38400),
    (NEW_NAME, None, b"", "4", 19200),
], ids=["overwrite", "append", "append-after-torn-line", "new-name"])
def test_records_are_stored_and_acknowledged_in_each_file_mode(session, mode, existing, kept,
                                                               baud, speed):
    if existing is not None:
        session.write_bytes(OUT, existing)
    session.start_reading(parameter_string(session.win_path(OUT), fileMode=mode, baudIndex=baud))
    assert session.line_speed() == speed
    window = session.dialog.wait()
    assert window["minimized"] == "0"
    assert session.dialog.progress() == "Received : 0 record"

    # Unit numbers keep their leading zero; the echo byte comes back as sent.
    frames = [(b"FIRST,1", 7, b"1"), (b"", 12, b"Z"), (b"THIRD 3", 99, b"#")]
    expected = kept
    for count, (payload, unit, echo) in enumerate(frames, start=1):
        record = session.base.send_record(payload, unit=unit, echo=echo)
        assert_ok(record)
        expected += payload + b"\r\n"
        # The line is on disk by the time the base hears "OK".
        assert session.read_bytes(OUT) == expected
        progress = "Received : 1 record" if count == 1 else "Received : %d records" % count
        assert session.dialog.wait_progress(progress) == progress

    assert close_and_exit(session) == 1
    assert session.read_bytes(OUT) == expected
    assert len(session.base.start_commands) == 1
    assert session.base.unexpected == b""


@pytest.mark.parametrize("mode, existing, kept", [
    (APPEND, b"A\r\nB", b"A\r\nB\r\n"),
    (OVERWRITE, b"OLD\r\n", b""),
], ids=["append-after-torn-line", "overwrite"])
def test_output_file_held_a_moment_at_start_is_waited_for(session, mode, existing, kept):
    # A virus scanner or the program that imports the last file holds it,
    # sharing nothing, from just before the start for 0.9 s. A record already
    # on the line is written as soon as the file opens: on a line of its own.
    session.write_bytes(OUT, existing)
    session.base.ack_limit = None  # the queued record waits for the file, by design
    queued = session.base.send_record(b"QUEUED", wait_ack=False)
    session.end_window_later(harness.CAPTION)
    command = '"%s" %s' % (session.exe, parameter_string(session.win_path(OUT), fileMode=mode))
    session.hold(session.win_path(OUT), seconds=0.9,
                      then=["--cmdline", harness.escape(command)])
    session.base.wait_start_command(30)
    session.base.answer_start()
    session.base.collect_pending_acks(10)
    assert_ok(queued)
    assert_ok(session.base.send_record(b"NEXT"))
    assert session.read_bytes(OUT) == kept + b"QUEUED\r\nNEXT\r\n"
    assert session.message_box(timeout_ms=300) is None
    session.dialog.close()
    session.dialog.wait_gone()


@pytest.mark.receive_path
def test_line_noise_and_foreign_frames_get_no_answer(session):
    session.start_reading(parameter_string(session.win_path(OUT)))
    session.dialog.wait()
    session.base.send_raw(
        b"junk\r"  # outside any frame
        b"@ZZ0001I41X\r"  # not a data frame
        b"@DT0001I51NO\r"  # "I5" instead of "I4"
        b"@DT0001I41LOST"  # abandoned: a new "@" restarts the frame
    )
    record = session.base.send_record(b"KEPT", unit=5, echo=b"k")
    assert_ok(record)
    session.base.poll(0.5)
    assert [ack for _, ack in session.base.acks] == [record.ack]
    assert close_and_exit(session) == 1
    assert session.read_bytes(OUT) == b"KEPT\r\n"


def test_path_with_blanks_is_taken_whole_and_the_close_box_ends_the_session(session):
    name = "my data.txt"
    session.start_reading(parameter_string(session.win_path(name), fileMode=NEW_NAME))
    session.dialog.wait()
    assert_ok(session.base.send_record(b"SPACED"))
    session.dialog.close_box()
    assert session.wait_exit(15) == 1
    assert session.read_bytes(name) == b"SPACED\r\n"


# --- line layout ----------------------------------------------------------------

# Date and time elements as named groups, for assert_stamped.
YEAR, YY, MONTH, DAY = r"(?P<Y>\d{4})", r"(?P<y>\d\d)", r"(?P<M>\d\d)", r"(?P<D>\d\d)"
HOUR, MINUTE, SECOND = r"(?P<h>\d\d)", r"(?P<m>\d\d)", r"(?P<s>\d\d)"
YMD = YEAR + "/" + MONTH + "/" + DAY
HMS = HOUR + ":" + MINUTE + ":" + SECOND

STAMP_CASES = [
    # stamps before the data, delimiter between date and time, as in the
    # usual setting
    dict(id="top",
         fields={"stampEnabled": "1"},
         payload=b"ABC123",
         line=YMD + "," + HMS + r",ABC123\r\n"),
    # after the data, no delimiter between the stamps, month-day-year with a
    # two-digit year, other separators, CR alone
    dict(id="bottom",
         fields={"stampEnabled": "1", "stampAtBottom": "1", "separateStamps": "0",
                 "delimiterIndex": "1", "dateStyle": "1", "yearTwoDigits": "1",
                 "dateSepChar": "-", "timeSepChar": ".", "addLineFeed": "0"},
         payload=b"XYZ",
         line="XYZ:" + MONTH + "-" + DAY + "-" + YY + r"\.".join([HOUR, MINUTE, SECOND]) + r"\r"),
    # replacement covers stamps, delimiters and data alike
    dict(id="replace",
         fields={"stampEnabled": "1", "replaceEnabled": "1", "replaceFrom": ",",
                 "replaceTo": ";"},
         payload=b"A,B",
         line=YMD + ";" + HMS + r";A;B\r\n"),
    # the parameter string takes only "0" and "1" for the delimiter and the
    # date style, so "2" leaves both at their defaults; hour and second only,
    # no separators
    dict(id="refused-slots",
         fields={"stampEnabled": "1", "dateStyle": "2", "dateSepOn": "0", "minuteOn": "0",
                 "timeSepOn": "0", "delimiterIndex": "2"},
         payload=b"P",
         line=YEAR + MONTH + DAY + "," + HOUR + SECOND + r",P\r\n"),
    # a blank and a double quote are taken as they stand: the parameter
    # string is neither split at blanks nor stripped of quotes
    dict(id="blank-and-quote",
         fields={"stampEnabled": "1", "dateSepChar": " ", "timeSepChar": '"'},
         payload=b"Q",
         line=" ".join([YEAR, MONTH, DAY]) + "," + '"'.join([HOUR, MINUTE, SECOND]) + r",Q\r\n"),
    # slot 12 switches the stamp off again; replacement of "/" is then idle
    dict(id="off",
         fields={"stampEnabled": "1", "stampEnabledAgain": "0", "replaceEnabled": "1",
                 "replaceFrom": "/", "replaceTo": "-"},
         payload=b"a/b",
         line=r"a-b\r\n"),
]


def assert_stamped(pattern, line, before, after):
    """The line matches `pattern`, and the date and time elements it shows
    (named groups Y, y, M, D, h, m, s) agree with the host's clock at some
    second from just before the record was sent to just after its answer."""
    match = re.fullmatch(pattern, line)
    assert match, "unexpected line %r" % line
    shown = {key: int(value) for key, value in match.groupdict().items() if value is not None}
    moment = before.replace(microsecond=0) - datetime.timedelta(seconds=1)
    while moment <= after + datetime.timedelta(seconds=1):
        expected = {"Y": moment.year, "y": moment.year % 100, "M": moment.month,
                    "D": moment.day, "h": moment.hour, "m": moment.minute, "s": moment.second}
        if all(expected[key] == value for key, value in shown.items()):
            return
        moment += datetime.timedelta(seconds=1)
    raise AssertionError("stamp %r is not the time between %s and %s" % (line, before, after))


def send_timed(session, payload):
    """Sends one record and returns it with the host's time around it."""
    before = datetime.datetime.now()
    record = session.base.send_record(payload)
    return record, before, datetime.datetime.now()


@pytest.mark.parametrize("case", STAMP_CASES, ids=[case["id"] for case in STAMP_CASES])
def test_line_layout_with_stamps_and_replacement(session, case):
    session.start_reading(parameter_string(session.win_path(OUT), **case["fields"]))
    session.dialog.wait()
    record, before, after = send_timed(session, case["payload"])
    assert_ok(record)
    assert close_and_exit(session) == 1
    assert_stamped(case["line"], session.read_bytes(OUT).decode("latin-1"), before, after)


@pytest.mark.receive_path
def test_longest_record_is_stored_whole(session):
    # Both stamps with their delimiters (10 + 1 + 8 + 1) and the longest
    # payload a frame can carry (240) make a 262-byte line with CR and LF.
    session.start_reading(parameter_string(session.win_path(OUT), stampEnabled="1"))
    session.dialog.wait()
    payload = bytes(b"0123456789ABCDEF"[i % 16] for i in range(240))
    record, before, after = send_timed(session, payload)
    assert_ok(record)
    assert close_and_exit(session) == 1
    line = session.read_bytes(OUT).decode("latin-1")
    assert len(line) == 262
    assert_stamped(YMD + "," + HMS + "," + payload.decode() + r"\r\n", line, before, after)


# --- start-up failures ----------------------------------------------------------

@pytest.mark.parametrize("mode, existing, left", [
    (NEW_NAME, None, None),
    (OVERWRITE, b"OLD\r\n", b""),
    (APPEND, b"OLD\r\n", b"OLD\r\n"),
], ids=["new-name", "overwrite", "append"])
def test_silent_base_ends_the_session_after_two_seconds(session, mode, existing, left):
    if existing is not None:
        session.write_bytes(OUT, existing)
    started = session.start_reading(parameter_string(session.win_path(OUT), fileMode=mode),
                                    answer=False)
    text = session.message_box("ok")
    answered = time.monotonic()
    assert text == "Base is not connected!"
    # The driver polled from the start, so the box cannot have come early.
    assert answered - started >= 1.8
    assert session.wait_exit(15) == 1
    if left is None:
        assert not (session.dir / OUT).exists()
    else:
        assert session.read_bytes(OUT) == left
    assert session.base.acks == []


@pytest.mark.receive_path
def test_records_acknowledged_before_the_timeout_are_not_deleted(session):
    # The base never answers the start command but sends two records, which
    # are stored and acknowledged. Deleting the new file afterwards would lose
    # records the base was told were safe.
    session.start_reading(parameter_string(session.win_path(OUT), fileMode=NEW_NAME), answer=False)
    first = session.base.send_record(b"EARLY1")
    second = session.base.send_record(b"EARLY2")
    assert_ok(first)
    assert_ok(second)
    assert session.message_box("ok") == "Base is not connected!"
    assert session.wait_exit(15) == 1
    assert session.read_bytes(OUT) == b"EARLY1\r\nEARLY2\r\n"


@pytest.mark.receive_path
@pytest.mark.rounds(20)
def test_records_that_come_before_the_file_is_open_are_stored(session, round_):
    """A record already waiting on the line when the program opens the port,
    and records that the base sends along with its start answer, reach the
    receiver before the session has opened its file. Each is stored and
    answered "OK"; none is refused for our own order."""
    # Odd rounds append to a file whose last line a crash cut short: the
    # record already on the line still starts a line of its own.
    kept, mode = (b"A\r\nB", APPEND) if round_ % 2 else (b"", OVERWRITE)
    session.write_bytes(OUT, kept)
    queued = session.base.send_record(b"QUEUED-%d" % round_, unit=7, wait_ack=False)
    session.start_reading(parameter_string(session.win_path(OUT), fileMode=mode), answer=False)
    session.base.answer_start()
    at_once = [session.base.send_record(b"AT-ONCE-%d-%d" % (round_, i), wait_ack=False)
               for i in (1, 2)]
    session.base.collect_pending_acks(10)
    for record in [queued] + at_once:
        assert_ok(record)
    assert session.read_bytes(OUT) == (kept and kept + b"\r\n") + b"".join(
        r.payload + b"\r\n" for r in [queued] + at_once)
    assert session.message_box(timeout_ms=300) is None
    assert close_and_exit(session) == 1


@pytest.mark.receive_path
@pytest.mark.parametrize("queued", [False, True], ids=["line-quiet", "record-on-the-line"])
def test_new_name_leaves_an_existing_file_alone(session, queued):
    session.write_bytes(OUT, b"PRECIOUS\r\n")
    # A record already on the line has nowhere to go: it is refused at once,
    # and neither thread waits for the other while the messages are up.
    record = session.base.send_record(b"QUEUED", wait_ack=False) if queued else None
    started = session.start_reading(parameter_string(session.win_path(OUT), fileMode=NEW_NAME))
    expected = ["Failed to create file!\n\nFile already exists!"]
    if queued:
        expected.append("Failed to write file!!")
        session.base.collect_pending_acks(10)
        assert record.ack == acknowledgement_for(1, b"1", b"NG")
    box = session.message_box("none")
    assert box in expected
    # Let the 2-second connection check come due while the box is up: it must
    # neither delete the file nor act a second time.
    time.sleep(max(0.0, started + 2.6 - time.monotonic()))
    answered = [session.message_box("ok") for _ in expected]
    assert sorted(answered) == sorted(expected)
    assert session.wait_exit(15) == 1
    assert session.read_bytes(OUT) == b"PRECIOUS\r\n"
    assert len(session.base.acks) == len(expected) - 1


def test_missing_port_is_reported_even_without_error_messages(session):
    session.unplug_port()
    session.start(parameter_string(session.win_path(OUT), fileMode=NEW_NAME, showErrors="0"))
    assert session.message_box("ok").startswith("Can't open the COM port!\n\nCOM1")
    assert session.wait_exit(15) == 1
    assert not (session.dir / OUT).exists()
    assert session.base.start_commands == []


@pytest.mark.parametrize("started", ["settings-file", "parameter-string"])
def test_session_on_com12(session, started):
    # The adapter is COM12 and COM1 cannot be opened. The settings file keeps
    # the port as "<"; a parameter string whose slot 0 holds no digit keeps it.
    session.move_base_to_com12()
    session.write_bytes("Tamsel.ini", settings_file(session.win_dir, OUT, comPortIndex="<"))
    params = None
    if started == "parameter-string":
        params = parameter_string(session.win_path(OUT), comPortIndex="-")
    session.start_reading(params)
    session.dialog.wait()
    assert_ok(session.base.send_record(b"ON COM12"))
    assert close_and_exit(session) == 1
    assert session.read_bytes(OUT) == b"ON COM12\r\n"


# --- a write that fails ---------------------------------------------------------------

@pytest.mark.parametrize("show_errors", ["1", "0"], ids=["errors-shown", "errors-hidden"])
def test_full_disk_answers_NG_and_keeps_the_session_going(session, show_errors):
    # A one-page tmpfs holding a 3900-byte file: one 152-byte line still
    # fits, the next one does not.
    session.mount_tmpfs("disk", "4k")
    path = session.win_dir + "\\disk\\" + OUT
    prefill = b"p" * 3898 + b"\r\n"
    session.unix_path(path).write_bytes(prefill)
    session.start_reading(parameter_string(path, fileMode=APPEND, viewData="1",
                                            showErrors=show_errors))
    session.dialog.wait()

    assert_ok(session.base.send_record(b"A" * 150))
    # Each refused record is answered at once; the message, if shown, holds
    # the next record back until it is dismissed.
    for unit, echo in [(4, b"2"), (5, b"3")]:
        refused = session.base.send_record(b"B" * 150, unit=unit, echo=echo)
        assert refused.ack == acknowledgement_for(unit, echo, b"NG")
        if show_errors == "1":
            assert session.message_box("ok") == "Failed to write file!!"
        assert session.dialog.progress() == "Received : 1 record"

    written = session.unix_path(path).read_bytes()
    assert written.startswith(prefill + b"A" * 150 + b"\r\n")
    if show_errors == "0":
        # Checked last: Wine's modal loop shows a dialog normally once it
        # goes idle, so a minimised start needs care.
        session.dialog.wait(minimized=True, timeout_ms=3000)

    session.dialog.close()
    assert session.message_box("no") == "Done : 1 records received.\nView the received data?"
    assert session.wait_exit(15) == 1


# --- the end of the session --------------------------------------------------------------

@pytest.mark.word_size
def test_append_beyond_4_gib_lands_at_the_end(session):
    # Sparse: made at once, taking no room on the disk.
    size = 2 ** 32 + 6
    with open(session.dir / OUT, "wb") as f:
        f.write(b"HEAD\r\n")
        f.truncate(size - 2)
        f.seek(size - 2)
        f.write(b"\r\n")
    session.start_reading(parameter_string(session.win_path(OUT), fileMode=APPEND))
    session.dialog.wait()
    assert_ok(session.base.send_record(b"BEYOND"))
    assert close_and_exit(session) == 1
    with open(session.dir / OUT, "rb") as f:
        assert f.read(6) == b"HEAD\r\n"
        f.seek(size - 2)
        assert f.read() == b"\r\nBEYOND\r\n"


@pytest.mark.code_page
@pytest.mark.skipif(not harness.DOUBLE_BYTE, reason="needs a double-byte code page: TAMSEL_LOCALE")
def test_folder_ending_in_a_double_byte_character_receives_the_records(session):
    # "\u8868" in code page 932: its second byte is a backslash's 0x5C.
    folder = session.win_path("\x95\x5c")
    session.unix_path(folder).mkdir()
    session.write_bytes("Tamsel.ini", settings_file(folder, OUT, alwaysShowDialog="0",
                                                    viewData="0"))
    session.start_reading(None)
    session.dialog.wait()
    assert_ok(session.base.send_record(b"IN THE FOLDER"))
    assert close_and_exit(session) == 1
    assert session.unix_path(folder + "\\" + OUT).read_bytes() == b"IN THE FOLDER\r\n"


@pytest.mark.code_page
@pytest.mark.skipif(harness.UTF8, reason="UTF-8 holds every character")
def test_path_outside_the_code_page_is_refused_not_changed(session):
    # "\u0142" is in neither code page 1252 nor 932: best-fitted into it, the
    # path would name "lodz.txt", and Overwrite would empty that file.
    session.write_bytes("lodz.txt", b"KEEP\r\n")
    session.start_reading(parameter_string(session.win_path("\u0142odz.txt")), answer=False)
    assert session.message_box("ok").startswith("File open/create failed!\n\nThe folder and file")
    assert session.wait_exit(15) == 1
    assert session.read_bytes("lodz.txt") == b"KEEP\r\n"
    assert not (session.dir / "\u0142odz.txt").exists()


@pytest.mark.parametrize("name, mode", [("COM2.txt", OVERWRITE), ("data.txt:x", APPEND)],
                         ids=["device", "stream"])
def test_output_that_is_no_file_on_a_disk_is_refused(session, name, mode):
    # "COM2.txt" is the port COM2 in any folder, here a line of its own; a
    # name with ":" is a stream no user would look in. A record waiting on
    # the line must get "NG", and nothing may go out on COM2.
    with simbase.open_pty(str(session.env.com2_link)) as com2:
        record = session.base.send_record(b"NOWHERE", wait_ack=False)
        session.start_reading(parameter_string(session.win_path(name), fileMode=mode))
        session.base.collect_pending_acks(10)
        expected = ["File open/create failed!", "Failed to write file!!"]
        shown = [session.message_box("ok") for _ in expected]
        assert sorted(text.split("\n\n")[0] for text in shown) == sorted(expected)
        assert any("not a file name Tamsel can use" in text for text in shown)
        assert session.wait_exit(15) == 1
        assert record.ack == acknowledgement_for(1, b"1", b"NG")
        assert select.select([com2.master], [], [], 0.2)[0] == [], "bytes went out on COM2"
    assert not (session.dir / "data.txt").exists()


# Another program, not the line: once is enough, and Wine now and then
# fails to start a process at all.
@pytest.mark.word_size
def test_viewing_the_data_opens_it_in_notepad(session):
    name = "viewme.txt"
    # Planted beside the program, in its current folder: never run.
    shutil.copy(session.env.driver_exe, session.dir / "notepad.exe")
    session.start_reading(parameter_string(session.win_path(name), viewData="1"))
    session.dialog.wait()
    assert_ok(session.base.send_record(b"LINE ONE"))
    assert_ok(session.base.send_record(b"LINE TWO"))
    session.dialog.close()
    session.end_window_later(name)
    box = session.message_box("yes")
    assert box == "Done : 2 records received.\nView the received data?"
    assert box.row["buttons"] == "yes,no"
    assert session.wait_exit(15) == 1

    notepad = session.driver("wait-window", "--title-contains", name, timeout_ms=15000)
    assert notepad.ok, "the viewer did not open %s: %r" % (name, notepad)
    listing = session.driver("wait-window", "--title-contains", name, "--controls")
    texts = [row.get("text") for row in listing.rows if row.get("class") == "Edit"]
    assert texts == ["LINE ONE\r\nLINE TWO\r\n"]


def test_declining_to_view_starts_nothing(session):
    name = "noview.txt"
    session.start_reading(parameter_string(session.win_path(name), viewData="1"))
    session.dialog.wait()
    assert_ok(session.base.send_record(b"ONLY"))
    session.dialog.close()
    session.end_window_later(name)
    assert session.message_box("no") == "Done : 1 records received.\nView the received data?"
    assert session.wait_exit(15) == 1
    viewer = session.driver("wait-window", "--title-contains", name, timeout_ms=1500)
    assert viewer.rc == 1, "a viewer opened anyway: %r" % viewer
    assert session.read_bytes(name) == b"ONLY\r\n"


@pytest.mark.parametrize("view, mode, message, left", [
    ("1", NEW_NAME, "No data received!", None),
    ("1", OVERWRITE, "No data received!", b""),
    ("0", NEW_NAME, None, b""),
], ids=["view-new-name", "view-overwrite", "quiet-new-name"])
def test_closing_without_records(session, view, mode, message, left):
    session.start_reading(parameter_string(session.win_path(OUT), viewData=view,
                                            fileMode=mode))
    session.dialog.wait()
    # Past the connection check: the session stays open without data.
    session.base.poll(2.5)
    assert session.running()
    session.dialog.close()
    if message is not None:
        assert session.message_box("ok") == message
    assert session.wait_exit(15) == 1
    if left is None:
        assert not (session.dir / OUT).exists()
    else:
        assert session.read_bytes(OUT) == left


# --- settings file ---------------------------------------------------------------

@pytest.mark.code_page
@pytest.mark.word_size
def test_program_in_a_folder_outside_the_code_page_reads_its_settings(session):
    # A Chinese user's folder on a Western or Japanese Windows: the program's
    # own path cannot be held in the code page, the output path can.
    folder = session.dir / "\u5f20\u4f1f"
    folder.mkdir()
    shutil.move(str(session.dir / "Tamsel.exe"), str(folder / "Tamsel.exe"))
    session.exe = session.win_path("\u5f20\u4f1f\\Tamsel.exe")
    (folder / "Tamsel.ini").write_bytes(settings_file(session.win_dir, OUT, addLineFeed="0"))
    # "-" keeps the saved line ending: only the settings file says CR alone.
    session.start_reading(parameter_string(session.win_path(OUT), addLineFeed="-"))
    session.dialog.wait()
    assert_ok(session.base.send_record(b"FROM AFAR"))
    assert close_and_exit(session) == 1
    assert session.read_bytes(OUT) == b"FROM AFAR\r"


@pytest.mark.word_size
@pytest.mark.parametrize("trailing", ["\\", ""], ids=["dir-with-backslash", "dir-without"])
def test_stored_settings_run_a_session_without_the_dialog(session, trailing):
    # Day-month-year is reachable only through the settings file, as is the
    # backslash delimiter.
    ini = settings_file(session.win_dir + trailing, "fromini.txt", alwaysShowDialog="0",
                        baudIndex="5", fileMode=NEW_NAME, addLineFeed="0", replaceEnabled="1",
                        replaceFrom=",", replaceTo="-", stampEnabled="1", dateStyle="2",
                        dateSepChar=".", delimiterIndex="4")
    session.write_bytes("Tamsel.ini", ini)
    session.start_reading(None)
    assert session.line_speed() == 9600
    session.dialog.wait()
    record, before, after = send_timed(session, b"A,B")
    assert_ok(record)
    assert close_and_exit(session) == 1
    line = DAY + r"\." + MONTH + r"\." + YEAR + r"\\" + HMS + r"\\A-B\r"
    assert_stamped(line, session.read_bytes("fromini.txt").decode("latin-1"), before, after)
    assert session.read_bytes("Tamsel.ini") == ini


# The flash is a window of the program's own, not pixels on the screen.
@pytest.mark.layout
def test_flash_is_a_window_centred_on_the_session_monitor_and_gone_after(session):
    session.start_reading(parameter_string(session.win_path("flash.txt")))
    session.dialog.wait()
    # Twenty records in a row keep a flash up for some four seconds, so that
    # the driver, a Wine process of its own, finds one even when it starts
    # slowly; each flash holds its record's answer for 200 ms.
    records = [session.base.send_record(b"FLASH", wait_ack=False) for _ in range(20)]
    shown = session.driver("wait-window", "--class", "TamselCountFlash", timeout_ms=5000)
    session.base.collect_pending_acks(10)
    for record in records:
        assert_ok(record)
    assert shown.ok, shown.output
    assert re.fullmatch(r"Data received : ([1-9]|1[0-9]|20)", shown.get("title")), shown.output
    left, top, right, bottom = (int(v) for v in shown.get("rect").split(","))
    # One monitor under Wine: the screen's middle, 30 pixels above it, at scale.
    scale = harness.SCALE / 100
    assert bottom - top == round(40 * scale)
    assert abs((left + right) - harness.SCREEN_SIZE[0]) <= 1
    assert (top + bottom) // 2 == harness.SCREEN_SIZE[1] // 2 - round(30 * scale)
    gone = session.driver("wait-gone", "--class", "TamselCountFlash", timeout_ms=2000)
    assert gone.ok, gone.output
    session.dialog.close()
    assert session.wait_exit(20) == 1
