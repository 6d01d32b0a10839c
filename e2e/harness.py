"""Plumbing for the end-to-end tests: an X server, a Wine prefix whose COM1
leads to a pseudo-terminal, the window driver, and one test's run of
Tamsel.exe against the simulated base.

Every Wine command sends its output to files: Wine's services inherit the
standard handles of the command that starts them and would keep a pipe open.
"""

import hashlib
import os
import re
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tools"))

import simbase  # noqa: E402

BUILD = ROOT / "build"
WORK = Path(os.environ.get("TAMSEL_E2E_DIR", BUILD / "e2e"))
TAMSEL_EXE = Path(os.environ.get("TAMSEL_EXE", BUILD / "windows" / "Tamsel.exe"))
DRIVER_SOURCE = ROOT / "e2e" / "driver.cpp"
BUILT_DRIVER = BUILD / "windows" / "e2e_driver.exe"
# The modem-status shim, one build per word size under $LIB, which ld.so
# expands per process (lib/x86_64-linux-gnu, lib/i386-linux-gnu).
PTY_MODEM_DIR = Path(os.environ.get("TAMSEL_PTY_MODEM_DIR", BUILD / "native" / "preload"))
PTY_MODEM_NAME = "libpty_modem.so"

# How the receiver learns that bytes came in: "event", the wait for received
# characters that real serial drivers give (a pseudo-terminal made to answer
# like a port), or "polling", its fallback when the wait keeps failing (what
# Wine gives on a bare pseudo-terminal). "-nocount" plays a driver that never
# reports how many received bytes wait; there each record must still be
# answered within NOCOUNT_ACK_LIMIT of the moment it could be handled.
RECEIVE_PATHS = ("event", "polling", "event-nocount", "polling-nocount")
NOCOUNT_ACK_LIMIT = 0.7  # the 200 ms flash and half a second

# The locale Wine runs the programs in (TAMSEL_LOCALE; give the run a prefix
# of its own): "ja_JP.UTF-8" gives code page 932, whose characters may be two
# bytes, the second of them a backslash's 0x5C.
LOCALE = os.environ.get("TAMSEL_LOCALE", "")
CODE_PAGE = {"ja": "cp932", "zh": "cp936", "ko": "cp949"}.get(LOCALE.split("_")[0])
DOUBLE_BYTE = CODE_PAGE is not None

CAPTION = "Tamsel (Ver 1.12)"
PROGRESS_ID = 401
CLOSE_ID = 1
FIRST_DISPLAY = 93


class HarnessError(Exception):
    pass


class Unavailable(Exception):
    """A tool the tests need is missing; the tests are skipped."""


# --- text escaping shared with the driver ---------------------------------

def escape(text):
    """The driver's escaping: any byte can travel on its command line."""
    if isinstance(text, str):
        text = text.encode("latin-1")
    out = []
    for b in text:
        if b == 0x5C:
            out.append("\\\\")
        elif b == 9:
            out.append("\\t")
        elif b == 13:
            out.append("\\r")
        elif b == 10:
            out.append("\\n")
        elif b < 32 or b > 126:
            out.append("\\x%02X" % b)
        else:
            out.append(chr(b))
    return "".join(out)


def unescape(text):
    out = bytearray()
    i = 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            if n == "\\":
                out.append(0x5C)
            elif n == "t":
                out.append(9)
            elif n == "r":
                out.append(13)
            elif n == "n":
                out.append(10)
            elif n == "x" and re.match(r"[0-9A-Fa-f]{2}", text[i + 2:i + 4]):
                out.append(int(text[i + 2:i + 4], 16))
                i += 2
            else:
                out.append(0x5C)
                i -= 1
            i += 2
            continue
        out += c.encode("latin-1")
        i += 1
    return out.decode("latin-1")


class DriverResult:
    """What one driver command printed: rows of key=value fields."""

    def __init__(self, args, rc, output):
        self.args = args
        self.rc = rc
        self.output = output
        self.rows = []
        for line in output.splitlines():
            row = {}
            for field in line.split("\t"):
                key, sep, value = field.partition("=")
                if sep:
                    row[key] = unescape(value)
            if row:
                self.rows.append(row)

    @property
    def ok(self):
        return self.rc == 0

    def get(self, key, default=None):
        for row in self.rows:
            if key in row:
                return row[key]
        return default

    def __repr__(self):
        return "DriverResult(%s -> rc %s: %r)" % (" ".join(self.args), self.rc, self.output)


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


def _newer(a, b):
    return a.exists() and (not b.exists() or a.stat().st_mtime >= b.stat().st_mtime)


class WineEnv:
    """Xvfb on a display of its own and a Wine prefix under the build tree,
    shared by every test of a run."""

    def __init__(self, work=WORK):
        self.work = Path(work)
        self.prefix = self.work / "prefix"
        self.com1_link = self.work / "com1"
        # A second port, for a program that runs beside the one under test.
        self.com2_link = self.work / "com2"
        self.logs = self.work / "logs"
        self.drive_c = self.prefix / "drive_c"
        self.xvfb = None
        self.display = None
        self.driver_exe = None
        self.tamsel_exe = None
        self.env = None
        self._loaders = {}

    # Start-up ---------------------------------------------------------------

    def start(self):
        for program in ("wine", "wineserver", "Xvfb"):
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
        self.driver_exe = self._locate_driver()
        self._loaders = {str(self.driver_exe): wine_loader_for(self.driver_exe),
                         "Tamsel.exe": wine_loader_for(self.tamsel_exe)}
        self._start_xvfb()
        self.env = dict(os.environ)
        self.env.update({
            "WINEPREFIX": str(self.prefix),
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
            "DISPLAY": ":%d" % self.display,
        })
        if LOCALE:
            # Wine takes the programs' code page from it.
            self.env.update({"LANG": LOCALE, "LC_ALL": LOCALE})
        # A server left behind by an interrupted run would keep old settings.
        self._wineserver("-k")
        if not (self.prefix / "system.reg").exists():
            self.wine(["wineboot", "-i"], "wineboot", timeout=180)
            self._wineserver("-w", timeout=120)
        self._configure_registry()
        # Start the services now, with their output going to a file. The
        # server, which opens every device for the programs, gets the shim:
        # it refuses a second opening of a port, as Windows does.
        self.wine(["cmd", "/c", "ver"], "services", timeout=60, extra_env=pty_modem_env())

    def _start_xvfb(self):
        for display in range(FIRST_DISPLAY, FIRST_DISPLAY + 20):
            if os.path.exists("/tmp/.X%d-lock" % display):
                continue
            if os.path.exists("/tmp/.X11-unix/X%d" % display):
                continue
            log = open(self.logs / "xvfb.log", "wb")
            self.xvfb = subprocess.Popen(
                ["Xvfb", ":%d" % display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
            log.close()
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline:
                if os.path.exists("/tmp/.X11-unix/X%d" % display):
                    self.display = display
                    return
                if self.xvfb.poll() is not None:
                    break
                time.sleep(0.05)
            self._stop_xvfb()
        raise HarnessError("could not start Xvfb (see %s)" % (self.logs / "xvfb.log"))

    def _configure_registry(self):
        """COM1 and COM2 lead to stable symlinks that each test points at its
        own pseudo-terminals. Windows are unmanaged: with no window manager under
        Xvfb, Wine would otherwise wait 2 s for one at every hidden window."""
        settings = [
            ("system.reg", "HKLM\\Software\\Wine\\Ports", "COM1", str(self.com1_link)),
            ("system.reg", "HKLM\\Software\\Wine\\Ports", "COM2", str(self.com2_link)),
            ("user.reg", "HKCU\\Software\\Wine\\X11 Driver", "Managed", "N"),
        ]
        changed = False
        for hive, key, name, value in settings:
            stored = (self.prefix / hive).read_text(encoding="utf-8", errors="replace")
            if '"%s"="%s"' % (name, value) in stored:
                continue
            log = "reg-" + name
            rc = self.wine(["reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", value, "/f"],
                           log, timeout=60)
            if rc != 0:
                raise HarnessError("could not set %s (see %s)" % (name, self.logs / log))
            changed = True
        if changed:
            # Both are read when Wine's services start.
            self._wineserver("-k")
            self._wineserver("-w", timeout=60)

    def _locate_driver(self):
        if _newer(BUILT_DRIVER, DRIVER_SOURCE):
            return BUILT_DRIVER
        own = self.work / "e2e_driver.exe"
        if not _newer(own, DRIVER_SOURCE):
            _require("x86_64-w64-mingw32-g++")
            result = subprocess.run(
                ["x86_64-w64-mingw32-g++", "-std=c++17", "-O2", "-static", "-Wall", "-Wextra",
                 "-o", str(own), str(DRIVER_SOURCE), "-luser32", "-lgdi32"],
                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                timeout=300)
            if result.returncode != 0:
                raise HarnessError("driver did not compile:\n" + result.stdout.decode())
        return own

    # Shut-down --------------------------------------------------------------

    def stop(self):
        if self.env:
            self._wineserver("-k")
        self._stop_xvfb()

    def _stop_xvfb(self):
        if self.xvfb and self.xvfb.poll() is None:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(5)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait()
        self.xvfb = None

    # Running things ---------------------------------------------------------

    def _wineserver(self, flag, timeout=30):
        env = self.env or dict(os.environ, WINEPREFIX=str(self.prefix))
        try:
            subprocess.run(["wineserver", flag], env=env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout)
        except subprocess.TimeoutExpired:
            pass

    def _log_files(self, name):
        return (open(self.logs / (name + ".out"), "wb"), open(self.logs / (name + ".err"), "wb"))

    def spawn(self, args, log_base, cwd=None, extra_env=None):
        """Starts `wine args...` in the background; output to log_base.out/.err."""
        out, err = open(str(log_base) + ".out", "wb"), open(str(log_base) + ".err", "wb")
        env = dict(self.env, **extra_env) if extra_env else self.env
        program = str(args[0])
        loader = self._loaders.get(program) or self._loaders.get(program.rsplit("\\", 1)[-1],
                                                                "wine")
        try:
            return subprocess.Popen([loader] + list(args), env=env, cwd=cwd,
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        finally:
            out.close()
            err.close()

    def wine(self, args, log_name, timeout=60, extra_env=None):
        process = self.spawn(args, self.logs / log_name, extra_env=extra_env)
        try:
            return process.wait(timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
            raise HarnessError("wine %s did not end within %s s" % (" ".join(args), timeout))

    def driver(self, *args, timeout_ms=10000, log_base=None):
        """Runs one driver command and returns what it printed. The driver
        gets its own time limit; this one only guards against a hang."""
        args = [str(a) for a in args] + ["--timeout", str(int(timeout_ms))]
        log_base = log_base or (self.logs / "driver")
        for _ in range(3):
            process = self.spawn([str(self.driver_exe)] + args, log_base)
            try:
                rc = process.wait(timeout_ms / 1000.0 + 30)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
                rc = None
            output = Path(str(log_base) + ".out").read_bytes().decode("latin-1")
            # Now and then Wine cannot start a process at all ("failed to map
            # the shared user data", silent under WINEDEBUG=-all): it exits
            # with 1 before the driver's code runs. The driver itself never
            # ends with 1 without printing, so this start can be repeated.
            if rc != 1 or output:
                break
        return DriverResult(args, rc, output)


# --- one test's run --------------------------------------------------------

def _folder_name(test_name):
    name = re.sub(r"[^A-Za-z0-9]+", "_", test_name).strip("_") or "test"
    if len(name) > 60:
        # Keeps the paths short and parametrized variants apart.
        name = name[:51] + "_" + hashlib.sha1(test_name.encode()).hexdigest()[:8]
    return name


def pty_modem_env():
    """The shim preloaded, or nothing when it has not been built."""
    built = PTY_MODEM_DIR / "lib" / "x86_64-linux-gnu" / PTY_MODEM_NAME
    if not built.exists():
        return {}
    return {"LD_PRELOAD": "%s/$LIB/%s" % (PTY_MODEM_DIR, PTY_MODEM_NAME)}


def program_env(receive_path):
    """What the program's own runs get on top of the shared environment: the
    shim, which refuses what Windows refuses, in the mode of the path."""
    if receive_path not in RECEIVE_PATHS:
        raise ValueError("unknown receive path %r" % receive_path)
    shim = pty_modem_env()
    if not shim:
        raise Unavailable("%s is not built yet: build the native tree first" % PTY_MODEM_NAME)
    way, _, driver = receive_path.partition("-")
    if way == "event":
        shim["TAMSEL_PTY_MODEM_STATUS"] = "1"
    if driver == "nocount":
        shim["TAMSEL_PTY_NO_COUNT"] = "1"
    return shim


class Session:
    """One test: its own folder in drive_c with a copy of Tamsel.exe, a fresh
    pseudo-terminal behind COM1 and the simulated base on its master side.
    The program runs on the given receive path."""

    def __init__(self, env, test_name, receive_path="polling"):
        self.env = env
        self.receive_path = receive_path
        self.program_env = program_env(receive_path)
        name = _folder_name(test_name)
        self.win_dir = "C:\\t\\" + name
        self.dir = env.drive_c / "t" / name
        self.logs = env.logs / name
        self.process = None
        self._spawned_by_driver = None
        self.started_at = None
        self._windows_to_end = []
        self._driver_calls = 0

        if self.dir.exists():
            _unmount_below(self.dir)
            shutil.rmtree(self.dir)
        self.dir.mkdir(parents=True)
        if self.logs.exists():
            shutil.rmtree(self.logs)
        self.logs.mkdir(parents=True)
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

    def read_bytes(self, name):
        return (self.dir / name).read_bytes()

    def write_bytes(self, name, data):
        (self.dir / name).write_bytes(data)

    # The program ----------------------------------------------------------------

    def start(self, params=None):
        """Starts Tamsel.exe with the parameter string (none when None)."""
        assert self.process is None, "one run per test"
        if params is not None and re.search(r"[\s\"\x00-\x1f\x7f-\xff]", params):
            # Wine would quote such an argument or recode its bytes.
            return self.start_exact(params)
        args = [self.exe] if params is None else [self.exe, params]
        self.started_at = time.monotonic()
        self.process = self.env.spawn(args, self.logs / "tamsel", cwd=str(self.dir),
                                      extra_env=self.program_env)
        return self.process

    def start_and_see(self, params, first_sign):
        """Starts Tamsel.exe and returns what `first_sign()` returns: the
        first thing the program shows (a window, its start command). Now and
        then Wine cannot start a process at all and it ends with 1 before the
        program's code runs; the program never ends with 1 before a user has
        seen it, so such a start is repeated once."""
        for attempt in (1, 2):
            self.start(params)
            try:
                return first_sign()
            except (AssertionError, simbase.BaseError):
                if attempt == 2 or self.process.poll() != 1:
                    raise
            with open(self.logs / "restarts.log", "a") as f:
                f.write("Tamsel.exe ended with 1 before it showed anything; started again\n")
            self.process = None

    def start_exact(self, params):
        """Starts Tamsel.exe with exactly this command line after its name,
        blanks, quotes and any byte included, through the driver's spawn."""
        assert self.process is None, "one run per test"
        cmdline = '"%s" %s' % (self.exe, params)
        self.started_at = time.monotonic()
        self._spawned_by_driver = self.logs / "tamsel-spawn"
        self.process = self.env.spawn(
            [str(self.env.driver_exe), "spawn", "--wait", "--timeout", "600000",
             "--cmdline", escape(cmdline)], self._spawned_by_driver, cwd=str(self.dir),
            extra_env=self.program_env)
        return self.process

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

    # Driving the windows -------------------------------------------------------

    def driver(self, *args, timeout_ms=10000):
        self._driver_calls += 1
        log_base = self.logs / ("driver-%02d" % self._driver_calls)
        with open(str(log_base) + ".cmd", "w") as f:
            f.write(" ".join(str(a) for a in args) + "\n")
        return self.env.driver(*args, timeout_ms=timeout_ms, log_base=log_base)

    def session_window(self, minimized=False, timeout_ms=20000):
        """Waits for the reading session dialog (minimised, if asked);
        returns the driver's row."""
        args = ["wait-window", "--title", escape(CAPTION), "--class", "#32770", "--has-id",
                PROGRESS_ID]
        if minimized:
            args.append("--minimized")
        result = self.driver(*args, timeout_ms=timeout_ms)
        assert result.ok, "no %sreading session dialog: %r" % (
            "minimised " if minimized else "", result)
        return result.rows[0]

    def progress_text(self):
        result = self.driver("get-text", "--title", escape(CAPTION), "--has-id", PROGRESS_ID,
                             "--id", PROGRESS_ID)
        assert result.ok, result
        return result.get("text")

    def wait_progress(self, text, timeout_ms=5000):
        """Waits until control 401 shows `text`; returns what it showed last."""
        result = self.driver("wait-text", "--title", escape(CAPTION), "--has-id", PROGRESS_ID,
                             "--id", PROGRESS_ID, "--text", escape(text),
                             timeout_ms=timeout_ms)
        return result.get("text", result.get("last"))

    def click_close(self):
        result = self.driver("click", "--title", escape(CAPTION), "--has-id", PROGRESS_ID,
                             "--id", CLOSE_ID)
        assert result.ok, result

    def message_box(self, answer="ok", caption=CAPTION, timeout_ms=10000):
        """Waits for a message box, answers it and returns its text, or None
        when none came within the time limit."""
        result = self.driver("msgbox", "--title", escape(caption), "--answer", answer,
                             timeout_ms=timeout_ms)
        if result.rc == 1 and result.get("text") is None:
            return None
        assert result.ok, result
        return result.get("text")

    def message_box_info(self, answer="none", caption=CAPTION, timeout_ms=10000):
        result = self.driver("msgbox", "--title", escape(caption), "--answer", answer,
                             timeout_ms=timeout_ms)
        return result.rows[0] if result.rc == 0 else None

    def end_window_later(self, title_contains):
        """Remembers a window of another program to end at teardown."""
        self._windows_to_end.append(title_contains)

    def hold_port(self, port="COM1", seconds=120, wait=False, then=()):
        """Another program that opens the port (or a file) without sharing and
        holds it until it is killed or `seconds` have passed; with `wait`, it
        keeps a wait for received characters pending, on the session's
        receive path. `then`: what it does as soon as it holds the port, a
        window's selectors and "--id" of a button to press, or "--cmdline"
        and a program to start."""
        log_base = self.logs / "holder"
        args = ([str(self.env.driver_exe), "hold-port", "--port", port] +
                (["--wait"] if wait else []) + ["--timeout", str(int(seconds * 1000))])
        holder = self.env.spawn(args + [str(a) for a in then], log_base,
                                extra_env=self.program_env)
        output = log_base.with_suffix(".out")
        deadline = time.monotonic() + 30
        while "held=" not in output.read_text(errors="replace"):
            if holder.poll() is not None or time.monotonic() > deadline:
                end_process(holder)
                raise AssertionError("the holder did not open %s: %s" % (
                    port, output.read_text(errors="replace")))
            time.sleep(0.05)
        return holder

    def unplug_port(self):
        """Makes COM1 impossible to open. A missing target will not do: Wine
        then falls back to the host's /dev/ttyS0, which exists here. A
        directory cannot be opened as a port."""
        nowhere = self.logs / "not-a-port"
        nowhere.mkdir(exist_ok=True)
        simbase.point_symlink(str(self.env.com1_link), str(nowhere))

    # Filesystems ----------------------------------------------------------------

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

    # Teardown ----------------------------------------------------------------------

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


# --- the properties dialog -----------------------------------------------------

DIRECTORY_ID = 601
FILE_NAME_ID = 602
TOGGLE_PANEL_ID = 502
BROWSE_ID = 501
# The file-name box of the platform's save-file dialog (a combo box holding
# an edit in the new-style dialog).
FILE_DIALOG_NAME_ID = 1148
SCREEN_SIZE = (1024, 768)  # as Xvfb is started above
VK_TAB, VK_ESCAPE = 0x09, 0x1B


def _rectangle(text):
    return tuple(int(v) for v in text.split(","))


def start_session(session, params, answer=True):
    """Starts the program, waits for its start command and answers it.
    Returns when the start command arrived (monotonic time)."""
    started = session.start_and_see(params, lambda: session.base.wait_start_command(30))
    if answer:
        session.base.answer_start()
    return started


def end_process(process):
    if process.poll() is None:
        process.kill()
    process.wait(15)


def assert_ok(record):
    """The record was answered "OK", with its own unit number and echo, and
    in time where the base sets a limit."""
    assert record.ack == simbase.acknowledgement_for(record.unit, record.echo, b"OK"), record.ack
    assert record.ack_limit is None or record.waited <= record.ack_limit, (
        "answered %.0f ms after it could be handled" % (record.waited * 1000))


def progress_for(count):
    """The progress text after `count` stored records."""
    return "Received : 1 record" if count == 1 else "Received : %d records" % count


class _DialogWindow:
    """A dialog that the driver finds by `self.select`."""

    def _run(self, *args, timeout_ms=10000):
        result = self.session.driver(*(list(args[:1]) + self.select + list(args[1:])),
                                     timeout_ms=timeout_ms)
        assert result.ok, result
        return result

    def wait(self, timeout_ms=30000):
        """Waits until the dialog is shown; returns the driver's row."""
        return self._run("wait-window", timeout_ms=timeout_ms).rows[0]


class PropertiesDialog(_DialogWindow):
    """The properties dialog of one run, through the driver. Commands whose
    effect the tests read back at once (texts, lists, check boxes, the panel
    toggle) are sent and waited for; OK, Cancel and Browse are posted,
    because their handlers end the dialog or open a modal one."""

    def __init__(self, session):
        self.session = session
        # Only this dialog has the directory edit; the session dialog and
        # message boxes share its caption.
        self.select = ["--title", escape(CAPTION), "--has-id", DIRECTORY_ID]

    def is_open(self, timeout_ms=1000):
        result = self.session.driver("wait-window", *self.select, timeout_ms=timeout_ms)
        return result.ok

    def text(self, control_id):
        return self._run("get-text", "--id", control_id).get("text")

    def set_text(self, control_id, text):
        """Replaces the text (WM_SETTEXT); returns what the control shows."""
        return self._run("set-text", "--id", control_id, "--text", escape(text)).get("text")

    def type(self, control_id, text, at=None):
        """Types at the caret (the end, or position `at`); returns what the
        control shows afterwards."""
        args = ["type", "--id", control_id, "--text", escape(text)]
        if at is not None:
            args += ["--at", at]
        return self._run(*args).get("text")

    def click(self, control_id):
        """A click that the dialog handles before this returns: the button's
        notification, sent. Not for buttons that end the dialog."""
        self._run("notify", "--id", control_id, "--code", 0)

    def press(self, control_id):
        """A posted click, for OK, Cancel and Browse."""
        self._run("click", "--id", control_id)

    def checked(self, control_id):
        return int(self._run("checked", "--id", control_id).get("checked"))

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
        """Polls until the control has the keyboard focus; returns the id
        that had it last."""
        deadline = time.monotonic() + timeout
        while True:
            now = self.focus()
            if now == str(control_id) or time.monotonic() > deadline:
                return now
            time.sleep(0.1)

    def key(self, vk, control_id=None):
        """A key press, posted to a control or to the dialog itself."""
        args = ["key", "--vk", vk]
        if control_id is not None:
            args += ["--id", control_id]
        self._run(*args)

    def close_box(self):
        self._run("close")


class FileDialog(_DialogWindow):
    """The platform's save-file dialog opened by Browse."""

    def __init__(self, session):
        self.session = session
        self.select = ["--class", "#32770", "--has-id", FILE_DIALOG_NAME_ID]

    def text(self, control_id):
        return self._run("get-text", "--id", control_id).get("text")

    def choose(self, path):
        """Types the full path into the file-name box and presses Save."""
        self._run("set-text", "--id", FILE_DIALOG_NAME_ID, "--text", escape(path))
        self._run("command", "--id", 1)
        self._run("wait-gone", timeout_ms=15000)

    def cancel(self):
        self._run("command", "--id", 2)
        self._run("wait-gone", timeout_ms=15000)
