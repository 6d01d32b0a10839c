"""The properties dialog end to end: Tamsel.exe started plainly, with a
Tamsel.ini beside it, or with a parameter string that begins with a comma,
and its dialog driven through the window driver.

What is checked is what the user sees in the dialog, the settings file that
OK leaves beside the program, and the reading session that follows (the
base's start command, the output file where the dialog composed its path).
"""

import os
import re
import shutil
import subprocess

import pytest

import harness

from harness import (APPEND, CANCEL_ID, FILE_DIALOG_NAME_ID, ID, NEW_NAME, OK_ID, SCREEN_SIZE,
                     FileDialog, PropertiesDialog, assert_ok,
                     parameter_string, settings_file)
from simbase import acknowledgement_for

# The date/time panel's controls, shown only in the wide dialog.

# What the program holds with no settings file: the harness's test defaults
# except that the session offers to view the data and the dialog is shown.
PROGRAM_DEFAULTS = {"viewData": "1", "alwaysShowDialog": "1"}


def saved(directory, name, **fields):
    """The bytes OK should write, from the program's defaults and `fields`."""
    return settings_file(directory, name, **dict(PROGRAM_DEFAULTS, **fields))


def open_dialog(session, params=None, ini=None):
    if ini is not None:
        session.write_bytes("Tamsel.ini", ini)
    dialog = PropertiesDialog(session)
    session.start(params, see=dialog.wait)
    return dialog


def read_after_ok(session, records=(), view_data=True, timeout=30, speed=None):
    """After OK: the base takes the start command (the settings file must be
    written by then, and the line runs at `speed` if given), records are sent
    and acknowledged, the session is closed. Returns the settings file as it
    was when the port was opened."""
    session.base.wait_start_command(timeout)
    assert speed is None or session.line_speed() == speed
    ini_at_start = session.read_bytes("Tamsel.ini")
    session.base.answer_start()
    session.dialog.wait()
    for payload in records:
        record = session.base.send_record(payload)
        assert record.ack == acknowledgement_for(record.unit, record.echo, b"OK"), record.ack
    session.dialog.close()
    if view_data:
        assert session.message_box("no" if records else "ok") == (
            "Done : %d records received.\nView the received data?" % len(records) if records
            else "No data received!")
    assert session.wait_exit(20) == 1
    return ini_at_start


def assert_centred(rect):
    left, top, right, bottom = rect
    width, height = right - left, bottom - top
    assert (left, top) == (SCREEN_SIZE[0] // 2 - width // 2, SCREEN_SIZE[1] // 2 - height // 2)


def assert_titles(dialog, date, time):
    assert (dialog.text(ID.DATE_PREVIEW), dialog.text(ID.TIME_PREVIEW)) == (
        "Date Format : " + date, "Time Format : " + time)


# --- opening -------------------------------------------------------------------

LIST_ITEMS = {
    # COM1 to COM9, and COM12, which the test prefix has present.
    ID.COM_PORT: ["COM%d" % n for n in range(1, 10)] + ["COM12"],
    ID.BAUD_RATE: ["115200", "57600", "38400", "19200", "9600"],
    ID.FILE_MODE: ["Overwrite", "Append", "New name"],
    ID.STAMP_POSITION: ["Add to record's top", "Appended to bottom"],
    ID.DELIMITER: ["Comma (,)", "Colon (:)", "Semi-Colon (;)", "Slash (/)", "Back-Slash (\\)"],
    ID.YEAR_DIGITS: ["4 Digits (YYYY)", "2 Digits (YY)"],
    ID.DATE_STYLE: ["Year.Month.Day", "Month.Day.Year", "Day.Month.Year"],
}
CHECK_IDS = [ID.ADD_RETURN, ID.ADD_LINE_FEED, ID.SHOW_ERRORS, ID.VIEW_DATA, ID.ALWAYS_SHOW_DIALOG,
             ID.REPLACE_ENABLED, ID.STAMP_ENABLED, ID.SEPARATE_STAMPS, ID.YEAR_ON, ID.MONTH_ON,
             ID.DAY_ON, ID.DATE_SEPARATOR_ON, ID.HOUR_ON, ID.MINUTE_ON, ID.SECOND_ON,
             ID.TIME_SEPARATOR_ON]
# The edits and lists of the opening cases, in order.
CODE_EDITS = [ID.FILE_NAME, ID.REPLACE_FROM, ID.REPLACE_TO, ID.DATE_SEPARATOR, ID.TIME_SEPARATOR]
LISTS = list(LIST_ITEMS)

OPENING_CASES = [
    dict(id="no-settings-file",
         ini=None,
         edits=dict(zip(CODE_EDITS, ["", "44", "59", "/", ":"])),
         lists=dict(zip(LISTS, [0, 0, 0, 0, 0, 0, 0])),
         checks=[1, 1, 1, 1, 1, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1],
         titles=("YYYY/MM/DD", "HH:MM:SS")),
    # Every field away from its default; a replacement code above 127 must
    # not come back negative.
    dict(id="stored-settings",
         ini=dict(directory="out", name="stored.txt", fields=dict(
             comPortIndex="3", baudIndex="5", fileMode=NEW_NAME, addReturn="0",
             showErrors="0", viewData="1", alwaysShowDialog="1", replaceEnabled="1",
             replaceFrom="A", replaceTo="\xe9", stampEnabled="1", stampAtBottom="1",
             separateStamps="0", delimiterIndex="4", yearTwoDigits="1", monthOn="0",
             dateSepChar="-", dateStyle="2", minuteOn="0", timeSepOn="0", timeSepChar=".")),
         edits=dict(zip(CODE_EDITS, ["stored.txt", "65", "233", "-", "."])),
         lists=dict(zip(LISTS, [2, 4, 2, 1, 4, 1, 2])),
         checks=[0, 1, 0, 1, 1, 1, 1, 0, 1, 0, 1, 1, 1, 0, 1, 0],
         titles=("DD-YY", "HHSS")),
]


@pytest.mark.layout
@pytest.mark.word_size
# A stored code above 127 is a lead byte in code page 932.
@pytest.mark.parametrize("case", [pytest.param(c, id=c["id"], marks=[pytest.mark.code_page] * (
    c["id"] == "stored-settings")) for c in OPENING_CASES])
def test_opening_shows_the_settings_narrow_and_centred(session, case):
    directory = session.win_dir + "\\"
    ini = None
    if case["ini"]:
        directory = session.win_path(case["ini"]["directory"])
        ini = settings_file(directory, case["ini"]["name"], **case["ini"]["fields"])
    dialog = open_dialog(session, ini=ini)

    assert dialog.text(ID.DIRECTORY) == directory
    for control_id, text in case["edits"].items():
        assert (control_id, dialog.text(control_id)) == (control_id, text)
    for control_id, selected in case["lists"].items():
        assert (control_id, dialog.combo(control_id)) == (
            control_id, (selected, LIST_ITEMS[control_id]))
    assert [dialog.checked(i) for i in CHECK_IDS] == case["checks"]
    assert_titles(dialog, *case["titles"])
    assert dialog.text(ID.TOGGLE_PANEL) == ">>"

    # Narrow: the left-hand panel, OK and Cancel inside, the date/time panel
    # cut off.
    assert_centred(dialog.rect())
    client_width, client_height = dialog.client_size()
    for control_id in (ID.TOGGLE_PANEL, OK_ID, CANCEL_ID):
        right, bottom = dialog.control_rect(control_id)[2:]
        assert (control_id, right <= client_width, bottom <= client_height) == (
            control_id, True, True)
    for control_id in (ID.STAMP_POSITION, ID.DATE_PREVIEW, ID.TIME_PREVIEW):
        # The cut is the panel's width in the dialog's own font, whatever
        # font stands in for "MS Shell Dlg".
        assert dialog.control_rect(control_id)[0] >= client_width, (
            "control %d shows in the narrow dialog" % control_id)
    # The edge lies nearer the cut-off panel than the left-hand one: no
    # band of empty dialog beside the left-hand panel.
    left_end = max(dialog.control_rect(c)[2] for c in (ID.TOGGLE_PANEL, OK_ID, CANCEL_ID))
    panel_start = min(dialog.control_rect(c)[0] for c in (ID.STAMP_POSITION, ID.DATE_PREVIEW))
    assert (left_end + panel_start) / 2 < client_width, (left_end, client_width, panel_start)
    assert dialog.focus() == str(ID.DIRECTORY)

    dialog.press(CANCEL_ID, post=True)
    assert session.wait_exit(20) == 1


@pytest.mark.layout
def test_panel_toggle_widens_and_narrows_by_a_fixed_amount(session):
    dialog = open_dialog(session)
    narrow = dialog.rect()
    width, height = narrow[2] - narrow[0], narrow[3] - narrow[1]

    dialog.press(ID.TOGGLE_PANEL)
    wide = dialog.rect()
    assert dialog.text(ID.TOGGLE_PANEL) == "<<"
    assert wide[2] - wide[0] > width and wide[3] - wide[1] == height
    assert_centred(wide)
    # The whole panel shows, and ends at the dialog's edge with a margin no
    # wider than twice the one on the left: no band of empty dialog.
    client_width = dialog.client_size()[0]
    panel = [dialog.control_rect(c) for c in (ID.STAMP_POSITION, ID.DELIMITER, ID.DATE_PREVIEW,
                                               ID.TIME_PREVIEW, ID.TIME_SEPARATOR)]
    left_margin = dialog.control_rect(ID.DIRECTORY)[0]
    assert 0 <= client_width - max(right for _, _, right, _ in panel) <= 2 * left_margin, (
        client_width, panel, left_margin)

    dialog.press(ID.TOGGLE_PANEL)
    assert dialog.text(ID.TOGGLE_PANEL) == ">>"
    assert dialog.rect() == narrow
    dialog.press(ID.TOGGLE_PANEL)
    assert (dialog.text(ID.TOGGLE_PANEL), dialog.rect()) == ("<<", wide)

    dialog.press(CANCEL_ID, post=True)
    assert session.wait_exit(20) == 1


# --- edits corrected in place ----------------------------------------------------

def test_replacement_codes_are_clamped_undone_or_kept(session):
    dialog = open_dialog(session)
    # (edit, how, text, shown afterwards)
    steps = [
        (ID.REPLACE_FROM, "set", "x", "44"),  # not a number: undone
        (ID.REPLACE_FROM, "set", "300", "255"),  # clamped
        (ID.REPLACE_FROM, "set", "", ""),  # emptied: stays empty, the code is kept
        (ID.REPLACE_TO, "type", "7", "255"),  # 597
        (ID.REPLACE_TO, "set", "0", "0"),  # the lowest code is accepted as it stands
        (ID.REPLACE_TO, "type", "9", "09"),  # stored as 9, shown as typed
        (ID.REPLACE_TO, "set", "3000000000", "0"),  # negative as a signed 32-bit value
        (ID.REPLACE_TO, "set", "98", "98"),
    ]
    for control_id, how, text, shown in steps:
        if how == "set":
            now = dialog.set_text(control_id, text)
        else:
            now = dialog.type(control_id, text)
        assert (control_id, text, now) == (control_id, text, shown)
        assert dialog.text(control_id) == shown

    dialog.set_text(ID.DIRECTORY, session.win_dir)
    dialog.set_text(ID.FILE_NAME, "codes.txt")
    dialog.press(OK_ID, post=True)
    ini = read_after_ok(session)
    assert ini == saved(session.win_dir, "codes.txt", replaceFrom="\xff", replaceTo="b")


@pytest.mark.code_page
def test_separator_edits_keep_one_character(session):
    dialog = open_dialog(session)
    # (edit, how, text, position, shown afterwards, date title, time title)
    steps = [
        (ID.DATE_SEPARATOR, "type", "-", None, "/", "YYYY/MM/DD", "HH:MM:SS"),  # behind: dropped
        (ID.DATE_SEPARATOR, "type", "-", 0, "-", "YYYY-MM-DD", "HH:MM:SS"),  # in front: kept
        (ID.DATE_SEPARATOR, "set", ".,", None, ".", "YYYY.MM.DD", "HH:MM:SS"),
        (ID.DATE_SEPARATOR, "set", "", None, "", "YYYYMMDD", "HH:MM:SS"),  # emptied: no separator
        (ID.DATE_SEPARATOR, "type", " ", None, " ", "YYYY MM DD", "HH:MM:SS"),
        # A title shows "&&" as one "&", never as a keyboard shortcut.
        (ID.TIME_SEPARATOR, "set", "&", None, "&", "YYYY MM DD", "HH&&MM&&SS"),
        (ID.TIME_SEPARATOR, "set", "h", None, "h", "YYYY MM DD", "HHhMMhSS"),
        (ID.TIME_SEPARATOR, "type", "m", None, "h", "YYYY MM DD", "HHhMMhSS"),
    ]
    if harness.DOUBLE_BYTE:
        # A two-byte character (a full-width colon in code page 932) is no
        # separator: the one before stays, whole.
        steps.append((ID.TIME_SEPARATOR, "set", "\x81\x46", None, "h", "YYYY MM DD", "HHhMMhSS"))
    if harness.UTF8:
        # "\u00e9" is two bytes in UTF-8: refused whole, never a stray byte.
        steps.append((ID.TIME_SEPARATOR, "set", "\xc3\xa9", None, "h", "YYYY MM DD", "HHhMMhSS"))
    for control_id, how, text, at, shown, date, time in steps:
        if how == "set":
            now = dialog.set_text(control_id, text)
        else:
            now = dialog.type(control_id, text, at=at)
        assert (control_id, text, now) == (control_id, text, shown)
        assert_titles(dialog, date, time)
    assert dialog.checked(ID.DATE_SEPARATOR_ON) == 1

    dialog.set_text(ID.DIRECTORY, session.win_dir)
    dialog.set_text(ID.FILE_NAME, "seps.txt")
    dialog.press(OK_ID, post=True)
    ini = read_after_ok(session)
    assert ini == saved(session.win_dir, "seps.txt", dateSepChar=" ", timeSepChar="h")


def test_previews_follow_the_stamp_layout(session):
    dialog = open_dialog(session)
    dialog.press(ID.TOGGLE_PANEL)
    # Each step builds on the one before: (control, action, date, time).
    steps = [
        (ID.YEAR_ON, "click", "MM/DD", "HH:MM:SS"),  # year off
        (ID.YEAR_ON, "click", "YYYY/MM/DD", "HH:MM:SS"),
        (ID.YEAR_DIGITS, 1, "YY/MM/DD", "HH:MM:SS"),  # two-digit year
        (ID.DATE_STYLE, 1, "MM/DD/YY", "HH:MM:SS"),
        (ID.DATE_STYLE, 2, "DD/MM/YY", "HH:MM:SS"),
        (ID.MONTH_ON, "click", "DD/YY", "HH:MM:SS"),  # month off
        (ID.YEAR_DIGITS, 0, "DD/YYYY", "HH:MM:SS"),
        (ID.DATE_SEPARATOR_ON, "click", "DDYYYY", "HH:MM:SS"),  # separator off
        (ID.MONTH_ON, "click", "DDMMYYYY", "HH:MM:SS"),
        (ID.DATE_SEPARATOR_ON, "click", "DD/MM/YYYY", "HH:MM:SS"),
        (ID.DATE_STYLE, 0, "YYYY/MM/DD", "HH:MM:SS"),
        (ID.YEAR_ON, "click", "MM/DD", "HH:MM:SS"),
        (ID.MONTH_ON, "click", "DD", "HH:MM:SS"),  # one element: no separator
        (ID.DAY_ON, "click", "", "HH:MM:SS"),  # none: the prefix alone
        (ID.SEPARATE_STAMPS, "click", "", "HH:MM:SS"),
        (ID.HOUR_ON, "click", "", "MM:SS"),  # hour off
        (ID.HOUR_ON, "click", "", "HH:MM:SS"),
        (ID.MINUTE_ON, "click", "", "HH:SS"),  # minute off
        (ID.HOUR_ON, "click", "", "SS"),
        (ID.SECOND_ON, "click", "", ""),
        (ID.SECOND_ON, "click", "", "SS"),
        (ID.MINUTE_ON, "click", "", "MM:SS"),
        (ID.TIME_SEPARATOR_ON, "click", "", "MMSS"),  # separator off
        (ID.HOUR_ON, "click", "", "HHMMSS"),
    ]
    for control_id, action, date, time in steps:
        if action == "click":
            before = dialog.checked(control_id)
            dialog.press(control_id)
            assert dialog.checked(control_id) == 1 - before
        else:
            dialog.choose(control_id, action)
        assert (control_id, dialog.text(ID.DATE_PREVIEW), dialog.text(ID.TIME_PREVIEW)) == (
            control_id, "Date Format : " + date, "Time Format : " + time)

    # The other lists of the panel are stored at once as well.
    dialog.choose(ID.STAMP_POSITION, 1)
    dialog.choose(ID.DELIMITER, 3)
    dialog.set_text(ID.DIRECTORY, session.win_dir)
    dialog.set_text(ID.FILE_NAME, "layout.txt")
    dialog.press(OK_ID, post=True)
    ini = read_after_ok(session)
    assert ini == saved(session.win_dir, "layout.txt", stampAtBottom="1", separateStamps="0",
                        delimiterIndex="3", yearOn="0", monthOn="0", dayOn="0",
                        timeSepOn="0")


# --- OK -----------------------------------------------------------------------------

@pytest.mark.word_size
def test_ok_saves_every_setting_and_then_reads(session):
    (session.dir / "data").mkdir()
    (session.dir / "data" / "props.txt").write_bytes(b"OLD\r\n")
    dialog = open_dialog(session)
    # A trailing backslash typed into the directory: one backslash in the
    # composed path, the text stored as typed.
    directory = session.win_path("data") + "\\"
    dialog.set_text(ID.DIRECTORY, directory)
    dialog.set_text(ID.FILE_NAME, "props.txt")
    dialog.choose(ID.BAUD_RATE, 3)
    dialog.choose(ID.FILE_MODE, 1)
    # Check boxes flip at once; what they show is stored on OK.
    for control_id, shown in [(ID.ADD_RETURN, 0), (ID.VIEW_DATA, 0), (ID.ALWAYS_SHOW_DIALOG, 0),
                              (ID.REPLACE_ENABLED, 1), (ID.ADD_RETURN, 1), (ID.ADD_RETURN, 0)]:
        dialog.press(control_id)
        assert dialog.checked(control_id) == shown
    dialog.set_text(ID.REPLACE_FROM, "65")
    dialog.set_text(ID.REPLACE_TO, "66")
    dialog.press(OK_ID, post=True)

    # The fourth item of the list, "19200", is the line's speed.
    ini = read_after_ok(session, records=[b"A,BA"], view_data=False, speed=19200)
    expected = saved(directory, "props.txt", baudIndex="4", fileMode=APPEND, addReturn="0",
                     viewData="0", alwaysShowDialog="0", replaceEnabled="1",
                     replaceFrom="A", replaceTo="B")
    assert ini == expected
    assert session.read_bytes("Tamsel.ini") == expected
    assert not (session.dir / "Tamsel.ini.new").exists()
    assert (session.dir / "data" / "props.txt").read_bytes() == b"OLD\r\nB,BB\n"


def test_save_that_cannot_write_the_new_file_keeps_the_old_one(session):
    # A folder where the save writes the new settings first: the save fails,
    # and says so once, naming the folder and one that can be written; the
    # old file stays as it was and the reading still starts.
    old = settings_file(session.win_dir, "old.txt", alwaysShowDialog="1", viewData="0")
    (session.dir / "Tamsel.ini.new").mkdir()
    dialog = open_dialog(session, ini=old)
    dialog.set_text(ID.FILE_NAME, "new.txt")
    dialog.press(ID.ADD_RETURN)
    dialog.press(OK_ID, post=True)
    box = session.message_box("ok")
    assert box.startswith("Tamsel.ini cannot be saved in %s\\\n\n" % session.win_dir), box
    assert "such as C:\\Tamsel" in box
    assert read_after_ok(session, records=[b"STILL READS"], view_data=False) == old
    assert session.read_bytes("Tamsel.ini") == old
    assert session.read_bytes("new.txt") == b"STILL READS\n"


@pytest.mark.word_size
def test_save_waits_out_a_program_that_holds_the_old_file_a_moment(session):
    # A virus scanner or a sync client holds Tamsel.ini, sharing nothing,
    # for 300 ms from just before OK: the new settings still land.
    old = settings_file(session.win_dir, "old.txt", alwaysShowDialog="1", viewData="0")
    dialog = open_dialog(session, ini=old)
    dialog.set_text(ID.FILE_NAME, "new.txt")
    dialog.press(ID.ADD_RETURN)
    session.hold(session.win_path("Tamsel.ini"), seconds=0.3,
                      then=dialog.select + ["--id", OK_ID])
    expected = saved(session.win_dir, "new.txt", addReturn="0", viewData="0")
    assert read_after_ok(session, records=[b"SAVED"], view_data=False) == expected
    assert not (session.dir / "Tamsel.ini.new").exists()


@pytest.mark.word_size
def test_settings_file_held_at_start_is_waited_for(session):
    # A second Tamsel, a sync client or a virus scanner holds Tamsel.ini,
    # sharing nothing, as the program starts (in well under the 0.8 s), and
    # then lets go: the program waits for it rather than show the defaults,
    # which OK would save over the user's settings.
    session.write_bytes("Tamsel.ini", settings_file(session.win_dir, "kept.txt",
                                                    alwaysShowDialog="1"))
    session.end_window_later(harness.CAPTION)
    session.hold(session.win_path("Tamsel.ini"), seconds=0.8,
                      then=["--cmdline", harness.escape('"%s"' % session.exe)])
    dialog = PropertiesDialog(session)
    dialog.wait()
    assert dialog.text(ID.FILE_NAME) == "kept.txt"
    dialog.press(CANCEL_ID, post=True)


def test_long_file_name_is_taken_whole_on_ok(session):
    # Longer than the edit shows: cutting it would send the records to
    # another file than the one named in the dialog.
    dialog = open_dialog(session)
    name = "".join("%d" % (i % 10) for i in range(70))
    dialog.set_text(ID.DIRECTORY, session.win_dir)
    assert dialog.set_text(ID.FILE_NAME, name) == name
    dialog.press(ID.VIEW_DATA)
    dialog.press(OK_ID, post=True)
    ini = read_after_ok(session, records=[b"LONG NAME"], view_data=False)
    assert ini == saved(session.win_dir, name, viewData="0")
    assert session.read_bytes(name) == b"LONG NAME\r\n"


@pytest.mark.code_page
@pytest.mark.word_size
def test_program_folder_outside_the_code_page_is_the_default_and_keeps_the_settings(session):
    # A Chinese user's folder on a Western or Japanese Windows: the default
    # output folder is the program's folder as the code page holds it (its
    # short name), and OK saves Tamsel.ini beside the program.
    folder = session.dir / "\u5f20\u4f1f"
    folder.mkdir()
    shutil.move(str(session.dir / "Tamsel.exe"), str(folder / "Tamsel.exe"))
    session.exe = session.win_path("\u5f20\u4f1f\\Tamsel.exe")
    dialog = open_dialog(session)
    directory = dialog.text(ID.DIRECTORY)
    assert directory.endswith("\\") and "?" not in directory, directory
    dialog.set_text(ID.FILE_NAME, "beside.txt")
    dialog.press(OK_ID, post=True)
    session.base.wait_start_command(30)
    session.base.answer_start()
    session.dialog.wait()
    assert_ok(session.base.send_record(b"BESIDE"))
    session.dialog.close()
    assert session.message_box("no") == "Done : 1 records received.\nView the received data?"
    assert session.wait_exit(20) == 1
    assert (folder / "Tamsel.ini").read_bytes() == saved(directory, "beside.txt")
    assert (folder / "beside.txt").read_bytes() == b"BESIDE\r\n"


def test_empty_directory_composes_the_file_name_alone(session):
    # The name alone is a path relative to the program's working folder,
    # here the test's folder.
    dialog = open_dialog(session)
    dialog.set_text(ID.DIRECTORY, "")
    dialog.set_text(ID.FILE_NAME, "relative.txt")
    dialog.press(ID.VIEW_DATA)
    dialog.press(OK_ID, post=True)
    ini = read_after_ok(session, records=[b"HERE"], view_data=False)
    assert ini == saved("", "relative.txt", viewData="0")
    assert session.read_bytes("relative.txt") == b"HERE\r\n"


@pytest.mark.parametrize("cause", ["missing", "held"])
def test_a_port_that_cannot_be_opened_brings_the_dialog_back(session, cause):
    # Saved before the port is opened; then the cause, and the dialog again
    # as it was, on the port, rather than the end of the program.
    # Missing: the saved COM40, which no driver has; held: COM1, by another
    # program.
    holder = ini = None
    if cause == "missing":
        ini = saved(session.win_dir, "old.txt", comPortIndex="X")
    else:
        holder = session.hold()
    try:
        dialog = open_dialog(session, ini=ini)
        dialog.set_text(ID.DIRECTORY, session.win_dir)
        dialog.set_text(ID.FILE_NAME, "noport.txt")
        dialog.press(ID.STAMP_ENABLED)
        dialog.press(OK_ID, post=True)
        told = "COM40 is not there" if cause == "missing" else "COM1 is in use by another program"
        box = session.message_box("ok")
        assert box.startswith("Can't open the COM port!\n\n%s." % told), box
        dialog.wait()
        assert dialog.wait_focus(ID.COM_PORT) == str(ID.COM_PORT)
        assert (dialog.text(ID.FILE_NAME), dialog.checked(ID.STAMP_ENABLED)) == ("noport.txt", 1)
        assert session.read_bytes("Tamsel.ini") == saved(
            session.win_dir, "noport.txt", stampEnabled="1",
            comPortIndex="X" if cause == "missing" else "1")
        dialog.press(CANCEL_ID, post=True)
        assert session.wait_exit(20) == 1
    finally:
        if holder is not None:
            harness.end_process(holder)
    assert not (session.dir / "noport.txt").exists()
    assert session.base.start_commands == []


# The present ports come through the registry's and SetupAPI's records,
# whose sizes differ in the 32-bit program.
@pytest.mark.word_size
def test_a_present_port_above_com9_is_listed_and_saved(session):
    session.move_base_to_com12()
    dialog = open_dialog(session, ini=saved(session.win_dir, "high.txt", viewData="0"))
    selected, items = dialog.combo(ID.COM_PORT)
    assert (selected, items[9:]) == (0, ["COM12"])
    # One plugged in while the dialog is open shows as the list drops down.
    with session.env.present_port("COM21"):
        dialog.drop_down(ID.COM_PORT)
        assert dialog.combo(ID.COM_PORT) == (0, items + ["COM21"])
    dialog.choose(ID.COM_PORT, 9)
    dialog.press(OK_ID)
    ini = read_after_ok(session, records=[b"TWELVE"], view_data=False)
    assert ini == saved(session.win_dir, "high.txt", viewData="0", comPortIndex="<")
    assert session.read_bytes("high.txt") == b"TWELVE\r\n"


def test_an_empty_file_name_is_refused(session):
    dialog = open_dialog(session)
    dialog.set_text(ID.FILE_NAME, "")
    dialog.press(OK_ID)
    assert dialog.wait_focus(ID.FILE_NAME) == str(ID.FILE_NAME)
    assert dialog.is_open()
    dialog.press(CANCEL_ID)
    assert session.wait_exit(20) == 1
    assert session.base.start_commands == []
    assert not (session.dir / "Tamsel.ini").exists()


@pytest.mark.parametrize("how", ["cancel-button", "escape", "close-box"])
def test_cancel_saves_nothing_and_opens_no_port(session, how):
    ini = settings_file(session.win_dir, "kept.txt", alwaysShowDialog="1", fileMode=NEW_NAME)
    dialog = open_dialog(session, ini=ini)
    dialog.press(ID.ADD_RETURN)
    dialog.choose(ID.DATE_STYLE, 2)
    dialog.set_text(ID.REPLACE_FROM, "100")
    dialog.set_text(ID.DIRECTORY, "C:\\elsewhere")
    dialog.press(ID.TOGGLE_PANEL)
    if how == "cancel-button":
        dialog.press(CANCEL_ID, post=True)
    elif how == "escape":
        dialog.keys("escape", post=True)
    else:
        dialog.close_box()
    assert session.wait_exit(20) == 1
    assert session.read_bytes("Tamsel.ini") == ini
    assert not (session.dir / "kept.txt").exists()
    session.base.poll(0.5)
    assert bytes(session.base.received) == b""


def test_leading_comma_brings_the_dialog_back_and_ok_saves_the_string(session):
    ini = settings_file(session.win_dir, "fromini.txt", alwaysShowDialog="0")
    fields = dict(alwaysShowDialog="1", baudIndex="2", fileMode=NEW_NAME, addReturn="0",
                  viewData="0", replaceEnabled="1", replaceFrom="x", replaceTo="y",
                  yearTwoDigits="1", dateSepChar="-", dateStyle="1", timeSepChar=".")
    dialog = open_dialog(session, params=parameter_string("", **fields), ini=ini)

    assert (dialog.text(ID.DIRECTORY), dialog.text(ID.FILE_NAME)) == ("", "")
    lists = (ID.BAUD_RATE, ID.FILE_MODE, ID.YEAR_DIGITS, ID.DATE_STYLE)
    assert [dialog.combo(i)[0] for i in lists] == [1, 2, 1, 1]
    checks = (ID.ADD_RETURN, ID.VIEW_DATA, ID.ALWAYS_SHOW_DIALOG, ID.REPLACE_ENABLED)
    assert [dialog.checked(i) for i in checks] == [0, 0, 1, 1]
    assert [dialog.text(i) for i in CODE_EDITS[1:]] == ["120", "121", "-", "."]
    assert_titles(dialog, "MM-DD-YY", "HH.MM.SS")

    dialog.set_text(ID.DIRECTORY, session.win_dir)
    dialog.set_text(ID.FILE_NAME, "typed.txt")
    dialog.press(OK_ID, post=True)
    saved_ini = read_after_ok(session, records=[b"x1x"], view_data=False)
    assert saved_ini == settings_file(session.win_dir, "typed.txt", **fields)
    assert session.read_bytes("typed.txt") == b"y1y\n"
    assert not (session.dir / "fromini.txt").exists()


@pytest.mark.parametrize("baud, speed", [("6", 4800), ("7", 2400), ("8", 1200)],
                         ids=["6", "7", "8"])
def test_baud_rate_outside_the_list_opens_unselected_and_is_kept(session, baud, speed):
    ini = settings_file(session.win_dir, "slow.txt", baudIndex=baud, alwaysShowDialog="1")
    dialog = open_dialog(session, ini=ini)
    assert dialog.combo(ID.BAUD_RATE)[0] == -1
    assert dialog.text(ID.BAUD_RATE) == ""
    dialog.press(OK_ID, post=True)
    # Nothing changed in the dialog: the file comes back as it was.
    assert read_after_ok(session, records=[b"SLOW"], view_data=False, speed=speed) == ini
    assert session.read_bytes("slow.txt") == b"SLOW\r\n"


def test_composed_path_too_long_keeps_the_dialog_open(session):
    # A folder name that brings the directory to 200 characters, and a file
    # name that makes the composed path one character too long.
    folder = "L" * (200 - len(session.win_dir) - 1)
    (session.dir / folder).mkdir()
    directory = session.win_path(folder)
    name = "n" * (256 - len(directory) - 1 - 4) + ".txt"
    assert len(directory) + 1 + len(name) == 256

    dialog = open_dialog(session)
    dialog.press(ID.VIEW_DATA)
    dialog.set_text(ID.DIRECTORY, directory)
    dialog.set_text(ID.FILE_NAME, name)
    # The focus leaves the directory edit.
    dialog.keys("tab=%d" % ID.BROWSE, post=True, control_id=ID.DIRECTORY)
    dialog.press(OK_ID, post=True)
    assert dialog.wait_focus(ID.DIRECTORY) == str(ID.DIRECTORY)
    session.base.poll(1.0)
    assert dialog.is_open()
    assert session.running()
    assert bytes(session.base.received) == b""
    assert not (session.dir / "Tamsel.ini").exists()

    # 255 characters fit.
    dialog.set_text(ID.FILE_NAME, name[1:])
    dialog.press(OK_ID, post=True)
    ini = read_after_ok(session, records=[b"LONG"], view_data=False)
    assert ini == saved(directory, name[1:], viewData="0")
    assert (session.dir / folder / name[1:]).read_bytes() == b"LONG\r\n"


# --- Browse ----------------------------------------------------------------------------

# (typed into the edits before Browse, what is typed into the file dialog
# (None: cancelled), edits ID.DIRECTORY and ID.FILE_NAME afterwards). "{dir}" is the test's
# folder, "{root}" a unique name for a file in the root of drive C:.
BROWSE_CASES = [
    dict(id="folder", typed="unconfirmed.txt", choose="{dir}\\picked\\chosen.txt",
         directory="{dir}\\picked", name="chosen.txt"),
    # The default extension is added; the platform picks its case.
    dict(id="no-extension", typed=None, choose="{dir}\\picked\\noext",
         directory="{dir}\\picked", name="noext.txt"),
    dict(id="drive-root", typed=None, choose="C:\\{root}", directory="C:", name="{root}"),
    dict(id="cancelled", typed="unconfirmed.txt", choose=None,
         directory="{dir}\\start", name="unconfirmed.txt"),
]
# A folder of characters of several bytes, as the program holds them: one
# whose last character's second byte is 0x5C ("\u8868" in code page 932),
# split where the name starts, not at that byte; "\u00e9t\u00e9" in UTF-8.
WIDE_FOLDER = {"cp932": "\x95\x5c", "utf-8": "\xc3\xa9t\xc3\xa9"}.get(harness.CODE_PAGE)
if WIDE_FOLDER:
    BROWSE_CASES.append(dict(id="multi-byte-folder", typed=None,
                             choose="{dir}\\%s\\chosen.txt" % WIDE_FOLDER,
                             directory="{dir}\\" + WIDE_FOLDER, name="chosen.txt"))


@pytest.mark.word_size
@pytest.mark.parametrize("case", [pytest.param(c, id=c["id"], marks=[pytest.mark.code_page] * (
    c["id"] == "multi-byte-folder")) for c in BROWSE_CASES])
def test_browse_fills_directory_and_name(session, case):
    (session.dir / "start").mkdir()
    (session.dir / "picked").mkdir()
    if WIDE_FOLDER:
        session.unix_path(session.win_path(WIDE_FOLDER)).mkdir()
    root_name = "tamsel-root-%d-%s.txt" % (os.getpid(), case["id"])
    root_file = session.env.drive_c / root_name

    def fill(text):
        return text.format(dir=session.win_dir, root=root_name)

    ini = settings_file(session.win_path("start"), "stored.txt", alwaysShowDialog="1")
    dialog = open_dialog(session, ini=ini)
    if case["typed"]:
        dialog.set_text(ID.FILE_NAME, case["typed"])
    dialog.press(ID.BROWSE, post=True)
    chooser = FileDialog(session)
    chooser.wait()
    # It starts from the stored settings, not from what the edits hold.
    assert chooser.text(FILE_DIALOG_NAME_ID) == "stored.txt"
    assert chooser.text(1137) == "start"
    try:
        if case["choose"] is None:
            chooser.cancel()
        else:
            chooser.choose(fill(case["choose"]))
        directory, name = fill(case["directory"]), fill(case["name"])
        assert dialog.text(ID.DIRECTORY) == directory
        assert dialog.text(ID.FILE_NAME).lower() == name.lower()
        name = dialog.text(ID.FILE_NAME)

        dialog.press(OK_ID, post=True)
        saved_ini = read_after_ok(session, records=[b"BROWSED"], view_data=False)
        assert saved_ini == settings_file(directory, name, alwaysShowDialog="1")
        path = directory + "\\" + name
        assert session.unix_path(path).read_bytes() == b"BROWSED\r\n"
    finally:
        if root_file.exists():
            root_file.unlink()


# --- the keyboard --------------------------------------------------------------------

# The tab stops in the template's order, from the directory edit, where the
# dialog puts the focus, round to it again: with the date/time panel cut off,
# its controls are hidden and Tab passes from ">>" to OK.
PANEL_TAB_STOPS = [ID.STAMP_POSITION, ID.DELIMITER, ID.SEPARATE_STAMPS, ID.YEAR_ON,
                   ID.YEAR_DIGITS, ID.MONTH_ON, ID.DAY_ON, ID.DATE_SEPARATOR_ON,
                   ID.DATE_SEPARATOR, ID.DATE_STYLE, ID.HOUR_ON, ID.MINUTE_ON, ID.SECOND_ON,
                   ID.TIME_SEPARATOR_ON, ID.TIME_SEPARATOR]
TAB_ORDER = [ID.DIRECTORY, ID.BROWSE, ID.FILE_NAME, ID.COM_PORT, ID.BAUD_RATE, ID.FILE_MODE,
             ID.ADD_RETURN, ID.ADD_LINE_FEED, ID.SHOW_ERRORS, ID.VIEW_DATA,
             ID.ALWAYS_SHOW_DIALOG, ID.REPLACE_ENABLED, ID.REPLACE_FROM, ID.REPLACE_TO,
             ID.STAMP_ENABLED, ID.TOGGLE_PANEL, OK_ID, CANCEL_ID, ID.DIRECTORY]
# Each mnemonic and the control it reaches, with the state that a check box
# then shows (None: no check box), from the settings the walk opens with.
MNEMONICS = [("f", ID.FILE_NAME, None), ("c", ID.COM_PORT, None), ("b", ID.BAUD_RATE, None),
             ("m", ID.FILE_MODE, None), ("r", ID.ADD_RETURN, 0), ("l", ID.ADD_LINE_FEED, 0),
             ("s", ID.SHOW_ERRORS, 0), ("v", ID.VIEW_DATA, 1), ("a", ID.ALWAYS_SHOW_DIALOG, 0),
             ("p", ID.REPLACE_ENABLED, 1), ("t", ID.STAMP_ENABLED, 1), ("d", ID.DIRECTORY, None)]


def key_walk():
    """Every tab stop in turn; then each mnemonic from the control before it,
    and again from the next tab stop, so that the search for it passes every
    other control first and a second control with the same mnemonic would
    take the focus (a check box flips, then flips back); Space flips the
    date and time stamp. Down moves on within a group and wraps round to its
    start, not into the next group: tried after the two buttons that end a
    group (elsewhere an edit or a list takes the arrows for itself). Wine
    stops on a group's label on the way, the hidden one that names the edit
    as well; the Downs that the edit then takes make the step hold whether a
    label is passed over or not."""
    steps = ["tab=%d" % control for control in TAB_ORDER[1:]]
    for letter, control, flipped in MNEMONICS:
        shown = ("", "") if flipped is None else ("/%d" % flipped, "/%d" % (1 - flipped))
        steps += ["alt+%s=%d%s" % (letter, control, shown[0]),
                  "tab=%d" % TAB_ORDER[TAB_ORDER.index(control) + 1],
                  "alt+%s=%d%s" % (letter, control, shown[1])]
        if control == ID.STAMP_ENABLED:
            steps += ["space=%d/1" % control,
                      "down=%d" % ID.TOGGLE_PANEL, "down", "down", "down=%d" % ID.REPLACE_TO]
    steps += ["tab=%d" % ID.BROWSE, "down", "down=%d" % ID.DIRECTORY]
    # ">>" shows the panel: Tab walks through it to OK; "<<" hides it again,
    # and Tab passes from there to OK once more.
    steps += ["shift+tab=%d" % control for control in (CANCEL_ID, OK_ID, ID.TOGGLE_PANEL)]
    steps += ["space=%d" % ID.TOGGLE_PANEL]
    steps += ["tab=%d" % control for control in PANEL_TAB_STOPS + [OK_ID]]
    steps += ["alt+t=%d/0" % ID.STAMP_ENABLED, "space=%d/1" % ID.STAMP_ENABLED,
              "tab=%d" % ID.TOGGLE_PANEL, "space=%d" % ID.TOGGLE_PANEL]
    return steps + ["tab=%d" % control for control in (OK_ID, CANCEL_ID, ID.DIRECTORY)]


def icon_sizes(env, title):
    """The sizes of the icons that the shown windows titled `title` carry,
    as "32x32" texts, read from the X server (_NET_WM_ICON, which Wine
    fills from WM_SETICON): another process cannot ask Wine for a
    window's icon (WM_GETICON answers it none)."""
    env = dict(os.environ, DISPLAY=":%d" % env.display)
    tree = subprocess.run(["xwininfo", "-root", "-tree"], env=env, check=True,
                          stdout=subprocess.PIPE).stdout.decode("utf-8", "replace")
    sizes = set()
    for window in re.findall(r"^\s*(0x[0-9a-f]+) \"%s\":" % re.escape(title), tree, re.M):
        shown = subprocess.run(["xwininfo", "-id", window], env=env, stdout=subprocess.PIPE)
        if b"IsViewable" in shown.stdout:
            icons = subprocess.run(["xprop", "-id", window, "_NET_WM_ICON"], env=env,
                                   stdout=subprocess.PIPE).stdout.decode("utf-8", "replace")
            sizes.update(w + "x" + h for w, h in re.findall(r"Icon \((\d+) x (\d+)\)", icons))
    return sizes


@pytest.mark.layout
@pytest.mark.word_size
def test_keyboard_walk_and_keys_that_end_the_dialogs(session):
    ini = settings_file(session.win_dir, "keys.txt", alwaysShowDialog="1")
    dialog = open_dialog(session, ini=ini)
    # The program's icon, big and small, at the sizes the system asks for.
    big, small = 32 * harness.SCALE // 100, 16 * harness.SCALE // 100
    icons = {"%dx%d" % (big, big), "%dx%d" % (small, small)}
    assert icon_sizes(session.env, harness.CAPTION) == icons
    dialog.keys(*key_walk())
    # Enter in the directory edit acts as OK.
    dialog.keys("return")
    session.base.wait_start_command(30)
    session.base.answer_start()
    session.dialog.wait()
    assert icon_sizes(session.env, harness.CAPTION) == icons
    assert_ok(session.base.send_record(b"KEYS"))
    session.dialog.keys("escape")
    session.dialog.wait_gone()
    assert session.wait_exit(20) == 1
    assert session.read_bytes("Tamsel.ini") == settings_file(
        session.win_dir, "keys.txt", alwaysShowDialog="1", stampEnabled="1")
    assert session.read_bytes("keys.txt").endswith(b",KEYS\r\n")


# The name a screen reader reads for each edit: the label before it, shown
# or hidden, as Windows finds it (Wine's oleacc does so for edits; the lists'
# labels, found by the same rule, are checked in the release check).
EDIT_NAMES = {ID.DIRECTORY: "Directory :", ID.FILE_NAME: "File name :",
              ID.REPLACE_FROM: "Character code to replace :",
              ID.REPLACE_TO: "Replace with character code :",
              ID.DATE_SEPARATOR: "Date separator character :",
              ID.TIME_SEPARATOR: "Time separator character :"}


def test_edits_are_named_for_screen_readers(session):
    dialog = open_dialog(session)
    names = {control: dialog.accessible_name(control) for control in EDIT_NAMES}
    assert names == EDIT_NAMES
    dialog.press(CANCEL_ID)
    assert session.wait_exit(20) == 1
