"""Plumbing for the end-to-end tests: an X server, a Wine prefix whose COM1
leads to a pseudo-terminal, the window driver, and one test's run of
Tamsel.exe against the simulated base.

Every Wine command sends its output to files: Wine's services inherit the
standard handles of the command that starts them and would keep a pipe open.
"""

import codecs
import contextlib
import hashlib
import os
import random
import re
import select
import shutil
import signal
import subprocess
import sys
import termios
import time
from pathlib import Path
from types import SimpleNamespace

import psutil

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tools"))

import simbase  # noqa: E402

# Every TAMSEL_* variable that changes a run of the end-to-end tests, the
# benchmark or the demo, and what it does. tools/test.sh sets them per mode.
VARIABLES = {
    "TAMSEL_EXE": "the program under test (default build/windows/Tamsel.exe)",
    "TAMSEL_E2E_DIR": "the Wine prefix, test folders and logs (build/e2e); one per locale, scale",
    "TAMSEL_PTY_MODEM_DIR": "where the modem-status shim is built (build/native/preload)",
    "TAMSEL_LOCALE": "the locale Wine runs the programs in, and so their ANSI code page",
    "TAMSEL_SCALE": "the display scale in percent (100)",
    "TAMSEL_RECEIVE_PATHS": "the RECEIVE_PATHS of tests marked receive_path (event,polling)",
    "TAMSEL_RACE_ROUNDS": "at most this many rounds of a test marked rounds(n) (n)",
    "TAMSEL_E2E_SEED": "the seed of the random choices, to repeat a run (a fresh one)",
    "TAMSEL_SOAK_RECORDS": "the records of the long session (300)",
    "TAMSEL_FUZZ_SECONDS": "how long tools/test.sh runs each fuzz target (15)",
    # Set by the harness for the program's run, read by the shim (e2e/pty_modem.cpp).
    "TAMSEL_PTY_MODEM_STATUS": "the shim answers the modem-status request (the event path)",
    "TAMSEL_PTY_NO_COUNT": "the shim reports no received byte waiting (the -nocount paths)",
}


def setting(name, default=None):
    """The value of one of VARIABLES, or `default` when it is not set."""
    if name not in VARIABLES:
        raise KeyError("%s is not one of harness.VARIABLES" % name)
    return os.environ.get(name, default)


BUILD = ROOT / "build"
WORK = Path(setting("TAMSEL_E2E_DIR", BUILD / "e2e"))
TAMSEL_EXE = Path(setting("TAMSEL_EXE", BUILD / "windows" / "Tamsel.exe"))
DRIVER_SOURCE = ROOT / "e2e" / "driver.cpp"
BUILT_DRIVER = BUILD / "windows" / "e2e_driver.exe"
# The modem-status shim, one build per word size under $LIB, which ld.so
# expands per process (lib/x86_64-linux-gnu, lib/i386-linux-gnu).
PTY_MODEM_DIR = Path(setting("TAMSEL_PTY_MODEM_DIR", BUILD / "native" / "preload"))
PTY_MODEM_NAME = "libpty_modem.so"

# The README's receive paths. On a "-nocount" one, whose driver never says how
# many bytes wait, each record must still be answered within NOCOUNT_ACK_LIMIT.
RECEIVE_PATHS = ("event", "polling", "event-nocount", "polling-nocount")
NOCOUNT_ACK_LIMIT = 0.7  # the 200 ms flash and half a second

# The locale Wine runs the programs in, and the ANSI code page it gives them:
# "ja_JP.UTF-8" the double-byte 932, "hi_IN.UTF-8" UTF-8 (65001).
LOCALE = setting("TAMSEL_LOCALE", "")
CODE_PAGE = {"ja": "cp932", "zh": "cp936", "ko": "cp949", "hi": "utf-8"}.get(
    LOCALE.split("_")[0])
DOUBLE_BYTE = CODE_PAGE in ("cp932", "cp936", "cp949")
UTF8 = CODE_PAGE == "utf-8"

# The display scale in percent: 150 is Wine's LogPixels 144, on a laptop's screen.
SCALE = int(setting("TAMSEL_SCALE", "100"))

CAPTION = "Tamsel (Ver 1.12)"
# The program's control ids: ID.DIRECTORY is IDC_DIRECTORY of resources/resource.h.
ID = SimpleNamespace(**{name: int(value) for name, value in re.findall(
    r"^#define IDC_(\w+) (\d+)", (ROOT / "resources" / "resource.h").read_text(), re.M)})
OK_ID, CANCEL_ID = 1, 2  # IDOK and IDCANCEL; the session's Close is IDOK
# The file-name box of the platform's save-file dialog.
FILE_DIALOG_NAME_ID = 1148
SCREEN_SIZE = (1024, 768) if SCALE == 100 else (1920, 1080)  # as Xvfb is started below


class HarnessError(Exception):
    pass


class Unavailable(Exception):
    """A tool the tests need is missing; the tests are skipped."""


def escape(text):
    """The driver's escaping, so that any byte can travel on its command
    line: Python's own for bytes as latin-1 text."""
    data = text if isinstance(text, bytes) else text.encode("latin-1")
    return data.decode("latin-1").encode("unicode_escape").decode("ascii")


def unescape(text):
    return codecs.decode(text, "unicode_escape")


class DriverResult:
    """What one driver command printed: rows of key=value fields."""

    def __init__(self, args, rc, output):
        self.args, self.rc, self.output = args, rc, output
        self.rows = [row for row in (
            {key: unescape(value) for key, sep, value in
             (field.partition("=") for field in line.split("\t")) if sep}
            for line in output.splitlines()) if row]

    @property
    def ok(self):
        return self.rc == 0

    def get(self, key, default=None):
        return next((row[key] for row in self.rows if key in row), default)

    def __repr__(self):
        return "DriverResult(%s -> rc %s: %r)" % (" ".join(self.args), self.rc, self.output)


def run_seed():
    """Random choices come from TAMSEL_E2E_SEED when set, else a fresh seed
    that a failure names, so that the run can be repeated."""
    text = setting("TAMSEL_E2E_SEED")
    return int(text) if text else random.SystemRandom().randrange(1 << 32)


# --- processes -------------------------------------------------------------------

def cpu_shares(processes, seconds):
    """The share of one core that each process used over the same `seconds`."""
    def used(process):
        times = process.cpu_times()
        return times.user + times.system

    before, started = [used(p) for p in processes], time.monotonic()
    time.sleep(seconds)
    elapsed = time.monotonic() - started
    return [(used(p) - b) / elapsed for p, b in zip(processes, before)]


def end_process(process):
    if process.poll() is None:
        process.kill()
    process.wait(15)


# --- the shared environment -----------------------------------------------

def _require(program):
    if not shutil.which(program):
        raise Unavailable("%s is not installed" % program)


def _unmount_below(folder):
    """Lazily unmounts every filesystem mounted inside `folder`."""
    with open("/proc/mounts") as f:
        points = [line.split()[1] for line in f]
    for point in points:
        if point.startswith(str(folder) + "/"):
            subprocess.run(["umount", "-l", point], stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def wine_loader_for(exe):
    """The Wine loader that runs a program in the very process it starts.
    With 32-bit Wine installed, "wine" is the 32-bit loader, which starts a
    64-bit program as a child of its own: a kill of the program would then
    not be what the caller sees end."""
    with open(exe, "rb") as f:
        head = f.read(4096)
    offset = int.from_bytes(head[0x3C:0x40], "little")
    machine = int.from_bytes(head[offset + 4:offset + 6], "little")
    wine64 = shutil.which("wine64") or "/usr/lib/wine/wine64"
    return wine64 if machine == 0x8664 and os.path.exists(wine64) else "wine"


class WineEnv:
    """Xvfb on a display of its own and a Wine prefix under the build tree,
    shared by every test of a run."""

    def __init__(self, work=WORK):
        self.work = Path(work)
        self.prefix = self.work / "prefix"
        self.com1_link = self.work / "com1"
        # A second port, for a program that runs beside the one under test.
        self.com2_link = self.work / "com2"
        # A port above COM9, as Windows numbers most USB adapters.
        self.com12_link = self.work / "com12"
        self.logs = self.work / "logs"
        self.drive_c = self.prefix / "drive_c"
        self.xvfb = self.display = self.driver_exe = self.tamsel_exe = self.env = None
        self._loaders = {}

    def start(self):
        # Every tool the harness and the tests run; wine64 only where it is there.
        for program in ("wine", "wineserver", "Xvfb", "xwininfo", "xprop", "mount", "umount"):
            _require(program)
        # Each run starts from clean test folders and logs.
        tests_root = self.drive_c / "t"
        if tests_root.exists():
            _unmount_below(tests_root)
            shutil.rmtree(tests_root)
        if self.logs.exists():
            shutil.rmtree(self.logs)
        self.logs.mkdir(parents=True)
        # One copy for the whole run, safe from a rebuild meanwhile.
        self.tamsel_exe = self.work / "Tamsel.exe"
        shutil.copy2(TAMSEL_EXE, self.tamsel_exe)
        # The 64-bit Windows build makes the driver beside the program.
        self.driver_exe = built = BUILT_DRIVER
        if not built.exists() or built.stat().st_mtime < DRIVER_SOURCE.stat().st_mtime:
            raise Unavailable("%s is missing or older than its source: run tools/build.sh" % built)
        self._loaders = {str(self.driver_exe): wine_loader_for(self.driver_exe),
                         "Tamsel.exe": wine_loader_for(self.tamsel_exe)}
        self._start_xvfb()
        self.env = dict(os.environ, WINEPREFIX=str(self.prefix), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=", DISPLAY=":%d" % self.display)
        if LOCALE:
            # Wine takes the programs' code page from it.
            self.env.update({"LANG": LOCALE, "LC_ALL": LOCALE})
        # A server left behind by an interrupted run would keep old settings.
        self._wineserver("-k")
        if not (self.prefix / "system.reg").exists():
            self.wine(["wineboot", "-i"], "wineboot", timeout=180)
            self._wineserver("-w", timeout=120)
        self._configure_registry()
        # Wine's server opens every device for the programs: it gets the shim,
        # and stays up, never to come back without it after a pause.
        self._wineserver("-k")
        self._wineserver("-w", timeout=60)
        self._wineserver("-p", extra_env=shim_env())
        self.wine(["cmd", "/c", "ver"], "services", timeout=60)

    def _start_xvfb(self):
        """Xvfb picks a free display and writes its number when it is ready."""
        with open(self.logs / "xvfb.log", "wb") as log:
            self.xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", "1", "-screen", "0", "%dx%dx24" % SCREEN_SIZE,
                 "-nolisten", "tcp"], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                stderr=log)
        # The pipe stays open while Xvfb runs: it dies if a write finds it closed.
        number = b""
        if select.select([self.xvfb.stdout], [], [], 10)[0]:
            number = self.xvfb.stdout.readline()
        if not number.strip().isdigit():
            self._stop_xvfb()
            raise HarnessError("could not start Xvfb (see %s)" % (self.logs / "xvfb.log"))
        self.display = int(number)

    def _configure_registry(self):
        """COM1 and COM2 lead to stable symlinks that each test points at its
        own pseudo-terminals. Windows are unmanaged: with no window manager under
        Xvfb, Wine would otherwise wait 2 s for one at every hidden window."""
        settings = [
            ("system.reg", "HKLM\\Software\\Wine\\Ports", "COM1", str(self.com1_link)),
            ("system.reg", "HKLM\\Software\\Wine\\Ports", "COM2", str(self.com2_link)),
            ("system.reg", "HKLM\\Software\\Wine\\Ports", "COM12", str(self.com12_link)),
            ("user.reg", "HKCU\\Software\\Wine\\X11 Driver", "Managed", "N"),
            ("user.reg", "HKCU\\Control Panel\\Desktop", "LogPixels", 96 * SCALE // 100),
        ]
        changed = False
        for hive, key, name, value in settings:
            stored = (self.prefix / hive).read_text(encoding="utf-8", errors="replace")
            kind, text = ("REG_DWORD", "dword:%08x" % value) if isinstance(value, int) else (
                "REG_SZ", '"%s"' % value)
            if '"%s"=%s' % (name, text) in stored:
                continue
            log = "reg-" + name
            rc = self.wine(["reg", "add", key, "/v", name, "/t", kind, "/d", str(value), "/f"],
                           log, timeout=60)
            if rc != 0:
                raise HarnessError("could not set %s (see %s)" % (name, self.logs / log))
            changed = True
        if changed:
            # Both are read when Wine's services start.
            self._wineserver("-k")
            self._wineserver("-w", timeout=60)

    def stop(self):
        if self.env:
            self._wineserver("-k")
        self._stop_xvfb()

    def _stop_xvfb(self):
        if self.xvfb:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(5)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait()
            self.xvfb.stdout.close()
        self.xvfb = None

    def _wineserver(self, flag, timeout=30, extra_env=None):
        env = dict(self.env or dict(os.environ, WINEPREFIX=str(self.prefix)), **(extra_env or {}))
        try:
            subprocess.run(["wineserver", flag], env=env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout)
        except subprocess.TimeoutExpired:
            pass

    def spawn(self, args, log_base, cwd=None, extra_env=None):
        """Starts `wine args...` in the background; output to log_base.out/.err."""
        program = str(args[0])
        loader = self._loaders.get(program) or self._loaders.get(program.rsplit("\\", 1)[-1],
                                                                "wine")
        with open(str(log_base) + ".out", "wb") as out, open(str(log_base) + ".err", "wb") as err:
            return subprocess.Popen([loader] + [str(a) for a in args], cwd=cwd,
                                    env=dict(self.env, **(extra_env or {})),
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=err)

    def wine(self, args, log_name, timeout=60, extra_env=None):
        process = self.spawn(args, self.logs / log_name, extra_env=extra_env)
        try:
            return process.wait(timeout)
        except subprocess.TimeoutExpired:
            end_process(process)
            raise HarnessError("wine %s did not end within %s s" % (" ".join(args), timeout))

    @contextlib.contextmanager
    def present_port(self, name):
        """A port that a driver registers while it lasts, as Windows lists
        one when an adapter is plugged in."""
        key, value = "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\Plugged" + name
        if self.wine(["reg", "add", key, "/v", value, "/t", "REG_SZ", "/d", name, "/f"],
                     "reg-plug-" + name) != 0:
            raise HarnessError("could not register %s" % name)
        try:
            yield
        finally:
            self.wine(["reg", "delete", key, "/v", value, "/f"], "reg-unplug-" + name)


# --- one test's run --------------------------------------------------------

def _folder_name(test_name):
    name = re.sub(r"[^A-Za-z0-9]+", "_", test_name).strip("_") or "test"
    if len(name) > 60:
        # Keeps the paths short and parametrized variants apart.
        name = name[:51] + "_" + hashlib.sha1(test_name.encode()).hexdigest()[:8]
    return name


def shim_env(receive_path=None):
    """The modem-status shim preloaded, which refuses what Windows refuses, in
    the mode of the receive path (none for Wine's server)."""
    if receive_path is not None and receive_path not in RECEIVE_PATHS:
        raise ValueError("unknown receive path %r" % receive_path)
    if not (PTY_MODEM_DIR / "lib" / "x86_64-linux-gnu" / PTY_MODEM_NAME).exists():
        raise Unavailable("%s is not built yet: build the native tree first" % PTY_MODEM_NAME)
    env = {"LD_PRELOAD": "%s/$LIB/%s" % (PTY_MODEM_DIR, PTY_MODEM_NAME)}
    way, _, driver = (receive_path or "").partition("-")
    if way == "event":
        env["TAMSEL_PTY_MODEM_STATUS"] = "1"
    if driver == "nocount":
        env["TAMSEL_PTY_NO_COUNT"] = "1"
    return env


class Session:
    """One test: its own folder in drive_c with a copy of Tamsel.exe, and a
    fresh pseudo-terminal behind COM1 with the simulated base on its master
    side; the program runs on the given receive path."""

    def __init__(self, env, test_name, receive_path="polling"):
        self.env = env
        self.receive_path = receive_path
        self.program_env = shim_env(receive_path)
        name = _folder_name(test_name)
        self.win_dir = "C:\\t\\" + name
        self.dir = env.drive_c / "t" / name
        self.logs = env.logs / name
        self.process = self._spawned_by_driver = self.started_at = None
        self._windows_to_end = []
        self._driver_calls = 0
        self.dialog = SessionDialog(self)

        for folder in (self.dir, self.logs):
            if folder.exists():
                _unmount_below(folder)
                shutil.rmtree(folder)
            folder.mkdir(parents=True)
        (self.logs / "receive-path").write_text(receive_path + "\n")
        shutil.copy2(env.tamsel_exe, self.dir / "Tamsel.exe")
        self.exe = self.win_dir + "\\Tamsel.exe"

        self.pty = simbase.open_pty(str(env.com1_link))
        self.base_log = open(self.logs / "base.log", "w")
        self.base = simbase.SimBase(self.pty.master, log=self._log_base)
        if receive_path.endswith("-nocount"):
            self.base.ack_limit = NOCOUNT_ACK_LIMIT

    def _log_base(self, text):
        self.base_log.write(text + "\n")
        self.base_log.flush()

    # Paths --------------------------------------------------------------------

    def win_path(self, name):
        """The Windows path of a file in this test's folder."""
        return self.win_dir + "\\" + name

    def unix_path(self, win_path):
        """Translates C:\\... into the file inside the prefix."""
        if CODE_PAGE:
            # The program's bytes, as the characters that Wine names files by.
            win_path = win_path.encode("latin-1").decode(CODE_PAGE)
        match = re.match(r"^[Cc]:\\(.*)$", win_path)
        if not match:
            raise ValueError("not a C: path: %r" % win_path)
        return self.env.drive_c.joinpath(*[p for p in match.group(1).split("\\") if p])

    def line_speed(self):
        """The speed, in bits per second, that the program set COM1 to."""
        code = termios.tcgetattr(self.pty.slave)[5]
        return next((rate for rate in (1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200)
                     if getattr(termios, "B%d" % rate) == code), code)

    def read_bytes(self, name):
        return (self.dir / name).read_bytes()

    def write_bytes(self, name, data):
        (self.dir / name).write_bytes(data)

    # The program ----------------------------------------------------------------

    def start(self, params=None, see=None):
        """Starts Tamsel.exe with the parameter string (none when None) and
        returns its process, or what `see()` returns: the first thing the
        program shows. A start that Wine failed (an exit with 1 before the
        program showed anything) is repeated once."""
        for attempt in (1, 2):
            assert self.process is None, "one run per test"
            self.process, self._spawned_by_driver = self.launch(params, "tamsel")
            if see is None:
                return self.process
            try:
                return see()
            except (AssertionError, simbase.BaseError):
                if attempt == 2 or self.process.poll() != 1:
                    raise
            with open(self.logs / "restarts.log", "a") as f:
                f.write("Tamsel.exe ended with 1 before it showed anything; started again\n")
            self.process = None

    def start_reading(self, params=None, answer=True):
        """start(), waiting for the start command, which the base answers
        unless `answer` is false. Returns the time the command came."""
        started = self.start(params, lambda: self.base.wait_start_command(30))
        if answer:
            self.base.answer_start()
        return started

    def launch(self, params, log_name):
        """A run of Tamsel.exe in this test's folder: the process and, when
        the driver's spawn started it (for a parameter string that Wine would
        quote or recode), the log with its exit code."""
        self.started_at = time.monotonic()
        if params is None or not re.search(r"[\s\"\x00-\x1f\x7f-\xff]", params):
            args = [self.exe] + ([] if params is None else [params])
            return self.env.spawn(args, self.logs / log_name, cwd=str(self.dir),
                                  extra_env=self.program_env), None
        log = self.logs / (log_name + "-spawn")
        args = [self.env.driver_exe, "spawn", "--wait", "--timeout", "600000", "--cmdline",
                escape('"%s" %s' % (self.exe, params))]
        return self.env.spawn(args, log, cwd=str(self.dir), extra_env=self.program_env), log

    def wait_exit(self, timeout=30):
        """The exit code once Tamsel.exe has ended."""
        try:
            rc = self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("Tamsel.exe still running after %s s" % timeout)
        if self._spawned_by_driver is None:
            return rc
        result = DriverResult([], rc, Path(str(self._spawned_by_driver) + ".out")
                              .read_bytes().decode("latin-1"))
        assert result.get("exit") is not None, "spawn failed: %r" % result
        return int(result.get("exit"))

    def running(self):
        return self.process is not None and self.process.poll() is None

    def program_process(self, timeout=10):
        """The Linux process that runs this test's Tamsel.exe: Wine rewrites
        its command line to the one the program was started with."""
        deadline = time.monotonic() + timeout
        while True:
            # Wine's loader may show it for a moment (seen on the 32-bit
            # program): the program is the newest one still there after that.
            found = [p for p in psutil.process_iter(["cmdline", "create_time"])
                     if (p.info["cmdline"] or [])[:1] == [self.exe]]
            if found:
                time.sleep(0.3)
                found = [p for p in found if p.is_running()]
            if found:
                return max(found, key=lambda p: p.info["create_time"])
            if time.monotonic() > deadline:
                raise AssertionError("no process runs %s" % self.exe)
            time.sleep(0.1)

    # Driving the windows -------------------------------------------------------

    def driver(self, *args, timeout_ms=10000):
        """Runs one driver command and returns what it printed. The driver
        gets its own time limit; this one only guards against a hang."""
        self._driver_calls += 1
        log_base = self.logs / ("driver-%02d" % self._driver_calls)
        args = [str(a) for a in args] + ["--timeout", str(int(timeout_ms))]
        with open(str(log_base) + ".cmd", "w") as f:
            f.write(" ".join(args) + "\n")
        for _ in range(3):
            process = self.env.spawn([self.env.driver_exe] + args, log_base)
            try:
                rc = process.wait(timeout_ms / 1000.0 + 30)
            except subprocess.TimeoutExpired:
                end_process(process)
                rc = None
            output = Path(str(log_base) + ".out").read_bytes().decode("latin-1")
            # Now and then Wine cannot start a process at all ("failed to map
            # the shared user data", silent under WINEDEBUG=-all): it exits
            # with 1 before the driver's code runs. The driver itself never
            # ends with 1 without printing, so this start can be repeated.
            if rc != 1 or output:
                break
        return DriverResult(args, rc, output)

    def message_box(self, answer="ok", caption=CAPTION, timeout_ms=10000):
        """Waits for a message box and answers it (see the driver's msgbox).
        Returns its text, with the driver's row as `.row`, or None when none
        came within the time limit."""
        result = self.driver("msgbox", "--title", escape(caption), "--answer", answer,
                             timeout_ms=timeout_ms)
        if result.rc == 1 and result.get("text") is None:
            return None
        assert result.ok, result
        return MessageBox(result.rows[0])

    def end_window_later(self, title_contains):
        """Remembers a window of another program to end at teardown."""
        self._windows_to_end.append(title_contains)

    def hold(self, name="COM1", seconds=120, wait=False, then=()):
        """Another program that opens a port or a file (a Windows path)
        without sharing and holds it for `seconds` (see the driver's hold for
        `wait` and `then`, its options). Returns its process."""
        log_base = self.logs / "holder"
        args = ([self.env.driver_exe, "hold", "--port", escape(name)] +
                (["--wait"] if wait else []) + ["--timeout", int(seconds * 1000)])
        holder = self.env.spawn(args + list(then), log_base, extra_env=self.program_env)
        output = log_base.with_suffix(".out")
        deadline = time.monotonic() + 30
        while "held=" not in output.read_text(errors="replace"):
            if holder.poll() is not None or time.monotonic() > deadline:
                end_process(holder)
                raise AssertionError("the holder did not open %s: %s" % (
                    name, output.read_text(errors="replace")))
            time.sleep(0.05)
        return holder

    @contextlib.contextmanager
    def bare_wait(self, seconds=120):
        """Another program that keeps one wait for received characters
        pending on COM2, a line of its own: what Wine's own waiting costs,
        which swings too much to be measured at another time. Gives its
        process."""
        line = simbase.open_pty(str(self.env.com2_link))
        holder = None
        try:
            holder = self.hold("COM2", seconds=seconds, wait=True)
            # Started by the loader of its own word size: the very process.
            yield psutil.Process(holder.pid)
        finally:
            if holder is not None:
                end_process(holder)
            line.close()

    def unplug_port(self, hang_up=False):
        """Makes COM1 impossible to open (a directory: for a missing target
        Wine falls back to the host's /dev/ttyS0); with `hang_up`, also ends
        the line under an open port, as when the adapter is pulled."""
        if hang_up:
            os.close(self.pty.master)
            self.pty.master = -1
        nowhere = self.logs / "not-a-port"
        nowhere.mkdir(exist_ok=True)
        simbase.point_symlink(str(self.env.com1_link), str(nowhere))

    def move_base_to_com12(self):
        """Puts the simulated base behind COM12, as a USB adapter that Windows
        numbered 12, and makes COM1 impossible to open."""
        simbase.point_symlink(str(self.env.com12_link), os.readlink(self.env.com1_link))
        self.unplug_port()

    def replug_port(self):
        """A new line under COM1, as when the adapter is plugged back: a fresh
        pseudo-terminal and simulated base, with the same answer limit."""
        self.pty.close()
        self.pty = simbase.open_pty(str(self.env.com1_link))
        ack_limit = self.base.ack_limit
        self.base = simbase.SimBase(self.pty.master, log=self._log_base)
        self.base.ack_limit = ack_limit

    def mount_tmpfs(self, name, size):
        """A tiny filesystem inside this test's folder, so that the disk can
        run full. Needs root; raises Unavailable otherwise."""
        target = self.dir / name
        target.mkdir()
        result = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%s,mode=0777" % size,
                                 "tmpfs", str(target)],
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT)
        if result.returncode != 0:
            raise Unavailable("cannot mount a tmpfs: %s" % result.stdout.decode().strip())
        return target

    def cleanup(self):
        for title in self._windows_to_end:
            self.driver("terminate", "--title-contains", escape(title), timeout_ms=500)
        if self.running() and self._spawned_by_driver is not None:
            self.driver("terminate", "--title", escape(CAPTION), timeout_ms=500)
        if self.running():
            self.process.send_signal(signal.SIGKILL)
            self.process.wait(10)
        # A run started through the driver's spawn has its exit code in that log.
        if self.process is not None and self._spawned_by_driver is None:
            with open(self.logs / "tamsel.rc", "w") as f:
                f.write("%s\n" % self.process.returncode)
        _unmount_below(self.dir)
        self.pty.close()
        self.base_log.close()


class MessageBox(str):
    """A message box's text; `.row` has all the driver saw of it."""

    def __new__(cls, row):
        box = super().__new__(cls, row.get("text", ""))
        box.row = row
        return box


# --- settings as the program reads them ---------------------------------------

# The value slots of the parameter string, in order; slot 12 repeats
# stampEnabled. Each value is the raw character that the slot holds.
PARAMETER_SLOTS = [
    "comPortIndex", "baudIndex", "fileMode", "addReturn", "addLineFeed", "showErrors",
    "viewData", "alwaysShowDialog", "replaceEnabled", "replaceFrom", "replaceTo",
    "stampEnabled", "stampEnabledAgain", "stampAtBottom", "separateStamps", "delimiterIndex",
    "yearOn", "yearTwoDigits", "monthOn", "dayOn", "dateSepOn", "dateSepChar", "dateStyle",
    "hourOn", "minuteOn", "secondOn", "timeSepOn", "timeSepChar",
]

OVERWRITE, APPEND, NEW_NAME = "1", "2", "3"

# What the tests start from: COM1, a session that shows its errors but does
# not ask about viewing at the end, plain CR LF lines without stamps.
TEST_DEFAULTS = {
    "comPortIndex": "1", "baudIndex": "1", "fileMode": OVERWRITE, "addReturn": "1",
    "addLineFeed": "1", "showErrors": "1", "viewData": "0", "alwaysShowDialog": "0",
    "replaceEnabled": "0", "replaceFrom": ",", "replaceTo": ";", "stampEnabled": "0",
    "stampAtBottom": "0", "separateStamps": "1", "delimiterIndex": "0", "yearOn": "1",
    "yearTwoDigits": "0", "monthOn": "1", "dayOn": "1", "dateSepOn": "1", "dateSepChar": "/",
    "dateStyle": "0", "hourOn": "1", "minuteOn": "1", "secondOn": "1", "timeSepOn": "1",
    "timeSepChar": ":",
}


def _slot_values(fields):
    unknown = set(fields) - set(PARAMETER_SLOTS)
    if unknown:
        raise KeyError("unknown settings: %s" % ", ".join(sorted(unknown)))
    values = dict(TEST_DEFAULTS, **fields)
    values.setdefault("stampEnabledAgain", values["stampEnabled"])
    for name, value in values.items():
        if len(value) != 1:
            raise ValueError("%s must be one character, got %r" % (name, value))
    return values


def parameter_string(path, **fields):
    """The path, a comma and the 28 slots separated by commas."""
    values = _slot_values(fields)
    return path + "," + ",".join(values[name] for name in PARAMETER_SLOTS)


def settings_file(directory, file_name, **fields):
    """The 29 lines of Tamsel.ini, each ended by CR LF."""
    values = _slot_values(fields)
    lines = [directory, file_name] + [values[name] for name in PARAMETER_SLOTS
                                      if name != "stampEnabledAgain"]
    return b"".join(line.encode("latin-1") + b"\r\n" for line in lines)


def assert_ok(record):
    """The record was answered "OK", with its own unit number and echo, and
    in time where the base sets a limit."""
    assert record.ack == simbase.acknowledgement_for(record.unit, record.echo, b"OK"), record.ack
    assert record.ack_limit is None or record.waited <= record.ack_limit, (
        "answered %.0f ms after it could be handled" % (record.waited * 1000))


def progress_for(count):
    """The progress text after `count` stored records."""
    return "Received : 1 record" if count == 1 else "Received : %d records" % count


# --- the dialogs ------------------------------------------------------------------

def _rectangle(text):
    return tuple(int(v) for v in text.split(","))


class _DialogWindow:
    """A dialog of one run that the driver finds by `self.select`."""

    def __init__(self, session, *select):
        self.session = session
        self.select = list(select)

    def _run(self, *args, timeout_ms=10000, check=True):
        result = self.session.driver(*(list(args[:1]) + self.select + list(args[1:])),
                                     timeout_ms=timeout_ms)
        assert result.ok or not check, result
        return result

    def wait(self, timeout_ms=30000, minimized=False):
        """Waits until the dialog is shown (minimised, if asked); its row."""
        return self._run("wait-window", *(["--minimized"] if minimized else []),
                         timeout_ms=timeout_ms).rows[0]

    def is_open(self, timeout_ms=1000):
        return self._run("wait-window", timeout_ms=timeout_ms, check=False).ok

    def wait_gone(self, timeout_ms=15000):
        self._run("wait-gone", timeout_ms=timeout_ms)

    def text(self, control_id):
        return self._run("text", "--id", control_id).get("text")

    def set_text(self, control_id, text):
        """Replaces the text (WM_SETTEXT); returns what the control shows."""
        return self._run("set-text", "--id", control_id, "--text", escape(text)).get("text")

    def type(self, control_id, text, at=None):
        """Types at the caret (the end, or `at`); returns what the control shows."""
        at = [] if at is None else ["--at", at]
        return self._run("type", "--id", control_id, "--text", escape(text), *at).get("text")

    def press(self, control_id, post=False):
        """A click on the button (or check box), handled before this returns;
        `post` for one that ends the dialog or opens another."""
        self._run("press", "--id", control_id, *(["--post"] if post else []))

    def drop_down(self, control_id):
        """The notification of a list that drops down (CBN_DROPDOWN), sent."""
        self._run("press", "--id", control_id, "--code", 7)

    def checked(self, control_id):
        return int(self._run("checked", "--id", control_id).get("checked"))

    def accessible_name(self, control_id):
        """What a screen reader reads for the control (oleacc's name)."""
        return self._run("acc-name", "--id", control_id).get("name")

    def combo(self, control_id):
        """(selected index, [item texts])"""
        rows = self._run("combo", "--id", control_id).rows
        return int(rows[0]["selected"]), [row["item"] for row in rows[1:]]

    def choose(self, control_id, index):
        """Selects a list item with the notification a user's choice sends."""
        self._run("select", "--id", control_id, "--index", index)

    def rect(self):
        """The window's rectangle on the screen: (left, top, right, bottom)."""
        return _rectangle(self._run("rect").get("screen"))

    def client_size(self):
        return _rectangle(self._run("rect").get("client"))

    def control_rect(self, control_id):
        """A control's rectangle in the dialog's client area."""
        return _rectangle(self._run("rect", "--id", control_id).get("parent"))

    def focus(self):
        return self._run("focus").get("id")

    def wait_focus(self, control_id, timeout=15.0):
        """Polls until the control has the focus; returns the id that had it last."""
        deadline = time.monotonic() + timeout
        while True:
            now = self.focus()
            if now == str(control_id) or time.monotonic() > deadline:
                return now
            time.sleep(0.1)

    def keys(self, *steps, post=False, control_id=None):
        """Presses keys as real input (see the driver's keys for the steps), or
        with `post` posts them to the control (or the dialog). Returns the
        driver's rows, one per step."""
        where = (["--post"] + ([] if control_id is None else ["--id", control_id])) if post else []
        return self._run("keys", "--keys", ",".join(steps), *where, timeout_ms=60000).rows

    def close_box(self):
        self._run("close")


class SessionDialog(_DialogWindow):
    """The reading session dialog; message boxes share its caption."""

    def __init__(self, session):
        super().__init__(session, "--title", escape(CAPTION), "--class", "#32770", "--has-id",
                         ID.PROGRESS_TEXT)

    def progress(self):
        return self.text(ID.PROGRESS_TEXT)

    def wait_progress(self, text, timeout_ms=5000):
        """Waits until the progress shows `text`; returns what it showed last."""
        result = self._run("text", "--id", ID.PROGRESS_TEXT, "--text", escape(text),
                           timeout_ms=timeout_ms, check=False)
        return result.get("text", result.get("last"))

    def close(self):
        self.press(OK_ID, post=True)

    def all_visible(self):
        """The rows of every visible session dialog, of any Tamsel process."""
        return self._run("windows").rows


class PropertiesDialog(_DialogWindow):
    """The properties dialog: the only one with the directory edit."""

    def __init__(self, session):
        super().__init__(session, "--title", escape(CAPTION), "--has-id", ID.DIRECTORY)


class FileDialog(_DialogWindow):
    """The platform's save-file dialog opened by Browse."""

    def __init__(self, session):
        super().__init__(session, "--class", "#32770", "--has-id", FILE_DIALOG_NAME_ID)

    def choose(self, path):
        """Types the full path into the file-name box and presses Save."""
        self.set_text(FILE_DIALOG_NAME_ID, path)
        self.press(OK_ID, post=True)
        self.wait_gone()

    def cancel(self):
        self.press(CANCEL_ID, post=True)
        self.wait_gone()
