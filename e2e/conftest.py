"""Fixtures for the end-to-end tests of Tamsel.exe under Wine. The markers
say what each test is sensitive to: tools/test.sh's modes select by them."""

import os

import pytest

import harness

# pytest-timeout's limit for a test that sets none (all but the soak take < 30 s).
TEST_TIMEOUT = 300
# The path a test not marked receive_path runs on.
SINGLE_PATH = "event"
# A test marked rounds(n) runs its first two rounds (one per file mode) on
# every path, and all n on SINGLE_PATH, unless TAMSEL_RACE_ROUNDS says fewer.
FEW_ROUNDS = 2

MARKERS = {
    "receive_path": "how the bytes arrive or how the receiver waits can change the outcome: "
                    "runs on every receive path of the run, the no-count drivers included",
    "code_page": "holds bytes outside ASCII, which code pages read differently: run again "
                 "under Japanese and UTF-8",
    "layout": "measures the dialog's layout or walks it by keyboard: run again at 150 %",
    "word_size": "passes a Win32 record, pointer or file offset whose size differs in the "
                 "32-bit program: run again by the 32-bit program",
    "long": "a long session, run by the 64-bit program on the default paths only",
    "rounds(n)": "repeated in n rounds on the event path, two on every other path",
}


def _cannot_run(reason):
    # In CI a missing program or Wine is a failure, never a quiet skip.
    if os.environ.get("CI"):
        pytest.fail(reason)
    pytest.skip(reason)


def _receive_paths():
    paths = [p for p in harness.setting("TAMSEL_RECEIVE_PATHS", "event,polling").split(",") if p]
    unknown = set(paths) - set(harness.RECEIVE_PATHS)
    if unknown or not paths:
        raise pytest.UsageError("TAMSEL_RECEIVE_PATHS: one or more of %s"
                                % ", ".join(harness.RECEIVE_PATHS))
    return paths


def pytest_configure(config):
    for name, why in MARKERS.items():
        config.addinivalue_line("markers", "%s: %s" % (name, why))


def pytest_collection_modifyitems(items):
    for item in items:
        if not item.get_closest_marker("timeout"):
            item.add_marker(pytest.mark.timeout(TEST_TIMEOUT))


def pytest_generate_tests(metafunc):
    if "receive_path" not in metafunc.fixturenames:
        return
    marked = metafunc.definition.get_closest_marker
    paths = _receive_paths() if marked("receive_path") else [SINGLE_PATH]
    rounds = marked("rounds")
    if rounds is None:
        metafunc.parametrize("receive_path", paths)
        return
    full = min(rounds.args[0], int(harness.setting("TAMSEL_RACE_ROUNDS", rounds.args[0])))
    cases = [(path, n) for path in paths
             for n in range(full if path == SINGLE_PATH else min(FEW_ROUNDS, full))]
    metafunc.parametrize("receive_path, round_", cases,
                         ids=["%s-round%d" % case for case in cases])


@pytest.fixture(scope="session")
def wine_env():
    if not harness.TAMSEL_EXE.exists():
        _cannot_run("%s does not exist yet: build the Windows program first"
                    % harness.TAMSEL_EXE)
    env = harness.WineEnv()
    try:
        env.start()
        yield env
    except harness.Unavailable as missing:
        _cannot_run(str(missing))
    finally:
        env.stop()


@pytest.fixture
def session(wine_env, request, receive_path):
    """One run of Tamsel.exe in a fresh folder, with the simulated base on
    the other end of COM1, on one receive path. See harness.Session."""
    try:
        run = harness.Session(wine_env, request.node.name, receive_path)
    except harness.Unavailable as missing:
        _cannot_run(str(missing))
    try:
        yield run
    finally:
        run.cleanup()
