"""What the Python suite shares: the built programs (from the environment
that ctest sets, tests/python/CMakeLists.txt), the images, and `require`,
which skips a test for want of a dependency, or fails it in CI."""
import importlib
import os
import shutil
import subprocess
from pathlib import Path

import pytest


def in_ci():
    return os.environ.get("CI") == "true"


def require(module, package):
    """Imports `module`, or ends the test: skipped, or in CI failed."""
    try:
        return importlib.import_module(module)
    except ImportError:
        reason = f"{module} is not installed (Debian package {package})"
        if in_ci():
            pytest.fail(reason + " (in CI, where every dependency must be installed)")
        pytest.skip(reason)


def built(variable):
    path = os.environ.get(variable)
    if not path:
        pytest.fail(f"{variable} is not set: run the suite through ctest")
    return path


@pytest.fixture(scope="session")
def json_program():
    return built("VHDX_INSPECT_JSON")


@pytest.fixture(scope="session")
def corpus(tmp_path_factory):
    """The mixed corpus: fixtures/ (one image per verdict and finding) and
    hostile/ (the hostile images), with a file that is not an image and an
    image whose name is not UTF-8."""
    folder = tmp_path_factory.mktemp("corpus")
    subprocess.run([built("VHDX_WRITE_TEST_CORPUS"), str(folder)], check=True)
    (folder / "notes.txt").write_text("not an image\n")
    sound = folder / "fixtures" / "sound.vhdx"
    non_utf8 = os.path.join(os.fsencode(folder), b"fixtures", b"caf\xe9.vhdx")
    shutil.copyfile(sound, non_utf8)
    return folder


@pytest.fixture(scope="session")
def fixtures(corpus):
    return corpus / "fixtures"


@pytest.fixture(scope="session")
def sample(tmp_path_factory):
    path = tmp_path_factory.mktemp("sample") / "sample.vhdx"
    subprocess.run([built("VHDX_MAKE_SAMPLE_IMAGE"), str(path)], check=True)
    return path


def json_lines(program, *arguments):
    """The JSON program's lines (as text) for its arguments."""
    run = subprocess.run([program, *arguments], capture_output=True, check=False)
    # 3: an entry could not be examined (the hostile corpus's symlink loop).
    assert run.returncode in (0, 3, 4), run.stderr.decode(errors="replace")
    return run.stdout.decode("utf-8").splitlines()


def examples_folder():
    return Path(built("VHDX_PYTHON_EXAMPLES"))
