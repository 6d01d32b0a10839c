"""Fixtures for the end-to-end tests of Tamsel.exe under Wine.

Run with:  /usr/bin/python3 -m pytest e2e
Set TAMSEL_EXE to test another build of the program, TAMSEL_E2E_DIR to keep
the Wine prefix and the logs somewhere else than build/e2e.
"""

import os

import pytest

import harness


def _cannot_run(reason):
    # In CI a missing program or Wine is a failure, never a quiet skip.
    if os.environ.get("CI"):
        pytest.fail(reason)
    pytest.skip(reason)


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
def session(wine_env, request):
    """One run of Tamsel.exe in a fresh folder, with the simulated base on
    the other end of COM1. See harness.Session."""
    run = harness.Session(wine_env, request.node.name)
    try:
        yield run
    finally:
        run.cleanup()
