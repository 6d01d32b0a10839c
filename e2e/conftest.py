"""Fixtures for the end-to-end tests of Tamsel.exe under Wine.

Run with:  /usr/bin/python3 -m pytest e2e
Set TAMSEL_EXE to test another build of the program, TAMSEL_E2E_DIR to keep
the Wine prefix and the logs somewhere else than build/e2e.

Each test runs once per receive path (its name ends in [event] or
[polling]), unless it is marked one_receive_path: then on the first one.
TAMSEL_RECEIVE_PATHS (default "event,polling") chooses the paths and order.
A test that runs longer than TEST_TIMEOUT seconds fails (pytest-timeout),
unless it sets a limit of its own.
"""

import os

import pytest

import harness

# The longest test but the soak takes under half a minute under Wine.
TEST_TIMEOUT = 300


def _cannot_run(reason):
    # In CI a missing program or Wine is a failure, never a quiet skip.
    if os.environ.get("CI"):
        pytest.fail(reason)
    pytest.skip(reason)


def _receive_paths():
    paths = [p for p in os.environ.get("TAMSEL_RECEIVE_PATHS", "event,polling").split(",") if p]
    unknown = set(paths) - set(harness.RECEIVE_PATHS)
    if unknown or not paths:
        raise pytest.UsageError("TAMSEL_RECEIVE_PATHS: one or more of %s"
                                % ", ".join(harness.RECEIVE_PATHS))
    return paths


def pytest_configure(config):
    config.addinivalue_line("markers", "one_receive_path: runs on the first receive path only")


def pytest_collection_modifyitems(items):
    for item in items:
        if not item.get_closest_marker("timeout"):
            item.add_marker(pytest.mark.timeout(TEST_TIMEOUT))


def pytest_generate_tests(metafunc):
    if "receive_path" in metafunc.fixturenames:
        paths = _receive_paths()
        if metafunc.definition.get_closest_marker("one_receive_path"):
            paths = paths[:1]
        metafunc.parametrize("receive_path", paths)


@pytest.fixture(scope="session")
def wine_env():
    if not harness.TAMSEL_EXE.exists():
        _cannot_run("%s does not exist yet: build the Windows program first"
                    % harness.TAMSEL_EXE)
    env = harness.WineEnv()
    try:
        env.start()
    except harness.Unavailable as missing:
        env.stop()
        _cannot_run(str(missing))
    except BaseException:
        env.stop()
        raise
    yield env
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
