"""The stubs: mypy --strict accepts the examples and a user's script, and
refuses a script that misuses the module."""
import os
import subprocess
import sys
from pathlib import Path

import pytest
from conftest import examples_folder, require

HERE = Path(__file__).parent


def mypy_strict(*files):
    require("mypy", "mypy")
    environment = dict(os.environ, MYPYPATH=os.environ["PYTHONPATH"])
    return subprocess.run([sys.executable, "-m", "mypy", "--strict", "--no-incremental",
                           "--cache-dir", os.devnull, *map(str, files)],
                          capture_output=True, text=True, env=environment, check=False)


def test_mypy_strict_accepts_the_examples_and_a_users_script():
    files = sorted(examples_folder().glob("*.py")) + [HERE / "typed_usage.py"]
    assert len(files) >= 2
    run = mypy_strict(*files)
    assert run.returncode == 0, run.stdout + run.stderr


@pytest.mark.parametrize("misuse, complaint", [
    ("vhdx_inspect.inspect(42)", "incompatible type"),
    ("vhdx_inspect.inspect_bytes('text')", "incompatible type"),
    ("vhdx_inspect.inspect('x').verdict + 1", "Unsupported operand"),
    ("vhdx_inspect.inspect('x').failure.check", "Optional"),
    ("vhdx_inspect.inspect('x').no_such_field", "has no attribute"),
    ("vhdx_inspect.find_images(b'x')[0] + 'y'", "Unsupported operand"),
    ("vhdx_inspect.find_images('x', onerror=1)", "No overload variant"),
])
def test_mypy_strict_refuses_a_misuse(tmp_path, misuse, complaint):
    script = tmp_path / "misuse.py"
    script.write_text(f"import vhdx_inspect\n\nprint({misuse})\n")
    run = mypy_strict(script)
    assert run.returncode == 1 and complaint in run.stdout, run.stdout + run.stderr
