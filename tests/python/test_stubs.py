"""The stubs (python/vhdx_inspect/__init__.pyi) against the built module:
python3 -m mypy.stubtest finds no name, type or signature that differs,
beyond the allowlist's entries, each with its reason."""
import os
import re
import subprocess
import sys
from pathlib import Path

import pytest
from conftest import require

import vhdx_inspect

ALLOWLIST = Path(__file__).parent / "stubtest_allowlist.txt"


def allowlist_entries():
    lines = (line.split("#", 1)[0].strip() for line in ALLOWLIST.read_text().splitlines())
    return [line for line in lines if line]


def test_stubtest_finds_the_stubs_and_the_module_agree():
    require("mypy.stubtest", "mypy")
    environment = dict(os.environ, MYPYPATH=os.environ["PYTHONPATH"])
    run = subprocess.run([sys.executable, "-m", "mypy.stubtest", "vhdx_inspect", "--allowlist", str(ALLOWLIST),
                          "--mypy-config-file", os.devnull],
                         capture_output=True, text=True, env=environment, check=False)
    # An allowlist entry that no longer matches anything is an error too.
    assert run.returncode == 0, run.stdout + run.stderr


def test_the_classes_whose_init_is_allowlisted_cannot_be_constructed():
    """The allowlist's reason: pybind11's placeholder __init__ refuses."""
    [constructors] = [entry for entry in allowlist_entries() if entry.endswith(r"\.__init__")]
    names = re.fullmatch(r"vhdx_inspect\\\.\((.*)\)\\\.__init__", constructors).group(1).split("|")
    assert len(names) == 20
    for name in names:
        with pytest.raises(TypeError, match="No constructor defined"):
            getattr(vhdx_inspect, name)()
    vhdx_inspect.Inspector()  # the one class that Python code makes
